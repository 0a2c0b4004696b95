#include "platform/DeferredMessageBoxes.h"

#include <QTimer>

namespace {
/// How often a waiting box looks again whether the box in its way was closed.
constexpr int kRetryMs = 200;
} // namespace

void DeferredMessageBoxes::show(BoxIcon icon, const QString& title, const QString& text) {
    queue_.append({icon, title, text});
    schedule(0);
}

void DeferredMessageBoxes::schedule(int delayMs) {
    if (scheduled_)
        return;
    scheduled_ = true;
    QTimer::singleShot(delayMs, &context_, [this] {
        scheduled_ = false;
        showWaiting();
    });
}

void DeferredMessageBoxes::showWaiting() {
    if (showing_)
        return; // the open box's own loop; the outer call goes on when it closes
    while (!queue_.isEmpty()) {
        if (target_.isOpen()) {
            schedule(kRetryMs); // never over another box
            return;
        }
        const Box box = queue_.takeFirst();
        showing_ = true;
        target_.show(box.icon, box.title, box.text);
        showing_ = false;
    }
}
