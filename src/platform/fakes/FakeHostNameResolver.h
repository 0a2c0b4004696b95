#pragma once

#include "platform/HostNameResolver.h"

#include <QList>
#include <QString>

#include <stdexcept>

/// A resolver for tests: notes every question; the test answers when it likes (or never).
class FakeHostNameResolver final : public HostNameResolver {
public:
    void lookUp(const IpAddress& address) override {
        asked.append(address);
        if (failure.isEmpty())
            return;
        const std::string why = failure.toStdString();
        if (failOnce)
            failure.clear();
        throw std::runtime_error(why);
    }

    /// Answers a question (asked or not) with a name, or with no name.
    void reply(const IpAddress& address, const std::optional<QByteArray>& name) {
        answer(address, name);
    }
    /// The same for an IPv4 address (first octet in the high byte).
    void reply(quint32 address, const std::optional<QByteArray>& name) {
        answer(IpAddress::v4(address), name);
    }

    QList<IpAddress> asked; ///< every lookUp, in order
    QString failure;        ///< when set, lookUp fails with this (after noting the question)
    bool failOnce = false;  ///< only the next lookUp fails
};
