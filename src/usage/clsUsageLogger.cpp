#include "usage/clsUsageLogger.h"

#include "platform/Clock.h"
#include "usage/UsageLineFormat.h"

namespace {

const QByteArray kLineEnd = QByteArrayLiteral("\r\n");
const QString kReadySuffix = QStringLiteral(".ready");

/// True for "<digits>.log", the name of a year file.
bool isYearFileName(const QString& name) {
    if (!name.endsWith(QStringLiteral(".log")) || name.size() <= 4)
        return false;
    for (qsizetype i = 0; i < name.size() - 4; ++i)
        if (!name.at(i).isDigit())
            return false;
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
        if (name.endsWith(QStringLiteral(".tmp")))
            fs_.deleteFile(path); // an unfinished temporary file
        else if (name.endsWith(kReadySuffix) && isYearFileName(name.chopped(kReadySuffix.size())))
            ready.append(path);
    }
    if (!ready.isEmpty()) {
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
        for (const QString& path : ready) {
            // A year that cannot be put in place is set aside with its figures, so that it
            // does not empty the session of every later start.
            if (!fs_.replaceFile(path, path.chopped(kReadySuffix.size())))
                fs_.replaceFile(path, path + QStringLiteral("-unplaced"));
        }
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
    const QString path = yearFile(year);
    bool readable = false;
    const QList<QByteArray> lines = fs_.readLines(path, &readable);
    loadedReadable_ = readable || (!fs_.fileExists(path) && !fs_.folderExists(path));
    if (!readable && loadedReadable_)
        fs_.writeFileAtomic(path, QByteArray()); // a missing year file is created empty

    for (auto& m : months_)
        m = std::make_shared<Collection2>();
    keptLines_.clear();
    for (const QByteArray& line : lines) {
        if (UsageLineFormat::isBlank(line))
            continue;
        auto rec = std::make_shared<clsUsageRec>();
        if (UsageLineFormat::parseLine(line, *rec) && rec->usageDate.year() == year)
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
    if (!emptiesSession || !sessionWritable())
        return fs_.writeFileAtomic(target, yearContent());
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
    readyFile_ = ready;
    readyPending_ = !fs_.replaceFile(ready, target); // retried by flush(), else at next start
    return true;
}

bool clsUsageLogger::commitSession(int year) {
    if (sessionRec_.usageDate.year() != year)
        return true;
    loadYear(year);
    const QDate date = sessionRec_.usageDate;
    months_[size_t(date.month() - 1)]->Add(std::make_shared<clsUsageRec>(sessionRec_));
    const bool wasDirty = yearDirty_;
    if (!wasDirty && sessionWritable() && sessionDirty_) {
        // The session file must hold exactly what the year file may lack.
        if (session_->rewrite(UsageLineFormat::formatLine(sessionRec_) + kLineEnd))
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
    if (readyPending_) {
        // The session must stay empty while a stored year waits to be put in place: the next
        // start would install that year and drop the session.
        if (!fs_.replaceFile(readyFile_, readyFile_.chopped(kReadySuffix.size())))
            return false;
        readyPending_ = false;
    }
    if (yearDirty_) {
        if (!writeYear(true))
            return false;
        yearDirty_ = false;
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
    const bool clean = committed && !yearDirty_ && !sessionPinned_ && !readyPending_;
    session_.reset();
    if (clean)
        fs_.deleteFile(sessionFile_);
}
