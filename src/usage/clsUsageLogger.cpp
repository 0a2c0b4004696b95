#include "usage/clsUsageLogger.h"

#include "platform/Clock.h"
#include "usage/UsageLineFormat.h"

#include <cmath>

namespace {

const QByteArray kLineEnd = QByteArrayLiteral("\r\n");
const QString kReadySuffix = QString::fromLatin1(clsUsageLogger::kReadyFileSuffix);

void addAmounts(clsUsageRec& to, const clsUsageRec& from) {
    to.dataReceived += from.dataReceived;
    to.dataSent += from.dataSent;
    to.dataPassthru += from.dataPassthru;
    to.dataTotalUsage += from.dataTotalUsage;
}

/// False when adding the record to its day in the collection would take an amount past the
/// largest finite number: such a line is kept apart rather than summed into infinity.
bool mergesFinite(const Collection2& month, const clsUsageRec& rec) {
    for (const auto& item : month) {
        if (item->usageDate != rec.usageDate)
            continue;
        return std::isfinite(item->dataSent + rec.dataSent) &&
               std::isfinite(item->dataReceived + rec.dataReceived) &&
               std::isfinite(item->dataPassthru + rec.dataPassthru) &&
               std::isfinite(item->dataTotalUsage + rec.dataTotalUsage);
    }
    return true;
}

} // namespace

clsUsageLogger::clsUsageLogger(FileSystem& fs, const Clock& clock, const QString& logFolder)
    : fs_(fs), logFolder_(logFolder), sessionFile_(logFolder + QStringLiteral("/_session.log")) {
    if (!fs_.folderExists(logFolder_))
        fs_.createFolder(logFolder_);
    currentDate_ = clock.today();
    currentYear_ = currentDate_.year();
    loadedYear_ = 0;
    for (auto& m : months_)
        m = std::make_shared<Collection2>();
    recover();
    loadYear(currentYear_);
    startSession(currentDate_);
}

clsUsageLogger::~clsUsageLogger() {
    release();
}

bool clsUsageLogger::isYearFileName(const QString& name) {
    if (!name.endsWith(QStringLiteral(".log")) || name.size() <= 4)
        return false;
    for (qsizetype i = 0; i < name.size() - 4; ++i)
        if (!name.at(i).isDigit())
            return false;
    return true;
}

QString clsUsageLogger::yearFile(int year) const {
    return logFolder_ + QLatin1Char('/') + QString::number(year) + QStringLiteral(".log");
}

void clsUsageLogger::recover() {
    // What the session file holds must be read before anything can rewrite it.
    bool sessionReadable = false;
    const QList<QByteArray> sessionLines = fs_.readLines(sessionFile_, &sessionReadable);
    const bool sessionExists = fs_.fileExists(sessionFile_);
    session_ = fs_.openPersistent(sessionFile_);
    if (sessionExists && !sessionReadable)
        sessionPinned_ = true; // keep what cannot be read for a later start

    // A commit that was cut short after its merged year was stored: that year already holds
    // the session's figures. The session is emptied first and the year put in place second, so
    // that this step, too, can be cut anywhere without counting the session twice.
    QStringList ready;
    for (const QString& name : fs_.listFolder(logFolder_)) {
        const QString path = logFolder_ + QLatin1Char('/') + name;
        if (name.endsWith(QLatin1String(FileSystem::kTempSuffix)))
            fs_.deleteFile(path); // an unfinished temporary file of ours, never a user's file
        else if (name.endsWith(kReadySuffix) && isYearFileName(name.chopped(kReadySuffix.size())))
            ready.append(path);
    }
    // The session's figures are in a stored year only when that year is the session's own:
    // a commit stores the merged year before it empties the session. A line whose day cannot
    // be told was stored with the year as it is.
    clsUsageRec first;
    bool firstRead = false, sessionBlank = true;
    for (const QByteArray& line : sessionLines) {
        if (UsageLineFormat::isBlank(line))
            continue;
        sessionBlank = false;
        firstRead = UsageLineFormat::parseLine(line, first);
        break;
    }
    // A session that cannot be read is taken to be in the stored year, as one whose day cannot
    // be told: it must not be counted a second time once it can be read.
    const bool inReady =
        (sessionExists && !sessionReadable) ||
        (!sessionBlank &&
         (!firstRead || ready.contains(yearFile(first.usageDate.year()) + kReadySuffix)));
    if (!ready.isEmpty()) {
        if (inReady) {
            bool emptied = false;
            if (sessionWritable() && session_->rewrite(QByteArray()))
                emptied = session_->sync();
            else if ((emptied = fs_.deleteFile(sessionFile_))) {
                session_ = fs_.openPersistent(sessionFile_);
                sessionPinned_ = false;
            }
            if (!emptied) {
                sessionPinned_ = true; // leave both for a later start
                return;
            }
        }
        for (const QString& path : ready) {
            // A stored year that cannot be put in place stays: it is its year's newest
            // content, read in place of the year file, and every later commit of that year
            // stores it anew and tries again.
            if (!fs_.replaceFile(path, path.chopped(kReadySuffix.size())))
                notePendingReady(path);
        }
        if (inReady)
            return;
    }

    for (const QByteArray& line : sessionLines) {
        if (UsageLineFormat::isBlank(line))
            continue;
        clsUsageRec rec;
        if (UsageLineFormat::parseLine(line, rec)) {
            sessionRec_ = rec;
            commitSession(rec.usageDate.year());
        } else if (sessionWritable()) {
            // The day cannot be told: keep the line as it is in the current year's file.
            loadYear(currentYear_);
            keptLines_.append(line);
            if (!writeYear(true))
                keptLines_.removeLast();
        }
        break; // only the first record line counts
    }
}

