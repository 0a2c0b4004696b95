#pragma once

// What the crash drivers share: the real file system with a fuse on every change (a driver kills
// itself with SIGKILL just before the chosen change to the disk), their options and reports.

#include "platform/RealFileSystem.h"

#include <QByteArray>
#include <QString>

#include <csignal>
#include <memory>
#include <unistd.h>

/// Counts the changes made to the disk and kills the process just before the chosen one.
class Fuse {
public:
    explicit Fuse(long dieAt) : dieAt_(dieAt) {}
    void step() {
        if (dieAt_ > 0 && ++steps_ == dieAt_)
            ::raise(SIGKILL);
    }

private:
    long dieAt_;
    long steps_ = 0;
};

class FusedFile final : public PersistentFile {
public:
    FusedFile(std::unique_ptr<PersistentFile> file, Fuse& fuse)
        : file_(std::move(file)), fuse_(fuse) {}
    bool rewrite(const QByteArray& content) override {
        fuse_.step();
        return file_->rewrite(content);
    }
    bool sync() override {
        fuse_.step();
        return file_->sync();
    }

private:
    std::unique_ptr<PersistentFile> file_;
    Fuse& fuse_;
};

/// The real file system with a fuse on every change.
class FusedFileSystem final : public FileSystem {
public:
    explicit FusedFileSystem(Fuse& fuse) : fuse_(fuse) {}
    bool folderExists(const QString& path) const override { return real_.folderExists(path); }
    bool createFolder(const QString& path) override {
        fuse_.step();
        return real_.createFolder(path);
    }
    bool fileExists(const QString& path) const override { return real_.fileExists(path); }
    bool deleteFile(const QString& path) override {
        fuse_.step();
        return real_.deleteFile(path);
    }
    QStringList listFolder(const QString& path) const override { return real_.listFolder(path); }
    QList<QByteArray> readLines(const QString& path, bool* ok) const override {
        return real_.readLines(path, ok);
    }
    bool writeFileAtomic(const QString& path, const QByteArray& content) override {
        fuse_.step();
        return real_.writeFileAtomic(path, content);
    }
    bool replaceFile(const QString& from, const QString& to) override {
        fuse_.step();
        return real_.replaceFile(from, to);
    }
    std::unique_ptr<PersistentFile> openPersistent(const QString& path) override {
        fuse_.step();
        auto file = real_.openPersistent(path);
        return file ? std::make_unique<FusedFile>(std::move(file), fuse_) : nullptr;
    }

private:
    RealFileSystem real_;
    Fuse& fuse_;
};

/// The value after `name` among the options from argv[3] on; empty when not given.
inline QString driverOption(int argc, char** argv, const char* name) {
    for (int i = 3; i + 1 < argc; ++i)
        if (QByteArray(argv[i]) == name)
            return QString::fromLocal8Bit(argv[i + 1]);
    return {};
}

/// Writes one report line to stdout in one write: on the pipe a line is whole or absent.
inline void reportLine(const QByteArray& line) {
    const QByteArray whole = line + '\n';
    ssize_t ignored = ::write(1, whole.constData(), size_t(whole.size()));
    (void)ignored;
}
