#pragma once

#include "platform/SingleInstance.h"

/// The single-instance rule decided by the test.
class FakeSingleInstance final : public SingleInstance {
public:
    bool tryBecomePrimary() override { return primary; }
    bool activatePrevious() override {
        ++activateCalls;
        return true;
    }
    void setRaiseHandler(std::function<void()> handler) override { handler_ = std::move(handler); }
    /// Acts as another start asking for the main window.
    void fireRaise() {
        if (handler_)
            handler_();
    }

    bool primary = true;
    int activateCalls = 0;

private:
    std::function<void()> handler_;
};
