#include "shell/TrayController.h"

#include "platform/TrayIcon.h"

QString TrayController::cutTip(const QString& tip) {
    return tip.left(TrayIcon::kTipLimit);
}

void TrayController::addTrayIcon() {
    picture_ = Idle;
    added_ = true;
    icon_.add(picture_, tip_);
}

void TrayController::showBaloonTip(const QString& message, const QString& title, int icon) {
    hideBaloonTip();
    icon_.showBalloon(message, title, icon);
    // The balloon leaves picture 1 on the icon until the next update chooses another.
    picture_ = Idle;
    icon_.modify(picture_, tip_);
}

void TrayController::hideBaloonTip() {
    icon_.hideBalloon();
}

void TrayController::showNoAdapter() {
    picture_ = NoAdapter;
    tip_ = QStringLiteral("No adapter selected");
    icon_.modify(picture_, tip_);
}

void TrayController::update(int picture, const QString& tip) {
    picture_ = picture;
    tip_ = cutTip(tip);
    icon_.modify(picture_, tip_);
}

void TrayController::removeTrayIcon() {
    added_ = false;
    icon_.remove();
}
