#pragma once

#include "connections/clsPacketInfo.h"

#include <QString>
#include <QtGlobal>

#include <cstddef>
#include <vector>

class Clock;

/// One row of the packet list: every packet from one address and port to another, folded.
/// Values are kept typed; the list shows them as text.
struct ConnectionEntry {
    QString srcAddr;              ///< "From": display text of the first packet's source
    QString destAddr;             ///< "To"
    qint32 srcPort = 0;           ///< first "Port"
    qint32 destPort = 0;          ///< second "Port"
    double data = 0;              ///< "Data (Bytes)": sum of the packets' data bytes
    double packets = 0;           ///< "Packets"
    qint16 pkType = 0;            ///< protocol of the first packet ("Type")
    bool highlighted = false;     ///< data cell red (else black)
    bool removing = false;        ///< marked by the sweep, gone before it returns
    qint64 removeDeadline = 0;    ///< extended tick after which the row may go
    qint64 highlightDeadline = 0; ///< extended tick after which the data cell turns black
    std::size_t hash = 0;         ///< hash of the key, kept for rebuilding the index
};

/// The connection table behind the "Packets" list: one entry per directed key (source text,
/// source port, destination text, destination port; the protocol is not part of it), in order
/// of creation. A packet updates the entry of its key or appends a new one; both deadlines are
/// stamped on every packet. An index on the key finds the entry without scanning.
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
    ConnectionTable(const Clock& clock, const qint32& removeSeconds, const qint32& hiliteSeconds);

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
    int find(const QString& srcAddr, qint32 srcPort, const QString& destAddr,
             qint32 destPort) const;

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
    qint64 extendedTick();
    static std::size_t hashOf(const QString& srcAddr, qint32 srcPort, const QString& destAddr,
                              qint32 destPort);
    int lookUp(std::size_t hash, const QString& srcAddr, qint32 srcPort, const QString& destAddr,
               qint32 destPort) const;
    void insertIndex(std::size_t hash, int row);
    void rebuildIndex(std::size_t minimumEntries);
    void noteChanged(int row);
    static std::size_t recentSlot(const clsPacketInfo& info);

    /// Rows of recently seen keys, found by where the packet's texts are stored: the address
    /// texts of a run of packets usually share one copy, so a packet of a known conversation is
    /// found without hashing its texts. Every hit is checked against the row itself.
    static constexpr int kRecentBits = 10;

    const Clock& clock_;
    const qint32& removeSeconds_;
    const qint32& hiliteSeconds_;
    std::vector<ConnectionEntry> entries_;
    std::vector<qint32> index_; ///< open addressing, linear probing; -1 = empty slot
    std::vector<qint32> recent_ = std::vector<qint32>(std::size_t(1) << kRecentBits, -1);
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
