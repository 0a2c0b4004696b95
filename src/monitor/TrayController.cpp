#include "monitor/TrayController.h"

#include "platform/TrayIcon.h"

QString TrayController::cutTip(const QString& tip) {
    return tip.left(TrayIcon::kTipLimit);
}

void TrayController::addTrayIcon() {
    picture_ = Idle;
    added_ = true;
    icon_.add(picture_, tip_);
    sentPicture_ = picture_;
    sentTip_ = tip_;
}

void TrayController::send() {
    // Each change costs the desktop a message (and some desktops a temporary image file):
    // an icon that shows this picture and tip already is left alone.
    if (added_ && picture_ == sentPicture_ && tip_ == sentTip_)
        return;
    icon_.modify(picture_, tip_);
    if (added_) {
        sentPicture_ = picture_;
        sentTip_ = tip_;
    }
}

void TrayController::showBaloonTip(const QString& message, const QString& title, int icon) {
    hideBaloonTip();
    icon_.showBalloon(message, title, icon);
    // The balloon leaves picture 1 on the icon until the next update chooses another.
    picture_ = Idle;
    send();
}

void TrayController::hideBaloonTip() {
    icon_.hideBalloon();
}

void TrayController::showNoAdapter() {
    picture_ = NoAdapter;
    tip_ = QStringLiteral("No adapter selected");
    send();
}

void TrayController::update(int picture, const QString& tip) {
    picture_ = picture;
    tip_ = cutTip(tip);
    send();
}

void TrayController::removeTrayIcon() {
    added_ = false;
    icon_.remove();
}
