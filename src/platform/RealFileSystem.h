#pragma once

#include "platform/FileSystem.h"

/// The real file system through POSIX calls.
class RealFileSystem final : public FileSystem {
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

    /// Splits file content into lines ending in CR LF, LF or CR alone, dropping the ends.
    static QList<QByteArray> splitLines(const QByteArray& content);
};
