#pragma once

#include <QString>

/// Balloon messages shown by the desktop's own notification service. Each message replaces the
/// one shown before, and none stays up longer than it was asked to.
class Notifications {
public:
    virtual ~Notifications() = default;

    /// True when the desktop's notification service can be reached now.
    virtual bool isAvailable() const = 0;
    /// Shows a message in place of the one shown before. icon: 0 none, 1 information,
    /// 2 warning, 3 error. It is taken down after timeoutMs at the latest.
    virtual void show(const QString& title, const QString& text, int icon, int timeoutMs) = 0;
    /// Takes the shown message down.
    virtual void close() = 0;
};
