#pragma once

#include <QtGlobal>

/// Bytes added to the Total transfer counter during one sampling interval.
struct clsSpeedSample {
    double bytes = 0;       ///< bytes of the interval
    quint32 sampleTime = 0; ///< tick count (ms) when the sample was stored
    quint32 span = 0;       ///< milliseconds the interval lasted
};
