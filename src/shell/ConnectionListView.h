#pragma once

#include "connections/AddressNames.h"
#include "connections/ConnectionModel.h"
#include "connections/ConnectionTable.h"

#include <QFont>
#include <QPointer>
#include <QTableView>

#include <memory>

class Clock;
class HostNameResolver;
class MessageBoxes;
class QWidget;

/// The "Packets" tab's list ListView1 with the connection table behind it and the address
/// names that the frame path shows in it.
///
/// Wiring in the main window:
/// @code
/// connectionList = std::make_unique<ConnectionListView>(clock, settings.gRemoveFromListTime,
///     settings.gHiliteNewPacketTime, resolver /* null: the system's */, &boxes, packetsPage);
/// frames.getNameFromAddress = [&](quint32 a) { return connectionList->getNameFromAddress(a); };
/// frames.listPacket = [&](const clsPacketInfo& p) { connectionList->listPacket(p); };
/// statistics.clearPacketList = [&] { connectionList->clear(); };
/// // end of each batch of frames: connectionList->flush();
/// // end of each Timer2 tick: connectionList->ScavengeList();
/// // "Freeze Display": setDisplayFrozen(on); "Resolve IP": setResolveNames(on)
/// @endcode
/// Per packet only the table changes; the list is told once per batch (flush). New rows are
/// followed (the list scrolls to its end) only while the list is at its end: scrolling away
/// pauses following, scrolling back to the end resumes it.
class ConnectionListView final {
    Q_DISABLE_COPY_MOVE(ConnectionListView)

public:
    /// The periods are the settings' variables (read at every use); clock, periods, resolver
    /// and boxes must outlive this object. resolver null: the system resolver. boxes may be
    /// null. The list becomes a child of page at (0, 3), 417 × 257 pixels.
    ConnectionListView(const Clock& clock, const qint32& removeSeconds, const qint32& hiliteSeconds,
                       HostNameResolver* resolver, MessageBoxes* boxes, QWidget* page);
    ~ConnectionListView();

    /// Folds a packet into the table (nothing while frozen). A failure drops the packet and is
    /// reported as "Error in listPacket:"; the frame is still counted.
    void listPacket(const clsPacketInfo& info);
    /// The text shown for an address (first octet in the high byte).
    QString getNameFromAddress(quint32 address) { return names_.getNameFromAddress(address); }
    /// Once per batch of frames: tells the list what changed and, while it is at its end, keeps
    /// it there.
    void flush();
    /// Once a second: ends overdue highlights, removes overdue rows. Errors are reported as
    /// "Error in ScavengeList:".
    void ScavengeList();
    /// Empties the list (the statistics reset).
    void clear();

    /// "Freeze Display": the list stands still (no new rows, counts, highlight ends, removals).
    void setDisplayFrozen(bool frozen) { table_.setDisplayFrozen(frozen); }
    bool displayFrozen() const { return table_.displayFrozen(); }
    /// "Resolve IP": host names instead of addresses for packets from now on.
    void setResolveNames(bool on) { names_.setResolveNames(on); }
    bool resolveNames() const { return names_.resolveNames(); }

    /// ListView1 (null once its page is gone).
    QTableView* view() const { return view_; }
    ConnectionModel& model() { return model_; }
    ConnectionTable& table() { return table_; }
    AddressNames& names() { return names_; }

    /// The list's font: Arial, or a metric-compatible family where Arial is missing.
    static QFont listFont();

private:
    std::unique_ptr<HostNameResolver> ownResolver_;
    MessageBoxes* boxes_;
    ConnectionTable table_;
    ConnectionModel model_;
    AddressNames names_;
    QPointer<QTableView> view_;
};
