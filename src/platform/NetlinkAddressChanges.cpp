#include "platform/NetlinkAddressChanges.h"

#include <QSocketNotifier>

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

NetlinkAddressChanges::NetlinkAddressChanges(QObject* parent) : QObject(parent) {
    fd_ = ::socket(AF_NETLINK, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd_ < 0)
        return;
    sockaddr_nl local = {};
    local.nl_family = AF_NETLINK;
    local.nl_groups = RTMGRP_IPV4_IFADDR | RTMGRP_IPV6_IFADDR;
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        ::close(fd_);
        fd_ = -1;
        return;
    }
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &NetlinkAddressChanges::readEvents);
}

NetlinkAddressChanges::~NetlinkAddressChanges() {
    notifier_.reset();
    if (fd_ >= 0)
        ::close(fd_);
}

void NetlinkAddressChanges::readEvents() {
    // Everything waiting is read; one change or many, the handler runs once.
    bool change = false;
    alignas(nlmsghdr) char buffer[16384];
    for (;;) {
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            // ENOBUFS: events were lost while nobody read; whatever they were, look again.
            change = change || errno == ENOBUFS;
            break;
        }
        if (n == 0)
            break;
        int left = int(n);
        for (auto* m = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(m, left);
             m = NLMSG_NEXT(m, left))
            if (m->nlmsg_type == RTM_NEWADDR || m->nlmsg_type == RTM_DELADDR)
                change = true;
    }
    if (change)
        changed();
}
