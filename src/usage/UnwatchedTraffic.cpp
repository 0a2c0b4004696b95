#include "usage/UnwatchedTraffic.h"

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
    if (!ok) {
        unreadable_ = fs_.fileExists(path);
        return;
    }
    for (const QByteArray& line : lines) {
        // A line of another boot, or one that cannot be read whole, tells nothing.
        const QByteArrayList f = line.split('\t');
        if (f.size() != 7 || boot_.isEmpty() || f[0] != boot_ || f[1].isEmpty())
            continue;
        InterfaceCounts c;
        if (!readNumber(f[2], c.index) || !readNumber(f[3], c.rxBytes) ||
            !readNumber(f[4], c.txBytes) || !readNumber(f[5], c.rxFrames) ||
            !readNumber(f[6], c.txFrames))
            continue;
        watched_.insert(QString::fromUtf8(f[1]), c);
    }
}

UnwatchedTraffic::Gap UnwatchedTraffic::monitoringStarts(const QString& adapter) {
    InterfaceCounts now;
    if (boot_.isEmpty() || !counters_.read(adapter, now))
        return {};
    Gap gap;
    if (!unreadable_) {
        // Never watched in this boot: everything since the adapter came up.
        gap = difference(watched_.value(adapter), now);
    }
    watched_.insert(adapter, now);
    write();
    return gap;
}

void UnwatchedTraffic::watched(const QString& adapter) {
    InterfaceCounts now;
    if (boot_.isEmpty() || !counters_.read(adapter, now))
        return;
    // A new adapter of the same name is not the one that was watched.
    const auto it = watched_.constFind(adapter);
    if (it != watched_.cend() && it->index != 0 && now.index != 0 && it->index != now.index)
        return;
    watched_.insert(adapter, now);
    write();
}

void UnwatchedTraffic::write() {
    // Lines of other boots are dropped: their counters mean nothing any more.
    QByteArray content;
    for (auto it = watched_.cbegin(); it != watched_.cend(); ++it) {
        const QByteArray name = it.key().toUtf8();
        if (name.contains('\t') || name.contains('\r') || name.contains('\n'))
            continue;
        const InterfaceCounts& c = it.value();
        content += boot_ + '\t' + name + '\t' + QByteArray::number(c.index) + '\t' +
                   QByteArray::number(c.rxBytes) + '\t' +
                   QByteArray::number(c.txBytes) + '\t' + QByteArray::number(c.rxFrames) + '\t' +
                   QByteArray::number(c.txFrames) + "\r\n";
    }
    if (content == written_)
        return;
    if (!file_) {
        // An unreadable file is left as it is; the first writable start takes over.
        if (unreadable_ || !fs_.createFolder(folder_))
            return;
        file_ = fs_.openPersistent(stateFile(folder_));
        if (!file_)
            return;
    }
    if (file_->rewrite(content))
        written_ = content;
}
