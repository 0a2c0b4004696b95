#include "usage/LogFolder.h"

#include "platform/FileSystem.h"

#include <QCoreApplication>
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

QString LogFolder::choose(FileSystem& fs, const QString& programFolder,
                          const QString& appDataFolder) {
    const QString beside = programFolder + QLatin1Char('/') + kFolderName;
    if (usable(fs, beside))
        return beside;
    const QString data = appDataFolder + QLatin1Char('/') + kFolderName;
    fs.createFolder(data);
    return data;
}

QString LogFolder::locate(FileSystem& fs) {
    return choose(fs, QCoreApplication::applicationDirPath(),
                  QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
}
