#pragma once

#include <QString>

/// The per-user settings store: texts addressed by application, section and key.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;

    /// The stored text, or defaultValue when the key is absent.
    virtual QString get(const QString& application, const QString& section, const QString& key,
                        const QString& defaultValue) const = 0;
    /// Stores text under the key, creating it if absent; true when it reached the store.
    virtual bool put(const QString& application, const QString& section, const QString& key,
                     const QString& text) = 0;
};
