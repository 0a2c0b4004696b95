#pragma once

#include <QString>

#include <functional>

/// Mouse messages from the notification icon, numbered like the window messages they stand for.
namespace traymsg {
constexpr int LeftButtonUp = 514;    ///< left button released
constexpr int LeftDoubleClick = 515; ///< left double-click
constexpr int RightButtonUp = 517;   ///< right button released
} // namespace traymsg

/// The program's one icon in the desktop's notification area.
/// Pictures are numbered 1..5: 1 idle, 2 receiving, 3 sending, 4 both, 5 no adapter.
class TrayIcon {
public:
    /// Characters of the tip that are shown; longer tips are cut.
    static constexpr int kTipLimit = 127;
    /// Receives the mouse message number (see traymsg).
    using MouseHandler = std::function<void(int message)>;

    virtual ~TrayIcon() = default;

    /// True when the desktop has a notification area that can show the icon (and bring the
    /// window back from it).
    virtual bool isAvailable() const = 0;
    /// Shows the icon; no effect when it is already shown.
    virtual void add(int picture, const QString& tip) = 0;
    /// Changes the picture and the tip of the shown icon; no effect when it is not shown.
    virtual void modify(int picture, const QString& tip) = 0;
    /// Shows a balloon message, replacing one that is showing. icon: 0 none, 1 information,
    /// 2 warning, 3 error.
    virtual void showBalloon(const QString& text, const QString& title, int icon) = 0;
    /// Removes a balloon that is showing.
    virtual void hideBalloon() = 0;
    /// Removes the icon.
    virtual void remove() = 0;
    /// Where mouse actions on the icon go.
    virtual void setMouseHandler(MouseHandler handler) = 0;
};
