#pragma once

#include "platform/FileSystem.h"

#include <QByteArrayList>
#include <QDate>
#include <QDateTime>
#include <QMap>
#include <QString>

#include <memory>

/// How completely each day was watched, kept beside the year files in "<year>.coverage": one
/// line per day, `date TAB seconds monitored TAB frames lost by the capture TAB bytes carried
/// while not watched TAB frames carried while not watched TAB IPv6 bytes not counted TAB IPv6
/// frames not counted`, CR LF, with the year files' date and number forms; the IPv6 fields are
/// left out while both are 0 and nothing follows them. Missing fields read as 0; fields after
/// these are kept as they are.
///
/// The file holds each day's totals, never increments, and is replaced atomically: a process
/// killed at any moment leaves the figures of the last write, nothing is counted twice. Frames
/// lost are written within 10 s, traffic not watched when it is reported, the seconds monitored
/// at least once a minute, at a day change and at shutdown. In between, every tick rewrites the
/// running totals of the days it changed in place in "coverage.session"; the next start takes
/// from it, field by field, whatever is above the year file (totals only grow, so taking the
/// larger figure twice never counts anything twice). A kill thus loses at most the last tick.
/// A missing file, an unreadable one or a damaged line tells nothing about its days; an
/// unreadable file is never overwritten, a damaged line is kept.
class CoverageLog final {
public:
    /// One day's figures.
    struct Day {
        qint64 monitoredMs = 0;
        quint64 framesLost = 0;
        quint64 unwatchedBytes = 0;  ///< carried by the adapter while not watched
        quint64 unwatchedFrames = 0; ///< carried by the adapter while not watched
        quint64 ipv6Bytes = 0;       ///< IPv6 seen while it was not counted (the setting off)
        quint64 ipv6Frames = 0;      ///< IPv6 frames seen while it was not counted
        QByteArrayList extra;        ///< fields this version does not know, kept as read
        bool operator==(const Day&) const = default;
    };

    /// The seconds monitored are written at least this often.
    static constexpr qint64 kCommitIntervalMs = 60000;
    /// Frames lost are written when reported, or this long after the last such write.
    static constexpr qint64 kLostCommitIntervalMs = 10000;
    /// A gap between ticks longer than this (a suspended machine, a clock set forward) does not
    /// count as monitored.
    static constexpr qint64 kLongestTickMs = 5000;

    /// Takes over what a killed run left in the session file.
    CoverageLog(FileSystem& fs, const QString& folder);
    /// Commits what is not yet written.
    ~CoverageLog();

    /// One housekeeping tick at `now`, on the accounting day `today`: the time since the last
    /// tick counts as monitored when `monitoring`; `framesLost` are those reported now.
    void tick(const QDateTime& now, const QDate& today, bool monitoring, quint64 framesLost);
    /// Raises the day's totals of traffic not watched to at least these (never lowers them), and
    /// writes them. True when the year file holds them.
    bool raiseUnwatched(const QDate& date, quint64 bytes, quint64 frames);
    /// Adds IPv6 traffic seen but not counted to the day; stored with the next tick's writes.
    void addIpv6NotCounted(const QDate& date, quint64 bytes, quint64 frames);
    /// A day's figures as known now, loading its year.
    Day totals(const QDate& date);
    /// Writes the figures not yet stored. False when the file could not be written (the
    /// figures stay in memory for the next commit).
    bool commit();

    /// A day's figures as known now (stored and running).
    Day day(const QDate& date) const { return days_.value(date); }
    /// Path of a year's coverage file.
    QString file(int year) const { return file(folder_, year); }
    static QString file(const QString& folder, int year);
    /// Path of the session file that holds the running totals between commits.
    static QString sessionFile(const QString& folder);

    /// Reads a coverage file: the days whose lines could be read. Missing or unreadable: none.
    /// ok (optional) is false for a file that exists but cannot be read.
    static QMap<QDate, Day> read(const FileSystem& fs, const QString& path, bool* ok = nullptr);
    /// A year's days as the year file and the session file of a running (or killed) program
    /// tell them together: what is known now.
    static QMap<QDate, Day> readWithSession(const FileSystem& fs, const QString& folder, int year);
    /// A day's line without its line end.
    static QByteArray formatLine(const QDate& date, const Day& day);
    /// Reads a day's line; missing counts are 0. False (date and day untouched) when the date
    /// or a count cannot be read.
    static bool parseLine(const QByteArray& line, QDate& date, Day& day);

private:
    void load(int year);
    /// Takes the days of the year from the session file where they are above the year file's.
    void takeFromSession(int year);
    /// Rewrites the session file with the running totals of the days changed since the last
    /// successful commit.
    void writeSession();
    /// The running figures of a day, loading its year first.
    Day& dayOf(const QDate& date);
    static void add(Day& sum, const Day& day);
    /// Raises each figure of the day to the running one where that is larger.
    static void raise(Day& day, const Day& running);

    FileSystem& fs_;
    QString folder_;
    int year_ = 0;
    bool writable_ = true;
    QMap<QDate, Day> days_;
    QByteArrayList kept_; ///< lines that could not be read, written back unchanged
    bool dirty_ = false;
    bool lostToStore_ = false; ///< frames lost not yet in the year file
    QDateTime lastTick_;
    QDateTime lastCommit_;
    QDateTime lastLostCommit_; ///< last write that stored frames lost
    QDate lastDay_;
    std::unique_ptr<PersistentFile> session_;
    QMap<QDate, Day> sessionDays_; ///< days changed since the last successful commit
    QByteArray sessionWritten_;
};
