#pragma once

#include "platform/IpAddress.h"

#include <QByteArray>
#include <QtGlobal>

#include <functional>
#include <optional>

/// Reverse name lookups that never block the caller: lookUp() starts one, the answer comes
/// later on the same thread through the answer handler.
class HostNameResolver {
public:
    /// address: the address asked about. name: the host name as the system gives it (bytes,
    /// possibly not valid text); nullopt when the address has no name or the lookup failed.
    using AnswerHandler =
        std::function<void(const IpAddress& address, const std::optional<QByteArray>& name)>;

    virtual ~HostNameResolver() = default;

    /// Starts a reverse lookup of one address (IPv4 or IPv6).
    virtual void lookUp(const IpAddress& address) = 0;

    /// Sets who receives the answers (null: they are dropped).
    void setAnswerHandler(AnswerHandler handler) { handler_ = std::move(handler); }

protected:
    void answer(const IpAddress& address, const std::optional<QByteArray>& name) {
        if (handler_)
            handler_(address, name);
    }

private:
    AnswerHandler handler_;
};
