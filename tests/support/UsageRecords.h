#pragma once

#include "usage/clsUsageRec.h"

/// A day's usage with the total made of its three parts.
inline clsUsageRec usageRec(QDate day, double received, double sent = 0, double passby = 0) {
    clsUsageRec r;
    r.usageDate = day;
    r.dataReceived = received;
    r.dataSent = sent;
    r.dataPassthru = passby;
    r.dataTotalUsage = received + sent + passby;
    return r;
}
