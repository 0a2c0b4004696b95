#pragma once

#include <QDate>

/// One day's usage, or one frame's increment of it. Amounts are bytes.
struct clsUsageRec {
    /// The zero date, 1899-12-30, by its day number: a record is made per frame, and no
    /// calendar arithmetic may run there.
    static constexpr qint64 kZeroJulianDay = 2415019;

    QDate usageDate = QDate::fromJulianDay(kZeroJulianDay); ///< the calendar day (zero when unset)
    double dataReceived = 0;       ///< download bytes
    double dataSent = 0;           ///< upload bytes
    double dataPassthru = 0;       ///< pass-by bytes
    double dataTotalUsage = 0;     ///< all counted bytes; summed on its own, never recomputed
};
