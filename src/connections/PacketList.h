#pragma once

#include "connections/AddressNames.h"
#include "connections/ConnectionModel.h"
#include "connections/ConnectionTable.h"

#include <exception>
#include <memory>

class Clock;
class HostNameResolver;
class MessageBoxes;

/// The packet list behind the "Packets" tab: the connection table, its model for the list view
/// and the address names (nameCache) that the frame path shows in it. Per packet only the table
/// changes; flush() tells the model's views once per batch of frames.
///
/// @code
/// PacketList list(clock, settings.gRemoveFromListTime, settings.gHiliteNewPacketTime,
///                 resolver /* null: the system's */, &boxes);
/// // per counted frame: list.listPacket(entry) with addresses from list.shown(a)
/// // per batch: list.flush(); per second: list.ScavengeList(); statistics reset: list.clear()
/// @endcode
class PacketList final {
    Q_DISABLE_COPY_MOVE(PacketList)

public:
    /// The periods are the settings' variables (read at every use); clock, periods, resolver
    /// and boxes must outlive this object. resolver null: the system resolver. boxes may be
    /// null.
    PacketList(const Clock& clock, const qint32& removeSeconds, const qint32& hiliteSeconds,
               HostNameResolver* resolver, MessageBoxes* boxes);
    ~PacketList();

    /// Folds a packet into the table (nothing while frozen). A failure drops the packet and is
    /// reported as "Error in listPacket:"; the frame is still counted.
    void listPacket(const clsPacketInfo& info) {
        try {
            table_.listPacket(info);
        } catch (const std::exception& e) {
            reportListError(e);
        }
    }
    /// What an address shows as (first octet in the high byte), as numbers.
    ShownAddress shown(quint32 address) { return names_.shown(address); }
    /// The same of an IPv4 or IPv6 address.
    ShownAddress shown(const IpAddress& address) { return names_.shown(address); }
    /// Once per batch of frames: tells the views what changed. Returns the row of the batch's
    /// latest packet (-1: none).
    int flush() { return model_.flush(); }
    /// Once a second: ends overdue highlights, removes overdue rows. Errors are reported as
    /// "Error in ScavengeList:".
    void ScavengeList();
    /// Empties the list (the statistics reset).
    void clear() { model_.clear(); }

    /// "Freeze Display": the list stands still (no new rows, counts, highlight ends, removals).
    void setDisplayFrozen(bool frozen) { table_.setDisplayFrozen(frozen); }
    bool displayFrozen() const { return table_.displayFrozen(); }
    /// "Resolve IP": host names instead of addresses for packets from now on.
    void setResolveNames(bool on) { names_.setResolveNames(on); }
    bool resolveNames() const { return names_.resolveNames(); }

    ConnectionModel& model() { return model_; }
    ConnectionTable& table() { return table_; }
    AddressNames& names() { return names_; }

private:
    void reportListError(const std::exception& e);

    std::unique_ptr<HostNameResolver> ownResolver_;
    MessageBoxes* boxes_;
    AddressNames names_; // before the table, which reads its names
    ConnectionTable table_;
    ConnectionModel model_;
};
