#pragma once

#include "platform/Browser.h"

/// The desktop's default web browser (QDesktopServices; xdg-open on Linux).
class DesktopBrowser final : public Browser {
public:
    bool openUrl(const QString& address) override;
};
