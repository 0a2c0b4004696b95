#include "platform/RealFileSystem.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <linux/falloc.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray native(const QString& path) {
    return QFile::encodeName(path);
}

/// Closes a descriptor when it goes out of scope.
class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

bool writeAll(int fd, const char* data, qsizetype size, off_t offset) {
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, data, size_t(size), offset);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= n;
        offset += n;
    }
    return true;
}

bool syncFolderOf(const QString& path) {
    const QString dir = QFileInfo(path).absolutePath();
    Fd fd(::open(native(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return fd.get() >= 0 && ::fsync(fd.get()) == 0;
}

/// Room kept allocated for a persistent file, so that rewriting it in place never needs a new
/// block: on a full disk it can still be written.
constexpr off_t kReservedBytes = 4096;

void reserve(int fd) {
    // Allocates without changing the size; file systems without it simply do not reserve.
    ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, kReservedBytes);
}

class RealPersistentFile final : public PersistentFile {
public:
    explicit RealPersistentFile(int fd) : fd_(fd) { reserve(fd); }
    bool rewrite(const QByteArray& content) override {
        // Write first, then cut: a process killed in between leaves the complete new first
        // line followed by a tail of the old content, never a torn first line.
        const bool ok = writeAll(fd_.get(), content.constData(), content.size(), 0) &&
                        ::ftruncate(fd_.get(), off_t(content.size())) == 0;
        if (content.isEmpty())
            reserve(fd_.get()); // cutting to nothing gave the block back
        return ok;
    }
    bool sync() override { return ::fdatasync(fd_.get()) == 0; }

private:
    Fd fd_;
};

} // namespace

QList<QByteArray> RealFileSystem::splitLines(const QByteArray& content) {
    // A line ends in CR LF, LF or CR alone (files edited on other systems), mixed in one file.
    QList<QByteArray> lines;
    const qsizetype size = content.size();
    qsizetype start = 0;
    while (start < size) {
        qsizetype end = start;
        while (end < size && content.at(end) != '\n' && content.at(end) != '\r')
            ++end;
        lines.append(content.mid(start, end - start));
        if (end < size && content.at(end) == '\r' && end + 1 < size && content.at(end + 1) == '\n')
            ++end;
        start = end + 1;
    }
    return lines;
}

bool RealFileSystem::folderExists(const QString& path) const {
    struct stat st {};
    return ::stat(native(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool RealFileSystem::createFolder(const QString& path) {
    if (folderExists(path))
        return true;
    const QString parent = QFileInfo(path).absolutePath();
    if (parent != path && !folderExists(parent))
        createFolder(parent);
    ::mkdir(native(path).constData(), 0755);
    return folderExists(path);
}

bool RealFileSystem::fileExists(const QString& path) const {
    struct stat st {};
    return ::stat(native(path).constData(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool RealFileSystem::deleteFile(const QString& path) {
    const QByteArray p = native(path);
    if (::unlink(p.constData()) != 0 && errno != ENOENT) {
        ::chmod(p.constData(), 0644);
        ::unlink(p.constData());
    }
    return !fileExists(path);
}

QStringList RealFileSystem::listFolder(const QString& path) const {
    QStringList names;
    DIR* dir = ::opendir(native(path).constData());
    if (!dir)
        return names;
    while (const dirent* e = ::readdir(dir)) {
        const QByteArray name(e->d_name);
        if (name == "." || name == "..")
            continue;
        names.append(QFile::decodeName(name));
    }
    ::closedir(dir);
    return names;
}

QList<QByteArray> RealFileSystem::readLines(const QString& path, bool* ok) const {
    if (ok)
        *ok = false;
    Fd fd(::open(native(path).constData(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0)
        return {};
    QByteArray content;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return {};
        }
        if (n == 0)
            break;
        content.append(buf, n);
    }
    if (ok)
        *ok = true;
    return splitLines(content);
}

bool RealFileSystem::writeFileAtomic(const QString& path, const QByteArray& content) {
    const QString temp = path + QLatin1String(kTempSuffix);
    const QByteArray t = native(temp);
    Fd fd(::open(t.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (fd.get() < 0)
        return false;
    const bool written = writeAll(fd.get(), content.constData(), content.size(), 0) &&
                         ::fsync(fd.get()) == 0 && fd.close();
    if (!written || ::rename(t.constData(), native(path).constData()) != 0) {
        ::unlink(t.constData());
        return false;
    }
    syncFolderOf(path);
    return true;
}

bool RealFileSystem::replaceFile(const QString& from, const QString& to) {
    if (::rename(native(from).constData(), native(to).constData()) != 0)
        return false;
    syncFolderOf(to);
    return true;
}

std::unique_ptr<PersistentFile> RealFileSystem::openPersistent(const QString& path) {
    const int fd = ::open(native(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return nullptr;
    return std::make_unique<RealPersistentFile>(fd);
}
