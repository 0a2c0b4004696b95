#include "connections/ConnectionTable.h"

#include "platform/Clock.h"

#include <QHashFunctions>

#include <algorithm>

ConnectionTable::ConnectionTable(const Clock& clock, const qint32& removeSeconds,
                                 const qint32& hiliteSeconds)
    : clock_(clock), removeSeconds_(removeSeconds), hiliteSeconds_(hiliteSeconds) {
    // Address space for a full table at once: pages are only taken as rows fill them, and the
    // rows are never copied to a larger block while a flood of new keys comes in.
    entries_.reserve(std::size_t(kMaxEntries));
}

qint64 ConnectionTable::extendedTick() {
    const quint32 now = clock_.tickCount();
    if (!tickStarted_) {
        tickStarted_ = true;
        tickBase_ = now;
    } else {
        // Readings come at least once a second, so the distance is always the forward one.
        tickBase_ += qint64(quint32(now - lastTick_));
    }
    lastTick_ = now;
    return tickBase_;
}

std::size_t ConnectionTable::hashOf(const QString& srcAddr, qint32 srcPort, const QString& destAddr,
                                    qint32 destPort) {
    std::size_t h = qHashMulti(0, srcAddr, srcPort, destAddr, destPort);
    // Spread the bits: the index uses the low ones.
    h ^= h >> 31;
    h *= 0x9E3779B97F4A7C15ull;
    h ^= h >> 29;
    return h;
}

int ConnectionTable::lookUp(std::size_t hash, const QString& srcAddr, qint32 srcPort,
                            const QString& destAddr, qint32 destPort) const {
    if (index_.empty())
        return -1;
    std::size_t slot = hash & indexMask_;
    for (;;) {
        const qint32 row = index_[slot];
        if (row < 0)
            return -1;
        const ConnectionEntry& e = entries_[std::size_t(row)];
        if (e.hash == hash && e.srcPort == srcPort && e.destPort == destPort &&
            e.destAddr == destAddr && e.srcAddr == srcAddr)
            return row;
        slot = (slot + 1) & indexMask_;
    }
}

int ConnectionTable::find(const QString& srcAddr, qint32 srcPort, const QString& destAddr,
                          qint32 destPort) const {
    return lookUp(hashOf(srcAddr, srcPort, destAddr, destPort), srcAddr, srcPort, destAddr,
                  destPort);
}

void ConnectionTable::insertIndex(std::size_t hash, int row) {
    if ((entries_.size() + 1) * 2 > index_.size()) {
        rebuildIndex(entries_.size() + 1);
        return; // the rebuild took every entry, the new one included
    }
    std::size_t slot = hash & indexMask_;
    while (index_[slot] >= 0)
        slot = (slot + 1) & indexMask_;
    index_[slot] = row;
}

void ConnectionTable::rebuildIndex(std::size_t minimumEntries) {
    std::size_t capacity = 16;
    while (capacity < minimumEntries * 2)
        capacity <<= 1;
    index_.assign(capacity, -1);
    indexMask_ = capacity - 1;
    for (std::size_t row = 0; row < entries_.size(); ++row) {
        std::size_t slot = entries_[row].hash & indexMask_;
        while (index_[slot] >= 0)
            slot = (slot + 1) & indexMask_;
        index_[slot] = qint32(row);
    }
}

std::size_t ConnectionTable::recentSlot(const clsPacketInfo& info) {
    quint64 h =
        quint64(reinterpret_cast<quintptr>(info.srcAddr.constData())) * 0x9E3779B97F4A7C15ull;
    h ^= quint64(reinterpret_cast<quintptr>(info.destAddr.constData())) * 0xC2B2AE3D27D4EB4Full;
    h ^= (quint64(quint32(info.srcPort)) << 32 | quint32(info.destPort)) * 0x165667B19E3779F9ull;
    return std::size_t(h >> (64 - kRecentBits));
}

void ConnectionTable::noteChanged(int row) {
    if (changes_.firstChanged < 0 || row < changes_.firstChanged)
        changes_.firstChanged = row;
    if (row > changes_.lastChanged)
        changes_.lastChanged = row;
}

