#pragma once

#include "platform/MessageBoxes.h"

#include <QList>
#include <QObject>

/// Message boxes for code that runs while a frame or a batch of frames is handled. A box is
/// modal: shown there, its event loop would run inside the frame handler while capture reading
/// is switched off. Here every box is queued and shown from the event loop once the handler
/// has returned, so capture goes on reading and counting while it is open, and no frame is
/// handled inside another.
///
/// While a box waits or is open, isOpen() is true: repeating errors add no second box. A box
/// never opens over another box of the target; it waits until that one is closed.
class DeferredMessageBoxes final : public MessageBoxes {
    Q_DISABLE_COPY_MOVE(DeferredMessageBoxes)

public:
    explicit DeferredMessageBoxes(MessageBoxes& target) : target_(target) {}

    /// Queues the box; returns at once.
    void show(BoxIcon icon, const QString& title, const QString& text) override;
    bool isOpen() const override { return showing_ || !queue_.isEmpty() || target_.isOpen(); }

    /// Drops the boxes that wait (at shutdown).
    void discard() { queue_.clear(); }
    /// Number of boxes waiting to be shown.
    qsizetype waiting() const { return queue_.size(); }

private:
    struct Box {
        BoxIcon icon;
        QString title;
        QString text;
    };
    void schedule(int delayMs);
    void showWaiting();

    MessageBoxes& target_;
    QList<Box> queue_;
    QObject context_; ///< ends the scheduled call with this object
    bool scheduled_ = false;
    bool showing_ = false;
};
