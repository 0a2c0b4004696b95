#include "shell/WindowPlacement.h"

#include <QApplication>
#include <QScreen>
#include <QWidget>

namespace WindowPlacement {

void centre(QWidget& window) {
    const QScreen* screen =
        window.screen() != nullptr ? window.screen() : QApplication::primaryScreen();
    if (screen == nullptr)
        return;
    const QRect area = screen->geometry();
    window.move(area.x() + (area.width() - window.width()) / 2,
                area.y() + (area.height() - window.height()) / 2);
}

void restoreAndRaise(QWidget& window) {
    const Qt::WindowStates state = window.windowState();
    if (window.isHidden() || (state & (Qt::WindowMinimized | Qt::WindowMaximized))) {
        window.setWindowState(state & ~(Qt::WindowMinimized | Qt::WindowMaximized));
        window.showNormal();
    }
    window.raise();
    window.activateWindow();
}

void setStaysOnTop(QWidget& window, bool on) {
    if (window.windowFlags().testFlag(Qt::WindowStaysOnTopHint) == on)
        return;
    const QPoint place = window.pos();
    const bool shown = window.isVisible();
    const bool active = window.isActiveWindow();
    const Qt::WindowStates state = window.windowState();
    window.setWindowFlag(Qt::WindowStaysOnTopHint, on);
    window.move(place);
    if (shown) {
        window.setWindowState(state);
        window.show();
        if (active)
            window.activateWindow();
    }
}

} // namespace WindowPlacement
