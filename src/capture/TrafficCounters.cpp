#include "capture/TrafficCounters.h"

void TrafficCounters::reset() {
    for (auto& row : cells_)
        for (double& cell : row)
            cell = 0;
}

bool TrafficCounters::operator==(const TrafficCounters& other) const {
    for (int r = 0; r < kRows; ++r)
        for (int c = 0; c < kColumns; ++c)
            if (cells_[r][c] != other.cells_[r][c])
                return false;
    return true;
}
