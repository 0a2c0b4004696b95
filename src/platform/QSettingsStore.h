#pragma once

#include "platform/SettingsStore.h"

/// The settings store over QSettings' per-user INI files. Application "Quelmint" lives in
/// $XDG_CONFIG_HOME/Quelmint/Quelmint.conf (default ~/.config/Quelmint/Quelmint.conf), a section
/// is an INI group ([settings]) and every value is a plain text line (Key=Text), so the file can
/// be prepared by hand.
class QSettingsStore final : public SettingsStore {
    Q_DISABLE_COPY_MOVE(QSettingsStore)

public:
    /// The per-user files: $XDG_CONFIG_HOME/Quelmint/<application>.conf, looked up at each call.
    QSettingsStore() = default;
    /// One explicit INI file for every application name (for tools and tests).
    explicit QSettingsStore(const QString& filePath) : filePath_(filePath) {}

    QString get(const QString& application, const QString& section, const QString& key,
                const QString& defaultValue) const override;
    bool put(const QString& application, const QString& section, const QString& key,
             const QString& text) override;

    /// The file that holds the given application's settings.
    QString fileName(const QString& application) const;

private:
    QString filePath_;
};
