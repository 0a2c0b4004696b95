#pragma once

#include "speed/Format.h"

/// Sets the display and speed units for one scope and puts the previous ones back afterwards.
class FormatUnits final {
public:
    FormatUnits(int display, int speed) : display_(gDisplayUnit), speed_(gSpeedUnit) {
        gDisplayUnit = display;
        gSpeedUnit = speed;
    }
    ~FormatUnits() {
        gDisplayUnit = display_;
        gSpeedUnit = speed_;
    }
    FormatUnits(const FormatUnits&) = delete;
    FormatUnits& operator=(const FormatUnits&) = delete;

private:
    int display_;
    int speed_;
};
