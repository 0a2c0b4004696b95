#pragma once

#include "platform/FileSystem.h"
#include "usage/Collection2.h"
#include "usage/clsUsageRec.h"

#include <QByteArrayList>
#include <QDate>
#include <QString>
#include <QStringList>

#include <array>
#include <memory>

class Clock;

/// The per-day usage store: one file "<year>.log" per calendar year and the session file
/// "_session.log" in the log folder, TAB-separated record lines ending in CR LF.
///
/// Increments are added in memory only (logUsage); flush() rewrites the session file's one line
/// in place and is meant to run once per batch of frames. Year files are replaced atomically and
/// never rewritten in place. A commit first stores the merged year as "<year>.log.ready", then
/// empties the session file, then renames the ready file over the year file; the start-up
/// recovery installs a ready file left behind and then drops the session, so a figure is never
/// counted twice and a process killed at any moment loses at most the increments added since
/// the last flush.
class clsUsageLogger final {
    Q_DISABLE_COPY_MOVE(clsUsageLogger)

public:
    /// Start-up: creates the folder, recovers what a run that did not end normally left behind,
    /// loads the current year and starts an empty session for today.
    clsUsageLogger(FileSystem& fs, const Clock& clock, const QString& logFolder);
    /// Runs release() unless it already ran.
    ~clsUsageLogger();

    /// Adds one increment to the day it carries (a new date commits the running day first; an
    /// increment without a valid date counts on the running day).
    /// Memory only: no file is touched unless the day changes.
    void logUsage(const clsUsageRec& increment) {
        if (increment.usageDate != currentDate_ && increment.usageDate.isValid())
            changeDay(increment.usageDate);
        sessionRec_.dataReceived += increment.dataReceived;
        sessionRec_.dataSent += increment.dataSent;
        sessionRec_.dataPassthru += increment.dataPassthru;
        sessionRec_.dataTotalUsage += increment.dataTotalUsage;
        sessionDirty_ = true;
    }
    /// Writes the running figures into the session file (one in-place rewrite, only when they
    /// changed). Returns false when they could not be stored.
    bool flush();
    /// The day's complete figures, including the running session.
    clsUsageRec getDailyUsage(const QDate& date);
    /// The live records of a month (the current month is committed first); null outside 1..12,
    /// empty for a year below 1.
    std::shared_ptr<Collection2> getMonthlyUsage(int month, int year);
    /// Shutdown: commits the session and deletes the session file.
    void release();

    /// The folder that holds the files.
    const QString& logFolder() const { return logFolder_; }
    /// Path of the session file.
    const QString& sessionFile() const { return sessionFile_; }
    /// Path of a year's file.
    QString yearFile(int year) const;
    /// True for "<digits>.log", the name of a year file.
    static bool isYearFileName(const QString& name);
    /// What a stored year that could not yet be put in place is called: its year file's name
    /// and this; it holds the year's newest content.
    static constexpr const char* kReadyFileSuffix = ".ready";
    /// The session file's name in the log folder.
    static constexpr const char* kSessionName = "_session.log";
    /// The day being logged.
    QDate currentDate() const { return currentDate_; }

private:
    void changeDay(const QDate& date);
    void recover();
    void loadYear(int year);
    void startSession(const QDate& date);
    bool commitSession(int year);
    bool writeYear(bool emptiesSession);
    QByteArray yearContent() const;
    void notePendingReady(const QString& ready);
    bool readyPendingFor(int year) const;
    bool sessionWritable() const { return session_ && !sessionPinned_; }

    FileSystem& fs_;
    QString logFolder_;
    QString sessionFile_;
    QDate currentDate_;
    int currentYear_ = 0;
    int loadedYear_ = 0;
    bool loadedReadable_ = true; ///< an unreadable year file is never overwritten
    clsUsageRec sessionRec_;
    bool sessionDirty_ = false; ///< sessionRec_ changed since the session file was written
    /// The loaded months hold figures missing from the year file on disk; the session file holds
    /// exactly those figures and is left alone until the year file is written.
    bool yearDirty_ = false;
    /// While yearDirty_: the figures the year file on disk lacks (one day's).
    clsUsageRec unsaved_;
    /// The session file holds figures no longer in memory: it is left for the next start.
    bool sessionPinned_ = false;
    /// Merged years stored as "<year>.log.ready" that could not be renamed over their year
    /// files yet; each is its year's newest content.
    QStringList pendingReady_;
    bool released_ = false;
    std::array<std::shared_ptr<Collection2>, 12> months_;
    QByteArrayList keptLines_; ///< lines of the loaded year that are not records of that year
    std::unique_ptr<PersistentFile> session_;
};
