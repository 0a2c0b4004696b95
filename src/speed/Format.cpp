#include "speed/Format.h"

#include <QLocale>

#include <cmath>

namespace {
const QString& decimalSeparator() {
    static const QString separator = QLocale::system().decimalPoint();
    return separator;
}

QString twoDigits(qint64 n) {
    return n < 10 ? QStringLiteral("0") + QString::number(n) : QString::number(n);
}

} // namespace

QString fixed(double x, int decimals) {
    if (!std::isfinite(x))
        return QString::number(x);
    const double scale = std::pow(10.0, decimals);
    double rounded = std::round(x * scale) / scale; // halves away from zero
    if (!std::isfinite(rounded))
        rounded = x; // too large to scale: already an integer in practice
    if (rounded == 0)
        rounded = 0; // no "-0"
    QString text = QString::number(rounded, 'f', decimals);
    if (decimals > 0 && decimalSeparator() != QLatin1String("."))
        text.replace(QLatin1Char('.'), decimalSeparator());
    return text;
}

QString formatBytes(double bytes, int unit) {
    switch (unit) {
    case 0:
        return fixed(bytes, 0);
    case 1:
        return fixed(bytes / 1024, 2) + QStringLiteral(" K");
    case 2:
        return fixed(bytes / 1024 / 1024, 2) + QStringLiteral(" M");
    case 3: {
        const double k = bytes / 1024;
        if (k < 1)
            return fixed(bytes, 0) + QStringLiteral(" B");
        const double m = k / 1024;
        if (m < 1)
            return fixed(k, 2) + QStringLiteral(" K");
        const double g = m / 1024;
        if (g < 1)
            return fixed(m, 2) + QStringLiteral(" M");
        return fixed(g, 2) + QStringLiteral(" G");
    }
    default:
        return {};
    }
}

QString FormatTime(double interval) {
    // Date-times have millisecond resolution: rounding the duration to whole milliseconds once
    // absorbs the binary error of day fractions (1 s is 0.99999... days x 86400) without ever
    // rounding a part up, so 19:59:59.998 stays 19:59:59 at any length.
    if (!(interval > 0) || !std::isfinite(interval))
        interval = 0; // a clock set back never shows a negative duration
    if (interval > 1e9)
        interval = 1e9; // keeps the millisecond count in range
    const qint64 totalSeconds = static_cast<qint64>(std::llround(interval * 86400000.0)) / 1000;
    const qint64 days = totalSeconds / 86400;
    const qint64 hours = totalSeconds / 3600 % 24;
    const qint64 minutes = totalSeconds / 60 % 60;
    const qint64 seconds = totalSeconds % 60;
    QString text;
    if (days == 1)
        text = QStringLiteral("1 day ");
    else if (days > 1)
        text = QString::number(days) + QStringLiteral(" days ");
    return text + twoDigits(hours) + QLatin1Char(':') + twoDigits(minutes) + QLatin1Char(':') +
           twoDigits(seconds);
}

QString speedFigure(double bytesPerSecond, int unit) {
    return unit == 0 ? fixed(bytesPerSecond * 8 / 1000, 0) : fixed(bytesPerSecond / 1024, 2);
}

QString speedText(double bytesPerSecond, int unit) {
    return speedFigure(bytesPerSecond, unit) +
           (unit == 0 ? QStringLiteral(" kbps") : QStringLiteral(" KB/s"));
}