void clsUsageLogger::loadYear(int year) {
    if (loadedYear_ == year || year < 1)
        return;
    if (yearDirty_) {
        // The months about to be replaced are not on disk yet; their figures are in the session
        // file, which must then stay as it is for the next start.
        if (!writeYear(true))
            sessionPinned_ = true;
        yearDirty_ = false;
    }
    // A stored year that could not be put in place holds the year's newest figures.
    const QString ready = yearFile(year) + kReadySuffix;
    const bool fromReady = fs_.fileExists(ready);
    const QString path = fromReady ? ready : yearFile(year);
    bool readable = false;
    const QList<QByteArray> lines = fs_.readLines(path, &readable);
    loadedReadable_ = readable || (!fs_.fileExists(path) && !fs_.folderExists(path));
    if (!readable && loadedReadable_)
        fs_.writeFileAtomic(path, QByteArray()); // a missing year file is created empty
    if (fromReady && readable)
        notePendingReady(ready);

    for (auto& m : months_)
        m = std::make_shared<Collection2>();
    keptLines_.clear();
    for (const QByteArray& line : lines) {
        if (UsageLineFormat::isBlank(line))
            continue;
        auto rec = std::make_shared<clsUsageRec>();
        if (UsageLineFormat::parseLine(line, *rec) && rec->usageDate.year() == year &&
            mergesFinite(*months_[size_t(rec->usageDate.month() - 1)], *rec))
            months_[size_t(rec->usageDate.month() - 1)]->Add(rec);
        else
            keptLines_.append(line); // never merged, never dropped: written back unchanged
    }
    loadedYear_ = year;
}

void clsUsageLogger::startSession(const QDate& date) {
    sessionRec_ = clsUsageRec();
    sessionRec_.usageDate = date;
    sessionDirty_ = false;
    if (sessionWritable() && !yearDirty_)
        session_->rewrite(QByteArray());
}

QByteArray clsUsageLogger::yearContent() const {
    QByteArray out;
    for (const auto& month : months_)
        for (int i = month->Count(); i >= 1; --i)
            out += UsageLineFormat::formatLine(*month->Item(i)) + kLineEnd;
    for (const QByteArray& line : keptLines_)
        out += line + kLineEnd;
    return out;
}

bool clsUsageLogger::writeYear(bool emptiesSession) {
    if (!loadedReadable_ || loadedYear_ == 0)
        return false;
    const QString target = yearFile(loadedYear_);
    if (!emptiesSession || !sessionWritable()) {
        const QString waiting = target + kReadySuffix;
        if (!pendingReady_.contains(waiting))
            return fs_.writeFileAtomic(target, yearContent());
        // A stored year waits beside the file and counts as the year's content: it is stored
        // anew and then put in place, never left behind older than the year file.
        if (!fs_.writeFileAtomic(waiting, yearContent()))
            return false;
        if (fs_.replaceFile(waiting, target))
            pendingReady_.removeAll(waiting);
        return true;
    }
    // Three steps, each safe to be cut after: the merged year stored beside the old one, the
    // session emptied, the merged year put in place. Start-up completes a cut sequence.
    const QString ready = target + kReadySuffix;
    if (!fs_.writeFileAtomic(ready, yearContent()))
        return false;
    if (!session_->rewrite(QByteArray())) {
        fs_.deleteFile(ready);
        return false;
    }
    session_->sync();
    if (fs_.replaceFile(ready, target))
        pendingReady_.removeAll(ready);
    else
        notePendingReady(ready); // retried by flush() and by later commits, else at next start
    return true;
}

