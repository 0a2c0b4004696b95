#include "platform/CursorImage.h"

#include <cmath>

CursorRect getCursorRect(CursorSource& source) {
    std::optional<CursorImage> cursor = source.currentCursor();
    if (!cursor) {
        // No image to measure (offscreen, Wayland): an ordinary 32 × 32 colour pointer.
        cursor = CursorImage{source.pointerPosition(), QPoint(0, 0), QSize(32, 32), true};
    }
    const double factor = cursor->colour ? 1.0 : 0.5;
    const int imageHeight = int(std::lround(factor * cursor->mask.height()));
    CursorRect r;
    r.x = cursor->position.x();
    r.y = cursor->position.y();
    r.left = r.x - cursor->hotSpot.x();
    r.top = r.y - cursor->hotSpot.y();
    r.right = r.left + cursor->mask.width();
    r.bottom = r.top + imageHeight;
    return r;
}
