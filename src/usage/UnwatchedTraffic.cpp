#include "usage/UnwatchedTraffic.h"

#include "usage/CoverageLog.h"
#include "usage/UsageLineFormat.h"

#include <QByteArrayList>

namespace {
bool readNumber(const QByteArray& text, quint64& value) {
    if (text.isEmpty() || text.size() > 20)
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    bool ok = false;
    value = text.toULongLong(&ok);
    return ok;
}

quint64 since(quint64 then, quint64 now) {
    return now >= then ? now - then : now;
}
} // namespace

UnwatchedTraffic::UnwatchedTraffic(FileSystem& fs, InterfaceCounters& counters,
                                   const QString& folder)
    : fs_(fs), counters_(counters), folder_(folder), boot_(counters.bootId()) {
    load();
}

UnwatchedTraffic::~UnwatchedTraffic() = default;

QString UnwatchedTraffic::stateFile(const QString& folder) {
    return folder + QStringLiteral("/watched.state");
}

UnwatchedTraffic::Gap UnwatchedTraffic::difference(const InterfaceCounts& then,
                                                   const InterfaceCounts& now) {
    if (then.index != 0 && now.index != 0 && then.index != now.index)
        return difference(InterfaceCounts{now.index}, now); // another adapter of the same name
    Gap gap;
    gap.bytes = since(then.rxBytes, now.rxBytes) + since(then.txBytes, now.txBytes);
    gap.frames = since(then.rxFrames, now.rxFrames) + since(then.txFrames, now.txFrames);
    gap.known = true;
    return gap;
}

void UnwatchedTraffic::load() {
    const QString path = stateFile(folder_);
    bool ok = true;
    const QList<QByteArray> lines = fs_.readLines(path, &ok);
    if (!ok && fs_.fileExists(path)) {
        unusable_ = true; // it may remember what we cannot see: left alone
        return;
    }
    for (const QByteArray& line : lines) {
        const QByteArrayList f = line.split('\t');
        if (f.size() == 4 && f[0] == "booking") {
            Booking b;
            b.day = UsageLineFormat::parseDate(f[1]);
            if (b.day.isValid() && readNumber(f[2], b.bytes) && readNumber(f[3], b.frames))
                booking_ = b;
            continue;
        }
        // A line of another boot, or one that cannot be read whole, tells nothing.
        if (f.size() != 7 || boot_.isEmpty() || f[0] != boot_ || f[1].isEmpty())
            continue;
        InterfaceCounts c;
        if (!readNumber(f[2], c.index) || !readNumber(f[3], c.rxBytes) ||
            !readNumber(f[4], c.txBytes) || !readNumber(f[5], c.rxFrames) ||
            !readNumber(f[6], c.txFrames))
            continue;
        watched_.insert(QString::fromUtf8(f[1]), c);
    }
    // A file that can be read but not written (left by another user) would keep old counters
    // for ever: it is replaced. One that cannot be replaced makes every gap unknown.
    if (fs_.fileExists(path)) {
        file_ = fs_.openPersistent(path);
        if (!file_ && fs_.writeFileAtomic(path, lines.join("\r\n") + "\r\n"))
            file_ = fs_.openPersistent(path);
        if (!file_)
            unusable_ = true;
    }
}

UnwatchedTraffic::Gap UnwatchedTraffic::monitoringStarts(const QString& adapter) {
    InterfaceCounts now;
    if (unusable_ || boot_.isEmpty())
        return {};
    if (!counters_.read(adapter, now)) {
        unreadAtStart_.insert(adapter);
        return {};
    }
    unreadAtStart_.remove(adapter);
    // Never watched in this boot: everything since the adapter came up.
    const Gap gap = difference(watched_.value(adapter), now);
    watched_.insert(adapter, now);
    return gap;
}

UnwatchedTraffic::Gap UnwatchedTraffic::watched(const QString& adapter) {
    if (unreadAtStart_.contains(adapter))
        return monitoringStarts(adapter);
    InterfaceCounts now;
    if (unusable_ || boot_.isEmpty() || !counters_.read(adapter, now))
        return {};
    // A new adapter of the same name is not the one that was watched.
    const auto it = watched_.constFind(adapter);
    if (it != watched_.cend() && it->index != 0 && now.index != 0 && it->index != now.index)
        return {};
    watched_.insert(adapter, now);
    write();
    return {};
}

bool UnwatchedTraffic::book(const Booking& booking) {
    booking_ = booking;
    if (write())
        return true;
    booking_.reset();
    return false;
}

void UnwatchedTraffic::booked() {
    booking_.reset();
    write();
}

bool UnwatchedTraffic::bookInto(CoverageLog& coverage, const QDate& day, const Gap& gap) {
    if (gap.bytes == 0 && gap.frames == 0) {
        write(); // the counters watched from now on
        return false;
    }
    const CoverageLog::Day totals = coverage.totals(day);
    if (!book({day, totals.unwatchedBytes + gap.bytes, totals.unwatchedFrames + gap.frames}))
        return false; // not booked: neither twice nor half
    finishBooking(coverage);
    return true;
}

void UnwatchedTraffic::finishBooking(CoverageLog& coverage) {
    if (booking_ && coverage.raiseUnwatched(booking_->day, booking_->bytes, booking_->frames))
        booked();
}

bool UnwatchedTraffic::write() {
    if (unusable_)
        return false;
    // Lines of other boots are dropped: their counters mean nothing any more.
    QByteArray content;
    for (auto it = watched_.cbegin(); it != watched_.cend(); ++it) {
        const QByteArray name = it.key().toUtf8();
        if (name.contains('\t') || name.contains('\r') || name.contains('\n'))
            continue;
        const InterfaceCounts& c = it.value();
        content += boot_ + '\t' + name + '\t' + QByteArray::number(c.index) + '\t' +
                   QByteArray::number(c.rxBytes) + '\t' + QByteArray::number(c.txBytes) + '\t' +
                   QByteArray::number(c.rxFrames) + '\t' + QByteArray::number(c.txFrames) + "\r\n";
    }
    if (booking_)
        content += "booking\t" + UsageLineFormat::formatDate(booking_->day) + '\t' +
                   QByteArray::number(booking_->bytes) + '\t' +
                   QByteArray::number(booking_->frames) + "\r\n";
    if (content == written_)
        return true;
    if (!file_) {
        if (!fs_.createFolder(folder_))
            return false;
        file_ = fs_.openPersistent(stateFile(folder_));
        if (!file_)
            return false;
    }
    if (!file_->rewrite(content))
        return false;
    written_ = content;
    return true;
}
