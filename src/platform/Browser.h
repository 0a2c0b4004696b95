#pragma once

#include <QString>

#include <functional>

/// The user's web browser.
class Browser {
public:
    virtual ~Browser() = default;
    /// Opens the address in a new browser window; false when no browser could take it. A start
    /// that fails only later (the desktop's opener finds no browser) calls failedLater then.
    virtual bool openUrl(const QString& address, std::function<void()> failedLater = {}) = 0;
};
