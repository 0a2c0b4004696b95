#pragma once

#include <QString>

/// Display unit of byte totals: 0 bytes, 1 KB, 2 MB, 3 automatic. Default 3.
extern int gDisplayUnit;
/// Speed unit: 0 kilobits per second, anything else kilobytes per second. Default 1.
extern int gSpeedUnit;

/// x rounded to `decimals` places (halves away from zero), with the user's decimal separator,
/// a digit before it, no grouping, a minus sign for negatives.
QString fixed(double x, int decimals);

/// A byte total in the current display unit gDisplayUnit.
QString formatBytes(double bytes);
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
/// speedFigure() in the current speed unit gSpeedUnit.
inline QString speedFigure(double bytesPerSecond) {
    return speedFigure(bytesPerSecond, gSpeedUnit);
}
/// speedText() in the current speed unit gSpeedUnit.
inline QString speedText(double bytesPerSecond) {
    return speedText(bytesPerSecond, gSpeedUnit);
}
