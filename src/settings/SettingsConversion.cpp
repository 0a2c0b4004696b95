#include "settings/SettingsConversion.h"

#include <cmath>
#include <limits>

std::optional<double> SettingsConversion::toDouble(const QString& text) {
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<bool> SettingsConversion::toBoolean(const QString& text) {
    const QString t = text.trimmed();
    if (t.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        return true;
    if (t.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
        return false;
    if (const auto number = toDouble(t))
        return *number != 0.0;
    return std::nullopt;
}

std::optional<qint32> SettingsConversion::toInt32(const QString& text) {
    bool ok = false;
    const qint32 value = text.trimmed().toInt(&ok, 10);
    if (ok)
        return value;
    const auto number = toDouble(text);
    if (!number)
        return std::nullopt;
    const double rounded = std::nearbyint(*number); // the default rounding mode: ties to even
    if (rounded < double(std::numeric_limits<qint32>::min()) ||
        rounded > double(std::numeric_limits<qint32>::max()))
        return std::nullopt;
    return qint32(rounded);
}