void clsUsageLogger::notePendingReady(const QString& ready) {
    if (!pendingReady_.contains(ready))
        pendingReady_.append(ready);
}

bool clsUsageLogger::readyPendingFor(int year) const {
    return pendingReady_.contains(yearFile(year) + kReadySuffix);
}

bool clsUsageLogger::commitSession(int year) {
    if (sessionRec_.usageDate.year() != year)
        return true;
    loadYear(year);
    const QDate date = sessionRec_.usageDate;
    months_[size_t(date.month() - 1)]->Add(std::make_shared<clsUsageRec>(sessionRec_));
    const bool wasDirty = yearDirty_;
    // What the year file on disk lacks once the session is in the months. Figures of a second
    // day that cannot be written either stay in memory: the session file holds one day.
    if (!wasDirty)
        unsaved_ = sessionRec_;
    else if (unsaved_.usageDate == date)
        addAmounts(unsaved_, sessionRec_);
    // While a stored year of this year waits to be put in place, the session file stays empty:
    // the next start installs that year and empties the session.
    if (sessionWritable() && unsaved_.usageDate == date && (wasDirty || sessionDirty_) &&
        !readyPendingFor(year)) {
        // The session file must hold exactly what the year file may lack.
        if (session_->rewrite(UsageLineFormat::formatLine(unsaved_) + kLineEnd))
            sessionDirty_ = false;
    }
    const bool ok = writeYear(true);
    yearDirty_ = !ok;
    startSession(date);
    return ok;
}

void clsUsageLogger::changeDay(const QDate& date) {
    commitSession(currentYear_);
    currentDate_ = date;
    currentYear_ = date.year();
    loadYear(currentYear_);
    startSession(currentDate_);
}

bool clsUsageLogger::flush() {
    for (const QString& ready : QStringList(pendingReady_)) {
        if (fs_.replaceFile(ready, ready.chopped(kReadySuffix.size())))
            pendingReady_.removeAll(ready);
    }
    if (readyPendingFor(currentYear_)) {
        // The session must stay empty while a stored year waits to be put in place: the next
        // start would install that year and empty the session. New figures go into a newly
        // stored year instead.
        if (sessionDirty_)
            commitSession(currentYear_);
        return false;
    }
    if (yearDirty_) {
        if (!writeYear(true)) {
            // Until the year can be written (a full disk, say), the session file holds all it
            // lacks, the running figures included; they stay in memory and are tried again at
            // the next batch.
            if (sessionDirty_ && sessionWritable() && unsaved_.usageDate == sessionRec_.usageDate) {
                clsUsageRec all = unsaved_;
                addAmounts(all, sessionRec_);
                if (session_->rewrite(UsageLineFormat::formatLine(all) + kLineEnd))
                    sessionDirty_ = false;
            }
            return false;
        }
        yearDirty_ = false;
        if (sessionWritable())
            sessionDirty_ = true; // the stored year emptied the session: the running figures
    }
    if (!sessionDirty_)
        return true;
    if (!sessionWritable())
        return false;
    if (!session_->rewrite(UsageLineFormat::formatLine(sessionRec_) + kLineEnd))
        return false;
    sessionDirty_ = false;
    return true;
}

clsUsageRec clsUsageLogger::getDailyUsage(const QDate& date) {
    if (!date.isValid())
        return clsUsageRec();
    if (date.year() != loadedYear_)
        loadYear(date.year());
    clsUsageRec result;
    for (const auto& rec : *months_[size_t(date.month() - 1)]) {
        if (rec->usageDate == date)
            result = *rec;
    }
    if (date == currentDate_) {
        result.dataReceived += sessionRec_.dataReceived;
        result.dataSent += sessionRec_.dataSent;
        result.dataPassthru += sessionRec_.dataPassthru;
        result.dataTotalUsage += sessionRec_.dataTotalUsage;
    }
    return result;
}

std::shared_ptr<Collection2> clsUsageLogger::getMonthlyUsage(int month, int year) {
    if (loadedYear_ != year)
        loadYear(year);
    if (year == currentDate_.year() && month == currentDate_.month()) {
        commitSession(year);
        loadYear(year);
    }
    if (month < 1 || month > 12)
        return nullptr;
    if (year < 1)
        return std::make_shared<Collection2>(); // no file, never the loaded year's records
    return months_[size_t(month - 1)];
}

void clsUsageLogger::release() {
    if (released_)
        return;
    released_ = true;
    const bool committed = commitSession(currentYear_);
    const bool clean = committed && !yearDirty_ && !sessionPinned_ && pendingReady_.isEmpty();
    session_.reset();
    if (clean)
        fs_.deleteFile(sessionFile_);
}
