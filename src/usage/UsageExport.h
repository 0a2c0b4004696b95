#pragma once

#include "usage/UsageHistory.h"

#include <QByteArray>
#include <QDate>
#include <QStringList>

#include <optional>

/// The stored history for spreadsheets and scripts:
///
///     quelmint --export=json|csv [--from=YYYY-MM-DD] [--to=YYYY-MM-DD]
///
/// Per day: date (ISO), sent, received, passby, total (bytes) and, where the coverage files
/// know the day, secondsMonitored, framesLost, bytesNotWatched, framesNotWatched, and where
/// they noted IPv6 traffic that was not counted, ipv6BytesNotCounted and ipv6FramesNotCounted. JSON
/// is
/// {"days": [...]}, with "plan": {"allowance": A, "periodStart": "YYYY-MM-DD", "used": U} after
/// the days when a data plan is set; CSV a header row with the same names and a row per day,
/// oldest first, with empty cells where nothing is known.
class UsageExport final {
public:
    enum class Format { Json, Csv };
    struct Request {
        Format format = Format::Json;
        QDate from; ///< invalid: from the first day
        QDate to;   ///< invalid: to the last day
    };

    /// The export the program's arguments (without the program's name) ask for; nullopt when
    /// they ask for none (then *error is empty) or when they are wrong (then *error says why in
    /// one line).
    static std::optional<Request> fromArguments(const QStringList& arguments, QString* error);

    /// A data plan's current period: its allowance, first day and the bytes received and sent
    /// in it so far.
    struct Plan {
        qint64 allowance = 0;
        QDate periodStart;
        double used = 0;
    };

    /// The plan's figures on `today` from the whole history; nullopt without a plan (an
    /// allowance that is not one).
    static std::optional<Plan> planOf(const UsageHistory& history, qint64 allowance, int startDay,
                                      const QDate& today);
    /// The history's days within the request's dates, in its format (JSON with the plan, when
    /// there is one).
    static QByteArray render(const UsageHistory& history, const Request& request,
                             const std::optional<Plan>& plan = std::nullopt);
};
