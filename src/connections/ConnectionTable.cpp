#include "connections/ConnectionTable.h"

#include "platform/Clock.h"

#include <QHashFunctions>

#include <algorithm>

ConnectionTable::ConnectionTable(const Clock& clock, const qint32& removeSeconds,
                                 const qint32& hiliteSeconds, const NameIds& names)
    : clock_(clock), removeSeconds_(removeSeconds), hiliteSeconds_(hiliteSeconds), names_(names) {
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

quint32 ConnectionTable::hashOf(const Key& k) {
    constexpr quint64 m = 0x9E3779B97F4A7C15ull;
    quint64 h = (k.srcLow ^ (k.srcHigh << 1 | k.srcHigh >> 63)) * m;
    h = (h ^ h >> 32 ^ k.destLow ^ (k.destHigh << 7 | k.destHigh >> 57)) * 0xC2B2AE3D27D4EB4Full;
    h = (h ^ h >> 29 ^
         (quint64(k.srcPort) << 32 | quint64(k.destPort) << 16 | quint64(k.srcKind) << 8 |
          k.destKind)) *
        m;
    // The index uses the low bits: bring the well-mixed high ones down.
    return quint32(h >> 32 ^ h >> 13);
}

int ConnectionTable::lookUp(quint32 hash, const Key& key) const {
    if (index_.empty())
        return -1;
    std::size_t slot = hash & indexMask_;
    for (;;) {
        const qint32 row = index_[slot];
        if (row < 0)
            return -1;
        const ConnectionEntry& e = entries_[std::size_t(row)];
        if (e.hash == hash && key.matches(e))
            return row;
        slot = (slot + 1) & indexMask_;
    }
}

int ConnectionTable::find(const ShownAddress& srcAddr, qint32 srcPort, const ShownAddress& destAddr,
                          qint32 destPort) const {
    const Key key = Key::of(srcAddr, srcPort, destAddr, destPort);
    return lookUp(hashOf(key), key);
}

void ConnectionTable::insertIndex(quint32 hash, int row) {
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
    // A new block, so that a smaller index gives the pages of a larger one back.
    index_ = std::vector<qint32>(capacity, -1);
    indexMask_ = capacity - 1;
    for (std::size_t row = 0; row < entries_.size(); ++row) {
        std::size_t slot = entries_[row].hash & indexMask_;
        while (index_[slot] >= 0)
            slot = (slot + 1) & indexMask_;
        index_[slot] = qint32(row);
    }
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
    const Key key = Key::of(info.srcAddr, info.srcPort, info.destAddr, info.destPort);
    const quint32 hash = hashOf(key);
    const int row = lookUp(hash, key);
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
    e.srcHigh = key.srcHigh;
    e.srcLow = key.srcLow;
    e.destHigh = key.destHigh;
    e.destLow = key.destLow;
    e.srcPort = key.srcPort;
    e.destPort = key.destPort;
    e.srcKind = key.srcKind;
    e.destKind = key.destKind;
    e.data = info.bytes;
    e.packets = 1;
    e.pkType = info.pkType;
    e.removeDeadline = removeDeadline;
    e.highlighted = true;
    e.highlightDeadline = highlightDeadline;
    e.hash = hash;
    highWater_ = std::max(highWater_, entries_.size());
    const int newRow = int(entries_.size()) - 1;
    insertIndex(hash, newRow);
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
    // Once most of a large table has gone, the survivors move to a fresh block and the pages
    // the flood filled go back to the system.
    if (highWater_ >= kShrinkFrom && entries_.size() < highWater_ / 2)
        freshBlock();
    rebuildIndex(entries_.size());
}

void ConnectionTable::freshBlock() {
    std::vector<ConnectionEntry> fresh;
    fresh.reserve(std::size_t(kMaxEntries)); // see the constructor
    fresh.insert(fresh.end(), entries_.begin(), entries_.end());
    entries_.swap(fresh);
    highWater_ = entries_.size();
}

void ConnectionTable::ScavengeList() {
    if (markOverdue() > 0)
        finishRemoval();
}

void ConnectionTable::clear() {
    // A fresh block gives the pages of a large table back; see the constructor.
    entries_.clear();
    freshBlock();
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
