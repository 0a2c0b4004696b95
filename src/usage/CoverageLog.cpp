#include "usage/CoverageLog.h"

#include "usage/UsageLineFormat.h"

#include <cmath>

namespace {
/// A count as the year files write amounts; true when it reads as a whole number >= 0.
bool readCount(const QByteArray& text, double& value) {
    return UsageLineFormat::readAmount(text.trimmed(), value) && value >= 0 && value < 1.8e19 &&
           std::floor(value) == value;
}
} // namespace

CoverageLog::CoverageLog(FileSystem& fs, const QString& folder) : fs_(fs), folder_(folder) {
    // A killed run's running totals go into their year files first.
    QList<int> years;
    for (const QByteArray& line : fs_.readLines(sessionFile(folder_))) {
        QDate date;
        Day day;
        if (parseLine(line, date, day) && !years.contains(date.year()))
            years << date.year();
    }
    bool stored = true;
    for (int year : years) {
        load(year);
        if (commit())
            continue;
        // Not stored: this run's session keeps those days until they are.
        stored = false;
        for (const QByteArray& line : fs_.readLines(sessionFile(folder_))) {
            QDate date;
            Day day;
            if (parseLine(line, date, day) && date.year() == year)
                sessionDays_[date] = days_.value(date);
        }
    }
    // All of it is in the year files now: the session starts empty.
    if (stored && fs_.fileExists(sessionFile(folder_)) &&
        !fs_.readLines(sessionFile(folder_)).isEmpty()) {
        session_ = fs_.openPersistent(sessionFile(folder_));
        if (session_)
            session_->rewrite(QByteArray());
    }
}

CoverageLog::~CoverageLog() {
    // Everything stored: the session has nothing left to give.
    if (commit() && sessionDays_.isEmpty() && session_ && !sessionWritten_.isEmpty() &&
        session_->rewrite(QByteArray()))
        sessionWritten_.clear();
}

QString CoverageLog::sessionFile(const QString& folder) {
    return folder + QStringLiteral("/coverage.session");
}

QString CoverageLog::file(const QString& folder, int year) {
    return QStringLiteral("%1/%2.coverage").arg(folder).arg(year);
}

QByteArray CoverageLog::formatLine(const QDate& date, const Day& day) {
    QByteArrayList fields{UsageLineFormat::formatDate(date),
                          UsageLineFormat::formatAmount(double(day.monitoredMs / 1000)),
                          UsageLineFormat::formatAmount(double(day.framesLost)),
                          UsageLineFormat::formatAmount(double(day.unwatchedBytes)),
                          UsageLineFormat::formatAmount(double(day.unwatchedFrames))};
    // A day without IPv6 not counted keeps the shorter line of earlier versions.
    if (day.ipv6Bytes > 0 || day.ipv6Frames > 0 || !day.extra.isEmpty())
        fields << UsageLineFormat::formatAmount(double(day.ipv6Bytes))
               << UsageLineFormat::formatAmount(double(day.ipv6Frames));
    fields += day.extra;
    return fields.join('\t');
}

bool CoverageLog::parseLine(const QByteArray& line, QDate& date, Day& day) {
    const QByteArrayList fields = line.split('\t');
    const QDate d = UsageLineFormat::parseDate(fields.value(0).trimmed());
    if (!d.isValid())
        return false;
    constexpr int kCounts = 6;
    double counts[kCounts] = {0, 0, 0, 0, 0, 0};
    for (int i = 0; i < kCounts; ++i)
        if (fields.size() > i + 1 && !readCount(fields[i + 1], counts[i]))
            return false;
    if (counts[0] > 9e15) // seconds beyond what milliseconds in 64 bits hold
        return false;
    date = d;
    day.monitoredMs = qint64(counts[0]) * 1000;
    day.framesLost = quint64(counts[1]);
    day.unwatchedBytes = quint64(counts[2]);
    day.unwatchedFrames = quint64(counts[3]);
    day.ipv6Bytes = quint64(counts[4]);
    day.ipv6Frames = quint64(counts[5]);
    day.extra = fields.mid(kCounts + 1);
    return true;
}

QMap<QDate, CoverageLog::Day> CoverageLog::read(const FileSystem& fs, const QString& path,
                                                bool* ok) {
    QMap<QDate, Day> days;
    bool readable = true;
    const QList<QByteArray> lines = fs.readLines(path, &readable);
    if (ok != nullptr)
        *ok = readable || !fs.fileExists(path);
    for (const QByteArray& line : lines) {
        QDate date;
        Day day;
        if (UsageLineFormat::isBlank(line) || !parseLine(line, date, day))
            continue;
        add(days[date], day); // a day written twice by hand: both lines count
    }
    return days;
}

QMap<QDate, CoverageLog::Day> CoverageLog::readWithSession(const FileSystem& fs,
                                                           const QString& folder, int year) {
    QMap<QDate, Day> days = read(fs, file(folder, year));
    for (const QByteArray& line : fs.readLines(sessionFile(folder))) {
        QDate date;
        Day running;
        if (parseLine(line, date, running) && date.year() == year)
            raise(days[date], running);
    }
    return days;
}

void CoverageLog::raise(Day& day, const Day& running) {
    day.monitoredMs = qMax(day.monitoredMs, running.monitoredMs);
    day.framesLost = qMax(day.framesLost, running.framesLost);
    day.unwatchedBytes = qMax(day.unwatchedBytes, running.unwatchedBytes);
    day.unwatchedFrames = qMax(day.unwatchedFrames, running.unwatchedFrames);
    day.ipv6Bytes = qMax(day.ipv6Bytes, running.ipv6Bytes);
    day.ipv6Frames = qMax(day.ipv6Frames, running.ipv6Frames);
}

