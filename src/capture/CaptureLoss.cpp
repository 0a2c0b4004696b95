#include "capture/CaptureLoss.h"

void CaptureLoss::tick(quint64 dropped, const QDate& today) {
    if (today.isValid() && today != day_) {
        day_ = today;
        dayCount_ = 0;
    }
    run_ += dropped;
    dayCount_ += dropped;
}

QString CaptureLoss::statusText(quint64 runCount) {
    if (runCount == 0)
        return {};
    return QStringLiteral("Frames lost by the capture: %1").arg(runCount);
}
