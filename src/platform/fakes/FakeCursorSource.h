#pragma once

#include "platform/CursorImage.h"

/// A cursor set by the test; without an image it reports none, as offscreen does.
class FakeCursorSource final : public CursorSource {
public:
    std::optional<CursorImage> currentCursor() override {
        ++queries;
        if (image)
            image->position = position;
        return image;
    }
    QPoint pointerPosition() override { return position; }

    /// The classic 32 × 32 monochrome arrow: a 32 × 64 mask (AND over XOR), hot spot (0, 0).
    static CursorImage monochromeArrow() { return CursorImage{{}, {0, 0}, {32, 64}, false}; }

    QPoint position;                  ///< the pointer
    std::optional<CursorImage> image; ///< the cursor's image, if any
    int queries = 0;                  ///< how often the image was asked for
};
