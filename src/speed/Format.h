#pragma once

#include <QString>

/// x rounded to `decimals` places (halves away from zero), with the user's decimal separator,
/// a digit before it, no grouping, a minus sign for negatives.
QString fixed(double x, int decimals);

/// A byte total in the given display unit; an unknown unit gives an empty text.
QString formatBytes(double bytes, int unit);

/// A duration in days as "[N day(s) ]hh:mm:ss", to the whole second below it (the duration is
/// first rounded to milliseconds); negative durations show as 00:00:00.
QString FormatTime(double interval);

/// The speed figure without unit: kbps (×8/1000, no decimals) for unit 0, else KB/s (/1024, two
/// decimals).
QString speedFigure(double bytesPerSecond, int unit);
/// The speed figure followed by " kbps" or " KB/s".
QString speedText(double bytesPerSecond, int unit);

/// The units that texts are shown in, as the settings "DisplayUnit" and "SpeedUnit" choose them.
/// Whoever shows figures holds (or is handed) one; the session keeps it in step with the settings.
struct DisplayUnits {
    int bytes = 3; ///< byte totals: 0 bytes, 1 KB, 2 MB, 3 automatic
    int speed = 1; ///< speeds: 0 kilobits per second, anything else kilobytes per second

    /// A byte total in the byte unit.
    QString formatBytes(double value) const { return ::formatBytes(value, bytes); }
    /// A speed figure without unit in the speed unit.
    QString speedFigure(double bytesPerSecond) const {
        return ::speedFigure(bytesPerSecond, speed);
    }
    /// A speed figure followed by " kbps" or " KB/s".
    QString speedText(double bytesPerSecond) const { return ::speedText(bytesPerSecond, speed); }
    bool operator==(const DisplayUnits&) const = default;
};
