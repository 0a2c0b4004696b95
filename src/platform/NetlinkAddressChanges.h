#pragma once

#include "platform/AddressChanges.h"

#include <QObject>

#include <memory>

class QSocketNotifier;

/// Address changes from the kernel of this network namespace: a netlink socket subscribed to
/// IPv4 and IPv6 address events (RTM_NEWADDR, RTM_DELADDR), read when it becomes readable.
/// When the socket cannot be opened nobody is ever told.
class NetlinkAddressChanges final : public QObject, public AddressChanges {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(NetlinkAddressChanges)

public:
    explicit NetlinkAddressChanges(QObject* parent = nullptr);
    ~NetlinkAddressChanges() override;

    /// True when the kernel's events are being read.
    bool listening() const { return fd_ >= 0; }

private:
    void readEvents();

    int fd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
};
