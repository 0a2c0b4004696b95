#include "shell/TrayController.h"

#include "platform/TrayIcon.h"

int TrayController::pictureFor(bool receivedGrew, bool sentGrew, bool passbyGrew) {
    const bool download = receivedGrew || passbyGrew;
    const bool upload = sentGrew || passbyGrew;
    if (download && upload)
        return Both;
    if (download)
        return Receiving;
    if (upload)
        return Sending;
    return Idle;
}

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

void TrayController::updateAfterSample(bool receivedGrew, bool sentGrew, bool passbyGrew,
                                       const QString& tooltipText, const QString& formattedTotal) {
    picture_ = pictureFor(receivedGrew, sentGrew, passbyGrew);
    tip_ = cutTip(tooltipText + QStringLiteral("\r\nTotal: ") + formattedTotal);
    icon_.modify(picture_, tip_);
}

void TrayController::update(int picture, const QString& tip) {
    picture_ = picture;
    tip_ = cutTip(tip);
    icon_.modify(picture_, tip_);
}

void TrayController::removeTrayIcon() {
    icon_.remove();
}
