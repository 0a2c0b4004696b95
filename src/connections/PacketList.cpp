#include "connections/PacketList.h"

#include "platform/MessageBoxes.h"
#include "platform/QHostInfoResolver.h"

namespace {
HostNameResolver* orOwn(HostNameResolver* given, std::unique_ptr<HostNameResolver>& own) {
    if (given != nullptr)
        return given;
    own = std::make_unique<QHostInfoResolver>();
    return own.get();
}
} // namespace

PacketList::PacketList(const Clock& clock, const qint32& removeSeconds, const qint32& hiliteSeconds,
                       HostNameResolver* resolver, MessageBoxes* boxes)
    : boxes_(boxes), names_(orOwn(resolver, ownResolver_)),
      table_(clock, removeSeconds, hiliteSeconds, names_.ids()), model_(table_) {}

PacketList::~PacketList() = default;

void PacketList::reportListError(const std::exception& e) {
    if (boxes_)
        boxes_->error(QStringLiteral("listPacket"), QString::fromLocal8Bit(e.what()),
                      ErrorSource::Repeating);
}

void PacketList::ScavengeList() {
    try {
        model_.ScavengeList();
    } catch (const std::exception& e) {
        if (boxes_)
            boxes_->error(QStringLiteral("ScavengeList"), QString::fromLocal8Bit(e.what()),
                          ErrorSource::Repeating);
    }
}
