#pragma once

#include "platform/Browser.h"

#include <QStringList>

/// Records every address it is asked to open; can be told to fail at once or later.
class FakeBrowser final : public Browser {
public:
    bool openUrl(const QString& address, std::function<void()> failedLater = {}) override {
        if (fail)
            return false;
        opened.append(address);
        pendingFailure = std::move(failedLater);
        return true;
    }
    /// The last start turns out to have found no browser.
    void failNow() {
        if (pendingFailure)
            pendingFailure();
    }
    std::function<void()> pendingFailure;

    /// Addresses opened, in order (one entry per browser window).
    QStringList opened;
    /// When set, no browser can be started.
    bool fail = false;
};
