#pragma once

#include "platform/CursorImage.h"

/// The window system's cursor. On X11 its image comes from the XFixes extension; elsewhere
/// (offscreen, Wayland) there is no image and only the pointer position is known.
class SystemCursorSource final : public CursorSource {
public:
    SystemCursorSource();
    std::optional<CursorImage> currentCursor() override;
    QPoint pointerPosition() override;

private:
    bool xfixesChecked_ = false;
    bool xfixes_ = false;
};
