#pragma once

#include <QString>

/// The user's web browser.
class Browser {
public:
    virtual ~Browser() = default;
    /// Opens the address in a new browser window; false when no browser could take it.
    virtual bool openUrl(const QString& address) = 0;
};
