#pragma once

#include "capture/PacketDecoder.h"
#include "capture/TrafficCounters.h"
#include "connections/clsPacketInfo.h"
#include "platform/CaptureTypes.h"
#include "usage/clsUsageRec.h"

#include <QDate>
#include <QStringList>

#include <functional>
#include <vector>

class MessageBoxes;

/// The frame path: decodes each captured frame, classifies its direction, gates it by protocol
/// and, for a counted frame, in this order: listPacket(entry), both counter sets (Total row, then
/// the direction row), packetCount += 1, logUsage(record), updateStats(false).
///
/// Wiring (the main window and the replay tool do the same):
/// @code
/// FrameHandler frames(&boxes);
/// frames.setLocalAddresses(adapterAddresses); // "" entries match nothing
/// frames.listPacket = [&](const clsPacketInfo& p) { table.add(p); }; // optional
/// frames.logUsage = [&](const clsUsageRec& r) { usage.logUsage(r); }; // optional
/// frames.updateStats = [&](bool force) { statistics.updateStats(force); }; // marks stale
/// frames.batchEnd = [&] { statistics.flush(); }; // refreshes once per batch
/// frames.captureAborted = [&] { onCaptureAborted(); };
/// capture.setEvents(&frames);
/// @endcode
/// Hooks run on the GUI thread inside OnPacket and must not refresh widgets per frame.
/// An exception thrown by a hook ends that frame's handling (what was counted stays counted)
/// and is reported as "Error in OnPacket:" CR LF what(), at most once per batch and never while
/// another box is open.
class FrameHandler final : public CaptureEvents {
    Q_DISABLE_COPY_MOVE(FrameHandler)

public:
    /// boxes may be null (errors are then dropped).
    explicit FrameHandler(MessageBoxes* boxes = nullptr);

    /// Handles one frame.
    void OnPacket(const Packet& packet) override;
    /// Calls batchEnd and lets the next batch report an error again.
    void OnBatchEnd() override;
    /// Calls captureAborted.
    void OnCaptureAborted() override;

    /// Sets the local addresses (dotted quads, in the adapter's order); entries that are not
    /// canonical dotted quads (among them the empty entry of an adapter without address) match
    /// nothing.
    void setLocalAddresses(const QStringList& addresses);
    /// The local addresses as given.
    const QStringList& localAddresses() const { return localAddresses_; }

    /// Direction of a frame: the first local address equal to the source (upload) or else the
    /// destination (download) decides; no match is pass-by.
    Direction classify(quint32 sourceAddress, quint32 destinationAddress) const;
    /// True when frames of this IP protocol are counted under the current switches.
    bool passesGate(quint8 protocol) const;

    /// Parses a canonical dotted quad ("10.0.0.1", no leading zeros); false otherwise.
    static bool parseAddress(const QString& text, quint32* address);
    /// Dotted-quad text of an address.
    static QString addressText(quint32 address);

    TrafficCounters counters;          ///< the statistics counters, zeroed by the reset
    TrafficCounters stopwatchCounters; ///< the stopwatch's set, never reset
    double packetCount = 0;            ///< counted frames since the reset

    bool gStationShuttingDown = false; ///< set when the main window unloads: frames are ignored
    bool displayTCP = true;            ///< count TCP (protocol 6)
    bool displayUDP = true;            ///< count UDP (protocol 17)
    bool displayICMP = true;           ///< count ICMP and IGMP (protocols 1 and 2)
    QDate currentDay;                  ///< the accounting day given to usage records

    /// Display name of an address for the packet list; dotted text when unset.
    std::function<QString(quint32 address)> getNameFromAddress;
    /// Receives the entry of each counted frame; when unset no entry is built.
    std::function<void(const clsPacketInfo& entry)> listPacket;
    /// Receives the usage increment of each counted frame.
    std::function<void(const clsUsageRec& record)> logUsage;
    /// Called with false after each counted frame.
    std::function<void(bool force)> updateStats;
    /// Called once at the end of each batch of frames.
    std::function<void()> batchEnd;
    /// Called when capture ends without being asked.
    std::function<void()> captureAborted;

private:
    struct LocalAddress {
        quint32 address = 0;
        bool valid = false;
    };

    void handle(const Packet& packet);
    void report(const QString& procedure, const QString& description, bool repeating);

    MessageBoxes* boxes_;
    QStringList localAddresses_;
    std::vector<LocalAddress> parsedLocal_;
    bool reportedThisBatch_ = false;
};
