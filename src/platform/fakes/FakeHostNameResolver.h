#pragma once

#include "platform/HostNameResolver.h"

#include <QList>

/// A resolver for tests: notes every question; the test answers when it likes (or never).
class FakeHostNameResolver final : public HostNameResolver {
public:
    void lookUp(quint32 address) override { asked.append(address); }

    /// Answers a question (asked or not) with a name, or with no name.
    void reply(quint32 address, const std::optional<QByteArray>& name) { answer(address, name); }

    QList<quint32> asked; ///< every lookUp, in order
};
