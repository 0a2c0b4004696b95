#pragma once

#include <QImage>

#include <algorithm>

/// The longest vertical run of pixels in the graph's trace colour (pure green: 0, 255, 0) in a
/// picture of the main window. The graph is 58 pixels high inside its border; a sample near
/// or above the full scale draws a column (or a steep line) most of that high, while the
/// idle trace, the meter's bars and the meter's figure make runs of a few pixels only.
inline int longestTraceColumn(const QImage& image) {
    int longest = 0;
    for (int x = 0; x < image.width(); ++x) {
        int run = 0;
        for (int y = 0; y < image.height(); ++y) {
            run = (image.pixel(x, y) & 0xFFFFFF) == 0x00FF00 ? run + 1 : 0;
            longest = std::max(longest, run);
        }
    }
    return longest;
}
