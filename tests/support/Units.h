#pragma once

#include "speed/Format.h"

/// Puts the display and speed units back as they were when the test is done, however it ends,
/// so no test sees a unit another test left behind. The second form also sets both units for
/// the scope.
class UnitsGuard final {
public:
    UnitsGuard() = default;
    UnitsGuard(int display, int speed) {
        gDisplayUnit = display;
        gSpeedUnit = speed;
    }
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
