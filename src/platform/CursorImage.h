#pragma once

#include <QPoint>
#include <QSize>

#include <optional>

/// The pointer and the image of the cursor that shows it, in screen pixels.
struct CursorImage {
    QPoint position;    ///< the pointer's screen position
    QPoint hotSpot;     ///< the hot spot inside the cursor image
    QSize mask;         ///< size of the cursor's mask bitmap
    bool colour = true; ///< a colour cursor; a monochrome one keeps its two masks one above
                        ///< the other, so its image is half as high as its mask
};

/// Where the cursor image comes from (the window system's cursor, or a fake in tests).
class CursorSource {
public:
    virtual ~CursorSource() = default;
    /// The cursor showing the pointer now; nothing when the window system does not tell.
    virtual std::optional<CursorImage> currentCursor() = 0;
    /// The pointer's screen position.
    virtual QPoint pointerPosition() = 0;
};

/// The pointer position and the rectangle the cursor image covers on the screen.
struct CursorRect {
    int x = 0;
    int y = 0;
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

/// The pointer and its cursor image's rectangle: left/top = pointer − hot spot, right = left +
/// mask width, bottom = top + image height. Without a cursor image a 32 × 32 colour cursor with
/// its hot spot at (0, 0) is assumed. No clamping to the screen.
CursorRect getCursorRect(CursorSource& source);
