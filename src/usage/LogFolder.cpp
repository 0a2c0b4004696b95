#include "usage/LogFolder.h"

#include "platform/FileSystem.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

namespace {
const QString kFolderName = QStringLiteral("Usage Logs");
}

bool LogFolder::usable(FileSystem& fs, const QString& folder) {
    if (!fs.folderExists(folder) && !fs.createFolder(folder))
        return false;
    const QString probe = folder + QStringLiteral("/_probe") + QLatin1String(FileSystem::kTempSuffix);
    const bool writable = fs.writeFileAtomic(probe, QByteArrayLiteral("probe\r\n"));
    fs.deleteFile(probe);
    return writable;
}

bool LogFolder::isSystemFolder(const QString& folder) {
    const QString clean = QDir::cleanPath(folder);
    for (const QString& root :
         {QStringLiteral("/usr"), QStringLiteral("/bin"), QStringLiteral("/sbin")})
        if (clean == root || clean.startsWith(root + QLatin1Char('/')))
            return true;
    return false;
}

QString LogFolder::choose(FileSystem& fs, const QString& programFolder,
                          const QString& appDataFolder) {
    const QString beside = programFolder + QLatin1Char('/') + kFolderName;
    // Run from the system's folders (installed by the package), root could write beside the
    // program: the logs would then land in /usr/bin, outside every user's data.
    if (!isSystemFolder(programFolder) && usable(fs, beside))
        return beside;
    const QString data = appDataFolder + QLatin1Char('/') + kFolderName;
    fs.createFolder(data);
    return data;
}

QString LogFolder::existing(const FileSystem& fs, const QString& programFolder,
                           const QString& appDataFolder) {
    const QString beside = programFolder + QLatin1Char('/') + kFolderName;
    if (!isSystemFolder(programFolder) && fs.folderExists(beside))
        return beside;
    return appDataFolder + QLatin1Char('/') + kFolderName;
}

QString LogFolder::locate(FileSystem& fs) {
    return choose(fs, QCoreApplication::applicationDirPath(),
                  QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
}
