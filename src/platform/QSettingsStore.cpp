#include "platform/QSettingsStore.h"

#include <QSettings>
#include <QStandardPaths>
#include <QStringList>

#include <memory>

namespace {
std::unique_ptr<QSettings> open(const QString& filePath, const QString& application) {
    if (!filePath.isEmpty())
        return std::make_unique<QSettings>(filePath, QSettings::IniFormat);
    // QSettings' own per-user INI path would end in ".ini"; the file keeps the usual ".conf".
    return std::make_unique<QSettings>(
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
            QStringLiteral("/Quelmint/") + application + QStringLiteral(".conf"),
        QSettings::IniFormat);
}

QString fullKey(const QString& section, const QString& key) {
    return section + u'/' + key;
}
} // namespace

QString QSettingsStore::fileName(const QString& application) const {
    return open(filePath_, application)->fileName();
}

QString QSettingsStore::get(const QString& application, const QString& section, const QString& key,
                            const QString& defaultValue) const {
    const auto settings = open(filePath_, application);
    const QVariant value = settings->value(fullKey(section, key));
    if (!value.isValid())
        return defaultValue;
    // A hand-written line with unquoted commas reads as a list; give back the text as typed.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
}

bool QSettingsStore::put(const QString& application, const QString& section, const QString& key,
                         const QString& text) {
    const auto settings = open(filePath_, application);
    if (!settings->isWritable())
        return false;
    settings->setValue(fullKey(section, key), text);
    settings->sync();
    return settings->status() == QSettings::NoError;
}
