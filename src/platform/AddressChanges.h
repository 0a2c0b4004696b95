#pragma once

#include <functional>
#include <utility>

/// Tells when an address of any adapter was added, renewed or removed (IPv4 or IPv6). The
/// handler runs on the thread that created the object, once for one or more changes.
class AddressChanges {
public:
    virtual ~AddressChanges() = default;

    /// Who is told (null: nobody).
    void setChangeHandler(std::function<void()> handler) { handler_ = std::move(handler); }

protected:
    void changed() {
        if (handler_)
            handler_();
    }

private:
    std::function<void()> handler_;
};
