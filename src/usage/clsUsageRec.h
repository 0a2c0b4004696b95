#pragma once

#include <QDate>

/// One day's usage, or one frame's increment of it. Amounts are bytes.
struct clsUsageRec {
    QDate usageDate{1899, 12, 30}; ///< the calendar day (the zero date when unset)
    double dataReceived = 0;       ///< download bytes
    double dataSent = 0;           ///< upload bytes
    double dataPassthru = 0;       ///< pass-by bytes
    double dataTotalUsage = 0;     ///< all counted bytes; summed on its own, never recomputed
};
