#pragma once

#include "capture/TrafficCounters.h"

#include <QString>

/// Where the stopwatch's texts and picture go; implemented by the stopwatch window.
class StopwatchView {
public:
    virtual ~StopwatchView() = default;
    /// Text of one figure label: lblTransfer, lblData or lblOverhead of a row.
    virtual void setFigureText(TrafficCounters::Row row, TrafficCounters::Column column,
                               const QString& text) = 0;
    /// Text of Label1, the elapsed time.
    virtual void setElapsedText(const QString& text) = 0;
    /// Shows animation picture 1..12 in Picture1.
    virtual void setPicture(int index) = 0;
    /// Text of lblAvgSpeed.
    virtual void setAvgSpeedText(const QString& text) = 0;
};
