#pragma once

#include "usage/CoverageLog.h"

#include <QDate>
#include <QList>
#include <QString>

#include <optional>

class FileSystem;

/// The stored usage history as the program itself would read it, read without changing any
/// file, so it can be read while the program runs: every day of every year file (a stored year
/// not yet put in place, "<year>.log.ready", in place of its year file), the running figures of
/// the session file added to their day (unless a stored year of the session's own year already
/// holds them), and each day's coverage figures where the coverage files have them.
class UsageHistory final {
public:
    struct Day {
        QDate date;
        double sent = 0;
        double received = 0;
        double passby = 0;
        double total = 0;
        std::optional<CoverageLog::Day> coverage; ///< none when nothing is known of the day
    };

    /// Reads the log folder (only the files of `onlyYear` when it is above 0). Lines that cannot
    /// be read are left out and counted.
    static UsageHistory read(const FileSystem& fs, const QString& folder, int onlyYear = 0);

    QList<Day> days;         ///< every day with a record or a coverage line, oldest first
    int unreadableLines = 0; ///< record lines left out
    bool folderFound = false;
};
