#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

/// Conversions of stored setting texts.
class SettingsConversion final {
public:
    SettingsConversion() = delete;

    /// "True"/"False" in any case, or a number text: 0 is false, any other number true.
    static std::optional<bool> toBoolean(const QString& text);
    /// A 32-bit signed integer; a decimal fraction rounds to the nearest, ties to even.
    static std::optional<qint32> toInt32(const QString& text);
    /// A finite 64-bit float.
    static std::optional<double> toDouble(const QString& text);
};
