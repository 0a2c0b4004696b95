#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

/// A file kept open for the life of its owner whose whole content is rewritten in place.
/// Used for small files that change often: no open, create or close per write.
class PersistentFile {
public:
    virtual ~PersistentFile() = default;
    /// Replaces the whole content: writes at offset 0, then cuts the file to the new length.
    virtual bool rewrite(const QByteArray& content) = 0;
    /// Pushes the content to the storage device (slow; for rare moments only).
    virtual bool sync() = 0;
};

/// Every file and folder operation of the program.
class FileSystem {
public:
    virtual ~FileSystem() = default;

    /// Ends the name of every temporary file the program makes (path + suffix): no other
    /// program makes such names, so start-up may remove them without touching a user's files.
    static constexpr const char* kTempSuffix = ".quelmint-tmp";

    /// True when the path names an existing folder.
    virtual bool folderExists(const QString& path) const = 0;
    /// Creates the folder and any missing parents; true when it exists afterwards.
    virtual bool createFolder(const QString& path) = 0;
    /// True when the path names an existing file (not a folder).
    virtual bool fileExists(const QString& path) const = 0;
    /// Deletes a file, even a read-only one; true when it is gone afterwards.
    virtual bool deleteFile(const QString& path) = 0;
    /// The names (not paths) of the folder's entries in the order the file system gives them.
    virtual QStringList listFolder(const QString& path) const = 0;
    /// The file's lines without their CR LF or LF ends. An unreadable or missing file gives no
    /// lines and sets *ok to false.
    virtual QList<QByteArray> readLines(const QString& path, bool* ok = nullptr) const = 0;
    /// Replaces the file with the content through a temporary file in the same folder that is
    /// flushed to the device and renamed over the target. On failure the old file is untouched.
    virtual bool writeFileAtomic(const QString& path, const QByteArray& content) = 0;
    /// Renames a file over another one in one step (the target is replaced if present).
    virtual bool replaceFile(const QString& from, const QString& to) = 0;
    /// Opens (creating it when missing, keeping its content) a file for in-place rewriting.
    /// Null when it cannot be opened.
    virtual std::unique_ptr<PersistentFile> openPersistent(const QString& path) = 0;
};