void ConnectionTable::listPacket(const clsPacketInfo& info) {
    if (displayFrozen_)
        return;
    qint32& recent = recent_[recentSlot(info)];
    int row = -1;
    std::size_t hash = 0;
    if (recent >= 0 && recent < size()) {
        const ConnectionEntry& e = entries_[std::size_t(recent)];
        if (e.srcPort == info.srcPort && e.destPort == info.destPort &&
            e.srcAddr.constData() == info.srcAddr.constData() &&
            e.srcAddr.size() == info.srcAddr.size() &&
            e.destAddr.constData() == info.destAddr.constData() &&
            e.destAddr.size() == info.destAddr.size())
            row = recent; // the same stored texts: the same key
    }
    if (row < 0) {
        hash = hashOf(info.srcAddr, info.srcPort, info.destAddr, info.destPort);
        row = lookUp(hash, info.srcAddr, info.srcPort, info.destAddr, info.destPort);
        recent = row;
    }
    if (row < 0 && entries_.size() >= std::size_t(kMaxEntries)) {
        ++unlisted_;
        return;
    }
    if (!tickFresh_) {
        batchTick_ = extendedTick();
        tickFresh_ = true;
    }
    const qint64 now = batchTick_;
    const qint64 removeDeadline = now + qint64(removeSeconds_) * 1000;
    const qint64 highlightDeadline = now + qint64(hiliteSeconds_) * 1000;
    if (row >= 0) {
        ConnectionEntry& e = entries_[std::size_t(row)];
        e.data += info.bytes;
        e.packets += 1;
        e.removeDeadline = removeDeadline;
        e.highlighted = true;
        e.highlightDeadline = highlightDeadline;
        noteChanged(row);
        changes_.lastTouched = row;
        return;
    }
    ConnectionEntry& e = entries_.emplace_back();
    e.srcAddr = info.srcAddr;
    e.srcPort = info.srcPort;
    e.destAddr = info.destAddr;
    e.destPort = info.destPort;
    e.data = info.bytes;
    e.packets = 1;
    e.pkType = info.pkType;
    e.removeDeadline = removeDeadline;
    e.highlighted = true;
    e.highlightDeadline = highlightDeadline;
    e.hash = hash;
    const int newRow = int(entries_.size()) - 1;
    insertIndex(hash, newRow);
    recent = newRow;
    changes_.lastTouched = newRow;
}

int ConnectionTable::markOverdue() {
    const qint64 now = extendedTick(); // also keeps the wrap count during a freeze
    tickFresh_ = false;
    if (displayFrozen_)
        return 0;
    const bool removing = removeSeconds_ != 0;
    int marked = 0;
    const int count = size();
    for (int row = 0; row < count; ++row) {
        ConnectionEntry& e = entries_[std::size_t(row)];
        if (e.highlighted && e.highlightDeadline < now) {
            e.highlighted = false;
            noteChanged(row);
        }
        if (removing && e.removeDeadline < now) {
            e.removing = true;
            ++marked;
        }
    }
    return marked;
}

void ConnectionTable::eraseRows(int first, int last) {
    entries_.erase(entries_.begin() + first, entries_.begin() + last + 1);
    changes_ = Changes();
}

void ConnectionTable::finishRemoval() {
    std::erase_if(entries_, [](const ConnectionEntry& e) { return e.removing; });
    changes_ = Changes();
    rebuildIndex(entries_.size());
}

void ConnectionTable::ScavengeList() {
    if (markOverdue() > 0)
        finishRemoval();
}

void ConnectionTable::clear() {
    // A fresh block gives the pages of a large table back; see the constructor.
    std::vector<ConnectionEntry>().swap(entries_);
    entries_.reserve(std::size_t(kMaxEntries));
    index_.clear();
    index_.shrink_to_fit();
    indexMask_ = 0;
    changes_ = Changes();
}

ConnectionTable::Changes ConnectionTable::takeChanges() {
    const Changes taken = changes_;
    changes_ = Changes();
    tickFresh_ = false;
    return taken;
}

QString ConnectionTable::typeName(qint16 pkType) {
    switch (pkType) {
    case 1:
        return QStringLiteral("ICMP");
    case 2:
        return QStringLiteral("IGMP");
    case 6:
        return QStringLiteral("TCP");
    case 17:
        return QStringLiteral("UDP");
    case 58:
        return QStringLiteral("ICMPv6");
    default:
        return QString();
    }
}

QString ConnectionTable::numberText(double value) {
    return QString::number(value, 'g', 15);
}
