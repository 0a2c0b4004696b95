#include "usage/UsageExport.h"

#include "usage/DataPlan.h"

#include <cmath>

namespace {

QByteArray number(double v) {
    // Byte counts are whole numbers; anything else keeps every digit it has.
    if (v == std::floor(v) && std::fabs(v) < 1e18)
        return QByteArray::number(v, 'f', 0);
    return QByteArray::number(v, 'g', 17);
}

QDate isoDate(const QString& text) {
    const QDate date = QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
    return date.isValid() && date.toString(QStringLiteral("yyyy-MM-dd")) == text ? date : QDate();
}

const char* const kFields[] = {"date",
                               "sent",
                               "received",
                               "passby",
                               "total",
                               "secondsMonitored",
                               "framesLost",
                               "bytesNotWatched",
                               "framesNotWatched",
                               "ipv6BytesNotCounted",
                               "ipv6FramesNotCounted"};

/// The day's values in the order of kFields; the coverage ones empty when nothing is known, the
/// IPv6 ones also when the coverage line has none (written only once IPv6 was seen uncounted).
QList<QByteArray> values(const UsageHistory::Day& d) {
    QList<QByteArray> v = {d.date.toString(Qt::ISODate).toLatin1(), number(d.sent),
                           number(d.received), number(d.passby), number(d.total)};
    if (d.coverage) {
        v << QByteArray::number(d.coverage->monitoredMs / 1000)
          << QByteArray::number(d.coverage->framesLost)
          << QByteArray::number(d.coverage->unwatchedBytes)
          << QByteArray::number(d.coverage->unwatchedFrames);
    } else {
        v << QByteArray() << QByteArray() << QByteArray() << QByteArray();
    }
    if (d.coverage && (d.coverage->ipv6Bytes > 0 || d.coverage->ipv6Frames > 0))
        v << QByteArray::number(d.coverage->ipv6Bytes)
          << QByteArray::number(d.coverage->ipv6Frames);
    else
        v << QByteArray() << QByteArray();
    return v;
}

} // namespace

std::optional<UsageExport::Request> UsageExport::fromArguments(const QStringList& arguments,
                                                               QString* error) {
    error->clear();
    bool asked = false;
    for (const QString& a : arguments)
        asked = asked || a.startsWith(QLatin1String("--export"));
    if (!asked)
        return std::nullopt;
    Request request;
    bool haveFormat = false;
    for (const QString& a : arguments) {
        const QString value = a.section(QLatin1Char('='), 1);
        if (a == QLatin1String("--export")) {
            *error = QStringLiteral("--export needs a format: --export=json or --export=csv");
            return std::nullopt;
        }
        if (a.startsWith(QLatin1String("--export="))) {
            haveFormat = value == QLatin1String("json") || value == QLatin1String("csv");
            if (!haveFormat) {
                *error = QStringLiteral("unknown export format \"%1\" (json or csv)").arg(value);
                return std::nullopt;
            }
            request.format = value == QLatin1String("csv") ? Format::Csv : Format::Json;
        } else if (a.startsWith(QLatin1String("--from=")) || a.startsWith(QLatin1String("--to="))) {
            const QDate date = isoDate(value);
            if (!date.isValid()) {
                *error = QStringLiteral("%1 is not a date of the form YYYY-MM-DD")
                             .arg(a.section(QLatin1Char('='), 0, 0));
                return std::nullopt;
            }
            (a.startsWith(QLatin1String("--from=")) ? request.from : request.to) = date;
        } else {
            *error = QStringLiteral("unknown argument \"%1\"").arg(a.left(40));
            return std::nullopt;
        }
    }
    if (!haveFormat) {
        *error = QStringLiteral("--export needs a format: --export=json or --export=csv");
        return std::nullopt;
    }
    if (request.from.isValid() && request.to.isValid() && request.from > request.to) {
        *error = QStringLiteral("--from is after --to");
        return std::nullopt;
    }
    return request;
}

std::optional<UsageExport::Plan> UsageExport::planOf(const UsageHistory& history, qint64 allowance,
                                                     int startDay, const QDate& today) {
    if (!DataPlan::validAllowance(allowance) || !today.isValid())
        return std::nullopt;
    const DataPlan::Period period = DataPlan::periodOf(today, startDay);
    return Plan{allowance, period.first, DataPlan::used(history.days, period)};
}

QByteArray UsageExport::render(const UsageHistory& history, const Request& request,
                               const std::optional<Plan>& plan) {
    QList<UsageHistory::Day> days;
    for (const UsageHistory::Day& d : history.days)
        if ((!request.from.isValid() || d.date >= request.from) &&
            (!request.to.isValid() || d.date <= request.to))
            days.append(d);
    QByteArray out;
    if (request.format == Format::Csv) {
        QByteArrayList header;
        for (const char* f : kFields)
            header << f;
        out += header.join(',') + '\n';
        for (const UsageHistory::Day& d : days)
            out += values(d).join(',') + '\n';
        return out;
    }
    out += "{\"days\": [";
    for (qsizetype i = 0; i < days.size(); ++i) {
        const QList<QByteArray> v = values(days[i]);
        out += i == 0 ? "\n  {" : ",\n  {";
        for (qsizetype f = 0; f < v.size(); ++f) {
            if (v[f].isEmpty())
                continue; // nothing known
            out += f == 0 ? "" : ", ";
            out += '"' + QByteArray(kFields[f]) + "\": ";
            out += f == 0 ? '"' + v[f] + '"' : v[f];
        }
        out += '}';
    }
    out += days.isEmpty() ? "]" : "\n]";
    if (plan)
        out += ", \"plan\": {\"allowance\": " + QByteArray::number(plan->allowance) +
               ", \"periodStart\": \"" + plan->periodStart.toString(Qt::ISODate).toLatin1() +
               "\", \"used\": " + number(plan->used) + '}';
    out += "}\n";
    return out;
}
