#pragma once

#include "usage/UsageHistory.h"

#include <QDate>
#include <QString>

class FileSystem;

/// A metered plan: an allowance of bytes received and sent (pass-by does not count) per period
/// that begins on the same day of every month (1 to 28, so that every month has it).
class DataPlan final {
public:
    /// Largest allowance taken as meant (1 PiB); anything above is no plan.
    static constexpr qint64 kLargestAllowance = qint64(1) << 50;
    static constexpr int kLatestStartDay = 28;

    struct Period {
        QDate first; ///< the start day
        QDate last;  ///< the day before the next start day
        bool operator==(const Period&) const = default;
    };
    /// How full the period is.
    enum class Level { Below, Eighty, Full };

    /// True when an allowance means a plan (0 is none; negative or absurd ones are not).
    static bool validAllowance(qint64 bytes) { return bytes > 0 && bytes <= kLargestAllowance; }
    /// True when a start day can be kept as it is.
    static bool validStartDay(int day) { return day >= 1 && day <= kLatestStartDay; }

    /// The period holding `today`.
    static Period periodOf(const QDate& today, int startDay);
    /// Days left in the period, today included.
    static int daysLeft(const QDate& today, int startDay);
    /// Bytes received and sent on the period's days of the history (today's row holds the
    /// running figures).
    static double used(const QList<UsageHistory::Day>& days, const Period& period);
    static Level level(double used, qint64 allowance);
    /// "Plan: 41.2 G of 50.0 G used, 9 days left".
    static QString text(double used, qint64 allowance, int daysLeft);
    /// An amount with one decimal in the largest of B, K, M, G that keeps it at 1 or more.
    static QString amount(double bytes);
};

/// Which plan warnings were given in which period, kept in "plan.state" in the log folder, so
/// that a restart does not give them again: each (80 % and 100 %) once per period.
class PlanWarnings final {
public:
    PlanWarnings(FileSystem& fs, const QString& folder);
    /// The warning to give now for the period and level, if any (Below when none is due); a
    /// warning returned is remembered as given. Reaching 100 % at once gives the 100 % one only.
    DataPlan::Level due(const DataPlan::Period& period, DataPlan::Level level);

private:
    FileSystem& fs_;
    QString path_;
};
