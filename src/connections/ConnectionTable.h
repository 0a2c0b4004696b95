#pragma once

#include "connections/ShownAddress.h"
#include "connections/clsPacketInfo.h"

#include <QString>
#include <QtGlobal>

#include <cstddef>
#include <vector>

class Clock;

/// One row of the packet list: every packet from one address and port to another, folded.
/// Values are kept typed and flat (80 bytes, nothing on the heap); the list makes the texts
/// when it paints the row. The addresses are ShownAddresses, split here to pack the entry.
struct ConnectionEntry {
    // "From" and "To": the first packet's source and destination (see source()).
    quint64 srcHigh = 0;
    quint64 srcLow = 0;
    quint64 destHigh = 0;
    quint64 destLow = 0;
    quint16 srcPort = 0;  ///< first "Port"
    quint16 destPort = 0; ///< second "Port"
    ShownAddress::Kind srcKind = ShownAddress::None;
    ShownAddress::Kind destKind = ShownAddress::None;
    qint16 pkType = 0;            ///< protocol of the first packet ("Type")
    bool highlighted = false;     ///< data cell red (else black)
    bool removing = false;        ///< marked by the sweep, gone before it returns
    quint32 hash = 0;             ///< hash of the key, kept for rebuilding the index
    double data = 0;              ///< "Data (Bytes)": sum of the packets' data bytes
    double packets = 0;           ///< "Packets"
    qint64 removeDeadline = 0;    ///< extended tick after which the row may go
    qint64 highlightDeadline = 0; ///< extended tick after which the data cell turns black

    ShownAddress source() const { return {srcHigh, srcLow, srcKind}; }
    ShownAddress destination() const { return {destHigh, destLow, destKind}; }
};
static_assert(sizeof(ConnectionEntry) == 80, "a full table is 250,000 of these");

/// The connection table behind the "Packets" list: one entry per directed key (source text,
/// source port, destination text, destination port; the protocol is not part of it), in order
/// of creation. The texts are compared as ShownAddresses (equal exactly when the texts are), so
/// a packet costs an integer hash and compare; ports are 0 to 65535. A packet updates the entry of
/// its key or appends a new one; both deadlines are stamped on every packet. An index on the key
/// finds the entry without scanning.
///
/// Tick counts are 32-bit milliseconds that wrap after 49.7 days; the table extends them to 64
/// bits at every reading (readings come at least once a second from the sweep), so deadlines
/// compare correctly across the wrap and for any period the settings allow.
///
/// Size: at most kMaxEntries entries. A packet of a new key arriving when the table is full is
/// not listed (unlistedPackets() counts them); packets of listed keys still update their rows.
///
/// The tick is read once per batch of frames (at its first packet; endBatch() or takeChanges()
/// ends the batch): a batch spans a few milliseconds, far inside the one-second sweep, and the
/// clock is the costliest step of a packet.
///
/// Changes are gathered for the list, which takes them once per batch (takeChanges()).
class ConnectionTable final {
    Q_DISABLE_COPY_MOVE(ConnectionTable)

public:
    /// Largest number of entries.
    static constexpr int kMaxEntries = 250000;

    /// What changed since the last takeChanges().
    struct Changes {
        int firstChanged = -1; ///< first row whose data, packets or colour changed (-1: none)
        int lastChanged = -1;  ///< last such row
        int lastTouched = -1;  ///< the row of the latest packet (-1: none)
    };

    /// removeSeconds and hiliteSeconds are the settings "RemoveFromListTime" and
    /// "HiliteNewPacketTime" (seconds, 0 = never remove); they are read at every use and must
    /// outlive the table, as must the clock.
    /// names gives the texts of the ShownAddresses in the packets and must outlive the table.
    ConnectionTable(const Clock& clock, const qint32& removeSeconds, const qint32& hiliteSeconds,
                    const NameIds& names);

    /// Folds one packet in. Does nothing while the display is frozen.
    void listPacket(const clsPacketInfo& info);
    /// Ends a batch of frames: the next packet reads the clock again.
    void endBatch() { tickFresh_ = false; }

    /// The ageing sweep: ends overdue highlights and removes overdue entries (the latter unless
    /// removeSeconds is 0). Does nothing while frozen.
    void ScavengeList();

