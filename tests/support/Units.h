#pragma once

#include "speed/Format.h"

/// Puts the display and speed units back as they were when the test is done, however it ends,
/// so no test sees a unit another test left behind.
class UnitsGuard final {
public:
    UnitsGuard() = default;
    ~UnitsGuard() {
        gDisplayUnit = displayUnit_;
        gSpeedUnit = speedUnit_;
    }
    UnitsGuard(const UnitsGuard&) = delete;
    UnitsGuard& operator=(const UnitsGuard&) = delete;

private:
    const int displayUnit_ = gDisplayUnit;
    const int speedUnit_ = gSpeedUnit;
};
