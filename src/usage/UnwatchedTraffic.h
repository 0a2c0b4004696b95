#pragma once

#include "platform/FileSystem.h"
#include "platform/InterfaceCounters.h"

#include <QMap>
#include <QString>

#include <memory>

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
/// The remembered counters only matter within one boot, so they need not survive a power cut;
/// a killed process leaves the last tick's figures.
class UnwatchedTraffic final {
public:
    /// Bytes and frames carried while not watched; known is false when it cannot be told
    /// (counters or boot unreadable, state file unreadable).
    struct Gap {
        quint64 bytes = 0;
        quint64 frames = 0;
        bool known = false;
        bool operator==(const Gap&) const = default;
    };

    UnwatchedTraffic(FileSystem& fs, InterfaceCounters& counters, const QString& folder);
    ~UnwatchedTraffic();
    UnwatchedTraffic(const UnwatchedTraffic&) = delete;
    UnwatchedTraffic& operator=(const UnwatchedTraffic&) = delete;

    /// Monitoring of the adapter starts now: what it carried since it was last watched.
    /// Remembers the counters as watched from now on.
    Gap monitoringStarts(const QString& adapter);
    /// The adapter is watched at this moment: remembers its counters (written when changed).
    /// A new adapter of the same name (another index) is not the one watched: nothing changes.
    void watched(const QString& adapter);

    /// Counters from `then` to `now`; a counter below its earlier value counts from 0, and all of
    /// them do when the adapter's index changed.
    static Gap difference(const InterfaceCounts& then, const InterfaceCounts& now);
    /// Path of the state file in a log folder.
    static QString stateFile(const QString& folder);

private:
    void load();
    void write();

    FileSystem& fs_;
    InterfaceCounters& counters_;
    QString folder_;
    QByteArray boot_;
    bool unreadable_ = false; ///< the state file exists but cannot be read: gaps are unknown
    QMap<QString, InterfaceCounts> watched_; ///< last counters watched, this boot, per adapter
    QByteArray written_;
    std::unique_ptr<PersistentFile> file_;
};
