#pragma once

#include "platform/Browser.h"

#include <memory>

/// The desktop's default web browser: the desktop's opener xdg-open, whose exit tells whether a
/// browser took the address; QDesktopServices where there is no xdg-open.
class DesktopBrowser final : public Browser {
public:
    /// opener: the program that opens addresses (found in PATH at each call when empty).
    explicit DesktopBrowser(QString opener = QString()) : opener_(std::move(opener)) {}
    bool openUrl(const QString& address, std::function<void()> failedLater = {}) override;
    /// Openers started here that have not ended yet.
    int runningOpeners() const { return *running_; }

private:
    QString opener_;
    std::shared_ptr<int> running_ = std::make_shared<int>(0);
};
