#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <functional>
#include <optional>

/// Reverse name lookups that never block the caller: lookUp() starts one, the answer comes
/// later on the same thread through the answer handler.
class HostNameResolver {
public:
    /// address: IPv4, first octet in the high byte. name: the host name as the system gives
    /// it (bytes, possibly not valid text); nullopt when the address has no name or the lookup
    /// failed.
    using AnswerHandler =
        std::function<void(quint32 address, const std::optional<QByteArray>& name)>;

    virtual ~HostNameResolver() = default;

    /// Starts a reverse lookup of one address.
    virtual void lookUp(quint32 address) = 0;

    /// Sets who receives the answers (null: they are dropped).
    void setAnswerHandler(AnswerHandler handler) { handler_ = std::move(handler); }

protected:
    void answer(quint32 address, const std::optional<QByteArray>& name) {
        if (handler_)
            handler_(address, name);
    }

private:
    AnswerHandler handler_;
};
