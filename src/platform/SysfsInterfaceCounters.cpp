#include "platform/SysfsInterfaceCounters.h"

#include <QFile>

namespace {
/// The first line of a small file, without white space; empty when it cannot be read.
QByteArray firstLine(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readLine(256).trimmed();
}

bool readCounter(const QString& path, quint64& value) {
    const QByteArray text = firstLine(path);
    if (text.isEmpty())
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    bool ok = false;
    const quint64 v = text.toULongLong(&ok);
    if (ok)
        value = v;
    return ok;
}

/// An adapter name never holds a slash; one that does must not reach outside the folder.
bool isAdapterName(const QString& adapter) {
    return !adapter.isEmpty() && !adapter.contains(QLatin1Char('/')) &&
           adapter != QLatin1String(".") && adapter != QLatin1String("..");
}

/// Fastest link speed taken as real, in Mbit/s; drivers report -1 or all bits set when unknown.
constexpr quint64 kFastestLinkMbps = 10'000'000;
} // namespace

SysfsInterfaceCounters::SysfsInterfaceCounters(QString netClassFolder, QString bootIdFile)
    : netClassFolder_(std::move(netClassFolder)), bootIdFile_(std::move(bootIdFile)) {}

QByteArray SysfsInterfaceCounters::bootId() const {
    return firstLine(bootIdFile_);
}

bool SysfsInterfaceCounters::read(const QString& adapter, InterfaceCounts& counts) const {
    if (!isAdapterName(adapter))
        return false;
    const QString folder =
        netClassFolder_ + QLatin1Char('/') + adapter + QStringLiteral("/statistics/");
    InterfaceCounts c;
    if (!readCounter(folder + QStringLiteral("rx_bytes"), c.rxBytes) ||
        !readCounter(folder + QStringLiteral("tx_bytes"), c.txBytes) ||
        !readCounter(folder + QStringLiteral("rx_packets"), c.rxFrames) ||
        !readCounter(folder + QStringLiteral("tx_packets"), c.txFrames))
        return false;
    // The index tells a re-created adapter from the old one; an adapter without one is read
    // all the same.
    if (!readCounter(netClassFolder_ + QLatin1Char('/') + adapter + QStringLiteral("/ifindex"),
                     c.index))
        c.index = 0;
    counts = c;
    return true;
}

std::optional<qint64> SysfsInterfaceCounters::linkSpeedMbps(const QString& adapter) const {
    // Reading fails while the link is down; a negative or absurd figure means unknown.
    quint64 mbps = 0;
    if (!isAdapterName(adapter) ||
        !readCounter(netClassFolder_ + QLatin1Char('/') + adapter + QStringLiteral("/speed"), mbps) ||
        mbps == 0 || mbps > kFastestLinkMbps)
        return std::nullopt;
    return qint64(mbps);
}
