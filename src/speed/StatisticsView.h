#pragma once

#include "capture/TrafficCounters.h"

#include <QString>

/// Where the statistics texts go (the "Bytes" tab's labels); implemented by StatsPanel.
class StatisticsView {
public:
    virtual ~StatisticsView() = default;
    /// Text of one of the twelve counter labels.
    virtual void setCounterText(TrafficCounters::Row row, TrafficCounters::Column column,
                                const QString& text) = 0;
    /// Text of lblPackets.
    virtual void setPacketsText(const QString& text) = 0;
    /// Text of lblDuration.
    virtual void setDurationText(const QString& text) = 0;
    /// Text of lblAvgSpeed.
    virtual void setAvgSpeedText(const QString& text) = 0;
};