void CoverageLog::load(int year) {
    year_ = year;
    days_.clear();
    kept_.clear();
    dirty_ = false;
    const QString path = file(year);
    bool readable = true;
    const QList<QByteArray> lines = fs_.readLines(path, &readable);
    // An unreadable file may hold days we cannot see: it is left alone.
    writable_ = readable || !fs_.fileExists(path);
    for (const QByteArray& line : lines) {
        QDate date;
        Day day;
        if (UsageLineFormat::isBlank(line))
            continue;
        if (!parseLine(line, date, day) || date.year() != year) {
            kept_ << line;
            continue;
        }
        add(days_[date], day);
    }
    takeFromSession(year);
}

void CoverageLog::takeFromSession(int year) {
    for (const QByteArray& line : fs_.readLines(sessionFile(folder_))) {
        QDate date;
        Day running;
        if (!parseLine(line, date, running) || date.year() != year)
            continue;
        Day& day = days_[date];
        const Day before = day;
        raise(day, running);
        if (!(day == before))
            dirty_ = true;
    }
}

void CoverageLog::writeSession() {
    QByteArray content;
    for (auto it = sessionDays_.cbegin(); it != sessionDays_.cend(); ++it)
        content += formatLine(it.key(), it.value()) + "\r\n";
    if (content == sessionWritten_)
        return;
    if (!session_) {
        if (!fs_.createFolder(folder_))
            return;
        session_ = fs_.openPersistent(sessionFile(folder_));
        if (!session_)
            return;
    }
    if (session_->rewrite(content))
        sessionWritten_ = content;
}

void CoverageLog::add(Day& sum, const Day& day) {
    sum.monitoredMs += day.monitoredMs;
    sum.framesLost += day.framesLost;
    sum.unwatchedBytes += day.unwatchedBytes;
    sum.unwatchedFrames += day.unwatchedFrames;
    sum.ipv6Bytes += day.ipv6Bytes;
    sum.ipv6Frames += day.ipv6Frames;
    if (sum.extra.isEmpty())
        sum.extra = day.extra;
}

CoverageLog::Day& CoverageLog::dayOf(const QDate& date) {
    if (date.year() != year_) {
        commit(); // a failed commit keeps the old year's days in the session
        load(date.year());
    }
    return days_[date];
}

CoverageLog::Day CoverageLog::totals(const QDate& date) {
    if (!date.isValid())
        return {};
    if (date.year() != year_) {
        commit();
        load(date.year());
    }
    return days_.value(date);
}

bool CoverageLog::raiseUnwatched(const QDate& date, quint64 bytes, quint64 frames) {
    if (!date.isValid())
        return false;
    Day& day = dayOf(date);
    if (day.unwatchedBytes < bytes || day.unwatchedFrames < frames) {
        day.unwatchedBytes = qMax(day.unwatchedBytes, bytes);
        day.unwatchedFrames = qMax(day.unwatchedFrames, frames);
        dirty_ = true;
        sessionDays_[date] = day;
    }
    if (commit())
        return true;
    writeSession();
    return false;
}

void CoverageLog::addIpv6NotCounted(const QDate& date, quint64 bytes, quint64 frames) {
    if (!date.isValid() || (bytes == 0 && frames == 0))
        return;
    Day& day = dayOf(date);
    day.ipv6Bytes += bytes;
    day.ipv6Frames += frames;
    dirty_ = true;
    sessionDays_[date] = day;
}

void CoverageLog::tick(const QDateTime& now, const QDate& today, bool monitoring,
                       quint64 framesLost) {
    if (!today.isValid())
        return;
    Day& day = dayOf(today);
    const qint64 elapsed = lastTick_.isValid() ? lastTick_.msecsTo(now) : 0;
    lastTick_ = now;
    if (!lastCommit_.isValid())
        lastCommit_ = now;
    if (monitoring && elapsed > 0 && elapsed <= kLongestTickMs) {
        day.monitoredMs += elapsed;
        dirty_ = true;
    }
    day.framesLost += framesLost;
    if (framesLost > 0)
        dirty_ = true;
    if (dirty_)
        sessionDays_[today] = day;
    if (framesLost > 0)
        lostToStore_ = true;
    // Frames lost go to the year file soon (at most every 10 s: a machine that loses frames is
    // busy enough without a flush each second); the session holds them meanwhile.
    const qint64 sinceCommit = lastCommit_.msecsTo(now);
    const bool lostDue =
        lostToStore_ &&
        (!lastLostCommit_.isValid() || qAbs(lastLostCommit_.msecsTo(now)) >= kLostCommitIntervalMs);
    const bool storingLost = lostToStore_;
    if (dirty_ &&
        (lostDue || sinceCommit >= kCommitIntervalMs || sinceCommit < 0 || today != lastDay_))
        if (commit()) {
            lastCommit_ = now;
            if (storingLost)
                lastLostCommit_ = now;
        }
    writeSession();
    lastDay_ = today;
}

bool CoverageLog::commit() {
    if (!dirty_ || year_ == 0)
        return true;
    if (!writable_)
        return false;
    QByteArray content;
    for (auto it = days_.cbegin(); it != days_.cend(); ++it)
        content += formatLine(it.key(), it.value()) + "\r\n";
    for (const QByteArray& line : kept_)
        content += line + "\r\n";
    if (!fs_.createFolder(folder_) || !fs_.writeFileAtomic(file(year_), content))
        return false;
    dirty_ = false;
    lostToStore_ = false;
    // The year file holds them now; the session keeps only what other years could not store.
    for (auto it = sessionDays_.begin(); it != sessionDays_.end();)
        it = it.key().year() == year_ ? sessionDays_.erase(it) : std::next(it);
    return true;
}
