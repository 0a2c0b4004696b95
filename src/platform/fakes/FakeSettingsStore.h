#pragma once

#include "platform/SettingsStore.h"

#include <QMap>
#include <QSet>
#include <QStringList>

/// A settings store in memory; chosen keys can be made to fail when written.
class FakeSettingsStore final : public SettingsStore {
public:
    QString get(const QString& application, const QString& section, const QString& key,
                const QString& defaultValue) const override {
        return values.value(path(application, section, key), defaultValue);
    }
    bool put(const QString& application, const QString& section, const QString& key,
             const QString& text) override {
        putKeys.append(key);
        if (failingKeys.contains(key))
            return false;
        values.insert(path(application, section, key), text);
        return true;
    }

    /// "application/section/key" as used in values.
    static QString path(const QString& application, const QString& section, const QString& key) {
        return application + u'/' + section + u'/' + key;
    }
    /// Shorthand for the program's own keys ("Quelmint/settings/<key>").
    QString& at(const QString& key) {
        return values[path(QStringLiteral("Quelmint"), QStringLiteral("settings"), key)];
    }

    QMap<QString, QString> values;
    /// Keys whose put fails.
    QSet<QString> failingKeys;
    /// Every key put, in order, also the failing ones.
    QStringList putKeys;
};
