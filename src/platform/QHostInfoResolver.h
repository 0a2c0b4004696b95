#pragma once

#include "platform/HostNameResolver.h"

#include <QObject>

/// Reverse lookups through the system resolver (QHostInfo runs them on its own threads; the
/// answer is delivered on the thread that asked). Answers still outstanding when this object
/// is destroyed are dropped.
class QHostInfoResolver final : public HostNameResolver {
public:
    QHostInfoResolver() = default;
    ~QHostInfoResolver() override = default;
    QHostInfoResolver(const QHostInfoResolver&) = delete;
    QHostInfoResolver& operator=(const QHostInfoResolver&) = delete;

    void lookUp(const IpAddress& address) override;

private:
    QObject context_;
};
