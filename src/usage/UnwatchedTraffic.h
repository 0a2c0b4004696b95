#pragma once

#include "platform/FileSystem.h"
#include "platform/InterfaceCounters.h"

#include <QDate>
#include <QMap>
#include <QSet>
#include <QString>

#include <memory>
#include <optional>

class CoverageLog;

/// What an adapter carried while the program did not watch it: between two runs in one boot of
/// the machine, and while monitoring was stopped (adapter lost or re-created). Told by the
/// kernel's own counters.
///
/// While an adapter is watched its counters are remembered once a tick in a small state file
/// beside the year files (one line per adapter: boot, adapter, adapter index, rx bytes, tx bytes,
/// rx frames, tx frames; TAB-separated, CR LF), rewritten in place. When monitoring starts, the
/// difference to what was remembered for that adapter in this boot is what went by unwatched; on
/// the first start in a boot, everything the adapter carried since it came up. A re-created
/// adapter (another index) counts from 0, and so does a counter that went backwards.
///
/// Booking a gap takes two files: the state file (the counters the gap reaches) and the
/// coverage file (the day's totals). The state file is written first, with a line "booking TAB
/// date TAB bytes TAB frames" that gives the totals the day must hold; once the coverage file
/// holds them the line goes. A start that finds the line raises the day to those totals (never
/// past them), so a kill between the two writes neither loses the gap nor books it twice.
///
/// The remembered counters only matter within one boot, so they need not survive a power cut;
/// a killed process leaves the last tick's figures (traffic of its last second may then count as
/// not watched too).
class UnwatchedTraffic final {
public:
    /// Bytes and frames carried while not watched; known is false when it cannot be told
    /// (counters or boot unreadable, state file unreadable or not writable).
    struct Gap {
        quint64 bytes = 0;
        quint64 frames = 0;
        bool known = false;
        bool operator==(const Gap&) const = default;
    };
    /// The totals of traffic not watched a day must hold once a gap is booked.
    struct Booking {
        QDate day;
        quint64 bytes = 0;
        quint64 frames = 0;
        bool operator==(const Booking&) const = default;
    };

    UnwatchedTraffic(FileSystem& fs, InterfaceCounters& counters, const QString& folder);
    ~UnwatchedTraffic();
    UnwatchedTraffic(const UnwatchedTraffic&) = delete;
    UnwatchedTraffic& operator=(const UnwatchedTraffic&) = delete;

    /// Monitoring of the adapter starts now: what it carried since it was last watched. The
    /// counters are remembered from now on (written by book() or the next watched()). When
    /// they cannot be read now, the first watched() that reads them tells the gap instead.
    Gap monitoringStarts(const QString& adapter);
    /// The adapter is watched at this moment: remembers its counters (written when changed).
    /// A new adapter of the same name (another index) is not the one watched: nothing changes.
    /// Returns the gap of a start whose counters could not be read then (else nothing).
    Gap watched(const QString& adapter);

    /// Writes the remembered counters with a booking the coverage file does not hold yet;
    /// false when the state could not be written (then the gap must not be booked).
    bool book(const Booking& booking);
    /// The coverage file holds the booking: it is forgotten.
    void booked();
    /// A booking a killed run left unfinished.
    std::optional<Booking> pendingBooking() const { return booking_; }

    /// Books a gap to the day in the coverage file: book(), then the coverage file, then
    /// booked(). True when booked (or left for the next start to finish); a gap of nothing only
    /// writes the counters.
    bool bookInto(CoverageLog& coverage, const QDate& day, const Gap& gap);
    /// Finishes the booking a killed run left (or one whose coverage write failed).
    void finishBooking(CoverageLog& coverage);

    /// Counters from `then` to `now`; a counter below its earlier value counts from 0, and all of
    /// them do when the adapter's index changed.
    static Gap difference(const InterfaceCounts& then, const InterfaceCounts& now);
    /// Path of the state file in a log folder.
    static QString stateFile(const QString& folder);

private:
    void load();
    bool write();

    FileSystem& fs_;
    InterfaceCounters& counters_;
    QString folder_;
    QByteArray boot_;
    bool unusable_ = false; ///< the state file cannot be read or written: gaps are unknown
    QMap<QString, InterfaceCounts> watched_; ///< last counters watched, this boot, per adapter
    QSet<QString> unreadAtStart_;            ///< started while their counters could not be read
    std::optional<Booking> booking_;
    QByteArray written_;
    std::unique_ptr<PersistentFile> file_;
};
