#pragma once

#include "platform/Browser.h"

#include <QStringList>

/// Records every address it is asked to open; can be told to fail.
class FakeBrowser final : public Browser {
public:
    bool openUrl(const QString& address) override {
        if (fail)
            return false;
        opened.append(address);
        return true;
    }

    /// Addresses opened, in order (one entry per browser window).
    QStringList opened;
    /// When set, no browser can be started.
    bool fail = false;
};