    /// Removes every entry (the statistics reset), frozen or not.
    void clear();

    /// "Freeze Display": while on, neither packets nor the sweep change the table.
    void setDisplayFrozen(bool frozen) { displayFrozen_ = frozen; }
    bool displayFrozen() const { return displayFrozen_; }

    int size() const { return int(entries_.size()); }
    const ConnectionEntry& at(int row) const { return entries_[std::size_t(row)]; }
    /// Row of a key, or -1.
    int find(const ShownAddress& srcAddr, qint32 srcPort, const ShownAddress& destAddr,
             qint32 destPort) const;
    /// Text of an entry's address.
    QString text(const ShownAddress& address) const { return names_.text(address); }

    /// Packets of new keys that found the table full, since the start.
    quint64 unlistedPackets() const { return unlisted_; }

    /// Returns and forgets the changes gathered since the last call (and ends the batch). Rows
    /// appended since then are those from the size the caller last saw.
    Changes takeChanges();

    // The sweep in steps, for a list that announces removals as they happen:
    /// Reads the tick once, ends overdue highlights (gathered as changes) and marks overdue
    /// entries. Returns the number of marked entries. Does nothing while frozen.
    int markOverdue();
    /// Calls visit(first, last) for each run of marked rows, last run first.
    template <typename Visit> void forEachMarkedRun(Visit visit) const {
        int row = size() - 1;
        while (row >= 0) {
            if (!entries_[std::size_t(row)].removing) {
                --row;
                continue;
            }
            const int last = row;
            while (row >= 0 && entries_[std::size_t(row)].removing)
                --row;
            visit(row + 1, last);
        }
    }
    /// Removes the rows first..last (all marked) without touching the index.
    void eraseRows(int first, int last);
    /// Removes every marked row left and rebuilds the index.
    void finishRemoval();

    /// Protocol name of an IP protocol number: "ICMP", "IGMP", "TCP", "UDP", "ICMPv6" or
    /// empty.
    static QString typeName(qint16 pkType);
    /// Decimal text of a count: up to 15 significant digits, whole numbers without a point.
    static QString numberText(double value);

private:
    /// An entry's key as the index compares it.
    struct Key {
        quint64 srcHigh, srcLow, destHigh, destLow;
        quint16 srcPort, destPort;
        ShownAddress::Kind srcKind, destKind;
        static Key of(const ShownAddress& src, qint32 srcPort, const ShownAddress& dest,
                      qint32 destPort) {
            return {src.high,         src.low,           dest.high, dest.low,
                    quint16(srcPort), quint16(destPort), src.kind,  dest.kind};
        }
        bool matches(const ConnectionEntry& e) const {
            return e.srcLow == srcLow && e.destLow == destLow && e.srcPort == srcPort &&
                   e.destPort == destPort && e.srcKind == srcKind && e.destKind == destKind &&
                   e.srcHigh == srcHigh && e.destHigh == destHigh;
        }
    };

    qint64 extendedTick();
    static quint32 hashOf(const Key& key);
    int lookUp(quint32 hash, const Key& key) const;
    void insertIndex(quint32 hash, int row);
    void rebuildIndex(std::size_t minimumEntries);
    void freshBlock();
    void noteChanged(int row);

    /// Tables that grew to this many entries move to a fresh block when they shrink by half.
    static constexpr std::size_t kShrinkFrom = 4096;

    const Clock& clock_;
    const qint32& removeSeconds_;
    const qint32& hiliteSeconds_;
    const NameIds& names_;
    std::vector<ConnectionEntry> entries_;
    std::size_t highWater_ = 0; ///< most entries since entries_ was last a fresh block
    std::vector<qint32> index_; ///< open addressing, linear probing; -1 = empty slot
    std::size_t indexMask_ = 0;
    quint32 lastTick_ = 0;
    qint64 tickBase_ = 0; ///< extended value of lastTick_
    bool tickStarted_ = false;
    bool tickFresh_ = false; ///< batchTick_ was read in this batch
    qint64 batchTick_ = 0;
    bool displayFrozen_ = false;
    quint64 unlisted_ = 0;
    Changes changes_;
};
