#pragma once

#include "platform/FileSystem.h"

#include <QMap>
#include <QSet>

#include <functional>
#include <memory>

/// An in-memory file system for tests. Folders list their entries in creation order. Failures
/// can be injected per path: unreadable files, failing writes, a full disk. A copy is a snapshot
/// of every file as a crash would leave it (open persistent files keep writing to the original).
class FakeFileSystem final : public FileSystem {
public:
    bool folderExists(const QString& path) const override;
    bool createFolder(const QString& path) override;
    bool fileExists(const QString& path) const override;
    bool deleteFile(const QString& path) override;
    QStringList listFolder(const QString& path) const override;
    QList<QByteArray> readLines(const QString& path, bool* ok = nullptr) const override;
    bool writeFileAtomic(const QString& path, const QByteArray& content) override;
    bool replaceFile(const QString& from, const QString& to) override;
    std::unique_ptr<PersistentFile> openPersistent(const QString& path) override;

    /// Sets a file's content directly (creating its folder entry).
    void setFile(const QString& path, const QByteArray& content);
    /// A file's content; empty when missing.
    QByteArray file(const QString& path) const { return state_->files.value(path); }
    /// Paths of all files.
    QStringList files() const { return state_->files.keys(); }

    /// Files that exist but cannot be read.
    QSet<QString> unreadable;
    /// When it returns true for a path, a write of that path fails (atomic or in place).
    std::function<bool(const QString&)> failWrite;
    /// Called after every change of a file (a test can take a snapshot there, as at a crash).
    std::function<void()> afterChange;
    /// Every write that would grow a file fails (shrinking or emptying still works).
    bool diskFull = false;
    /// Number of in-place rewrites of persistent files so far.
    int persistentWrites() const { return state_->persistentWrites; }
    /// Number of atomic writes so far, per target path.
    int atomicWrites(const QString& path) const { return state_->atomicWrites.value(path); }

    FakeFileSystem();
    /// A snapshot: a separate file system holding the same files.
    FakeFileSystem(const FakeFileSystem& other);
    FakeFileSystem& operator=(const FakeFileSystem&) = delete;

private:
    struct State {
        QMap<QString, QByteArray> files;
        QSet<QString> folders;
        QMap<QString, QStringList> entries; ///< folder -> names in creation order
        QMap<QString, int> atomicWrites;
        int persistentWrites = 0;
    };
    friend class FakePersistentFile;
    bool writeFails(const QString& path, qsizetype newSize) const;
    void addEntry(const QString& path);
    void removeEntry(const QString& path);
    void changed() {
        if (afterChange)
            afterChange();
    }

    std::shared_ptr<State> state_;
};
