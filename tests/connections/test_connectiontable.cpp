// The connection table and its list model: folding packets into directed entries, the
// highlight and removal deadlines on a fake clock (the wrap of the tick count included), the
// freeze, the reset, the size limit and what the model tells its views per batch.

#include "connections/ConnectionModel.h"
#include "connections/ConnectionTable.h"
#include "platform/fakes/FakeClock.h"
#include "support/TestApp.h"

#include <QAbstractItemModelTester>
#include <QColor>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

/// The names of every table here: texts become ShownAddresses as a host name's answer does.
NameIds& names() {
    static NameIds ids;
    return ids;
}

ShownAddress shown(const char* text) {
    return names().intern(QString::fromUtf8(text));
}

clsPacketInfo packet(const char* src, int srcPort, const char* dst, int dstPort, double bytes,
                     int type) {
    clsPacketInfo p;
    p.srcAddr = shown(src);
    p.srcPort = srcPort;
    p.destAddr = shown(dst);
    p.destPort = dstPort;
    p.bytes = bytes;
    p.pkType = qint16(type);
    return p;
}

/// The rows as the list shows them: "From|Port|To|Port|Data|Type|Packets".
QStringList rowsOf(const ConnectionTable& table) {
    QStringList rows;
    for (int r = 0; r < table.size(); ++r) {
        QStringList cells;
        for (int c = 0; c < ConnectionModel::ColumnCount; ++c)
            cells << ConnectionModel::cellText(table, r, c);
        rows << cells.join(QLatin1Char('|'));
    }
    return rows;
}

struct FoldCase {
    const char* name;
    std::vector<clsPacketInfo> packets;
    QStringList rows;
};

class Folding : public ::testing::TestWithParam<FoldCase> {};

TEST_P(Folding, PacketsFoldIntoDirectedEntriesInCreationOrder) {
    FakeClock clock;
    qint32 remove = 30, hilite = 2;
    ConnectionTable table(clock, remove, hilite, names());
    for (const clsPacketInfo& p : GetParam().packets)
        table.listPacket(p);
    EXPECT_EQ(rowsOf(table), GetParam().rows);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, Folding,
    ::testing::Values(
        FoldCase{"UdpAfterTcpKeepsTheFirstType",
                 {packet("10.0.0.1", 1025, "10.0.0.2", 80, 100, 6),
                  packet("10.0.0.1", 1025, "10.0.0.2", 80, 50, 17)},
                 {"10.0.0.1|1025|10.0.0.2|80|150|TCP|2"}},
        FoldCase{"RepliesFormTheirOwnEntry",
                 {packet("10.0.0.1", 1025, "10.0.0.2", 80, 10, 6),
                  packet("10.0.0.2", 80, "10.0.0.1", 1025, 1460, 6)},
                 {"10.0.0.1|1025|10.0.0.2|80|10|TCP|1", "10.0.0.2|80|10.0.0.1|1025|1460|TCP|1"}},
        FoldCase{"IcmpAndIgmpFoldWithPortsZero",
                 {packet("10.0.0.1", 0, "10.0.0.2", 0, 0, 1),
                  packet("10.0.0.1", 0, "10.0.0.2", 0, 0, 2)},
                 {"10.0.0.1|0|10.0.0.2|0|0|ICMP|2"}},
        FoldCase{"IgmpFirst",
                 {packet("10.0.0.1", 0, "224.0.0.1", 0, 0, 2)},
                 {"10.0.0.1|0|224.0.0.1|0|0|IGMP|1"}},
        FoldCase{"NamesDifferingInCaseAreDifferentKeys",
                 {packet("Host", 53, "peer", 53, 1, 17), packet("host", 53, "peer", 53, 2, 17),
                  packet("Host", 53, "Peer", 53, 4, 17)},
                 {"Host|53|peer|53|1|UDP|1", "host|53|peer|53|2|UDP|1", "Host|53|Peer|53|4|UDP|1"}},
        FoldCase{"OtherProtocolHasNoType",
                 {packet("10.0.0.1", 0, "10.0.0.2", 0, 7, 47)},
                 {"10.0.0.1|0|10.0.0.2|0|7||1"}},
        FoldCase{"EachPortIsPartOfTheKey",
                 {packet("a", 1, "b", 2, 1, 6), packet("a", 1, "b", 3, 1, 6),
                  packet("a", 4, "b", 2, 1, 6), packet("a", 1, "b", 2, 1, 6)},
                 {"a|1|b|2|2|TCP|2", "a|1|b|3|1|TCP|1", "a|4|b|2|1|TCP|1"}},
        FoldCase{"EntriesNeverMove",
                 {packet("a", 1, "b", 1, 5, 6), packet("c", 1, "d", 1, 6, 6),
                  packet("a", 1, "b", 1, 5, 6), packet("e", 1, "f", 1, 1, 6),
                  packet("c", 1, "d", 1, 6, 6)},
                 {"a|1|b|1|10|TCP|2", "c|1|d|1|12|TCP|2", "e|1|f|1|1|TCP|1"}},
        FoldCase{"SumsShowFifteenSignificantDigits",
                 {packet("a", 1, "b", 1, 0.1, 17), packet("a", 1, "b", 1, 0.2, 17)},
                 {"a|1|b|1|0.3|UDP|2"}},
        FoldCase{"LargeWholeSumsShowWithoutPointOrExponent",
                 {packet("a", 1, "b", 1, 123456789012344, 6), packet("a", 1, "b", 1, 1, 6)},
                 {"a|1|b|1|123456789012345|TCP|2"}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Ageing on the fake clock.

/// One step of an ageing script.
struct Step {
    enum Op { Packet, Advance, Sweep, Freeze, Thaw, Reset } op;
    const char* key = ""; ///< Packet: the source text (port 1 → "dst":2, TCP)
    qint64 ms = 0;        ///< Advance
};
Step pkt(const char* key) {
    return {Step::Packet, key, 0};
}
Step adv(qint64 ms) {
    return {Step::Advance, "", ms};
}
Step sweep() {
    return {Step::Sweep, "", 0};
}
Step freeze() {
    return {Step::Freeze, "", 0};
}
Step thaw() {
    return {Step::Thaw, "", 0};
}
Step reset() {
    return {Step::Reset, "", 0};
}

struct AgeCase {
    const char* name;
    qint32 remove, hilite;
    quint32 startTick;
    std::vector<Step> steps;
    const char* expected; ///< "key:packets" per row, "*" after a red data cell
};

/// "A:1* B:2" — each row's source, packet count and a star while its data cell is red.
QString stateOf(const ConnectionModel& model) {
    QStringList rows;
    for (int r = 0; r < model.rowCount(); ++r) {
        const QString from = model.data(model.index(r, ConnectionModel::From)).toString();
        const QString packets = model.data(model.index(r, ConnectionModel::Packets)).toString();
        const QVariant ink = model.data(model.index(r, ConnectionModel::Data), Qt::ForegroundRole);
        const QColor colour = ink.value<QColor>();
        // Red, or none of its own: the list's normal text colour.
        EXPECT_TRUE(colour == QColor(255, 0, 0) || !ink.isValid()) << colour.name().toStdString();
        rows << from + QLatin1Char(':') + packets +
                    (colour == QColor(255, 0, 0) ? QStringLiteral("*") : QString());
    }
    return rows.join(QLatin1Char(' '));
}

class Ageing : public ::testing::TestWithParam<AgeCase> {};

TEST_P(Ageing, DeadlinesEndHighlightsAndRemoveEntries) {
    const AgeCase& c = GetParam();
    FakeClock clock(QDateTime(QDate(2026, 12, 8), QTime(12, 0)), c.startTick);
    qint32 remove = c.remove, hilite = c.hilite;
    ConnectionTable table(clock, remove, hilite, names());
    ConnectionModel model(table);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    for (const Step& s : c.steps) {
        switch (s.op) {
        case Step::Packet:
            table.listPacket(packet(s.key, 1, "dst", 2, 100, 6));
            model.flush();
            break;
        case Step::Advance:
            clock.advance(s.ms);
            break;
        case Step::Sweep:
            model.ScavengeList();
            break;
        case Step::Freeze:
            table.setDisplayFrozen(true);
            break;
        case Step::Thaw:
            table.setDisplayFrozen(false);
            break;
        case Step::Reset:
            model.clear();
            break;
        }
    }
    EXPECT_EQ(stateOf(model), QString::fromLatin1(c.expected));
    EXPECT_EQ(model.rowCount(), table.size());
}

constexpr quint32 kStart = 1000;
constexpr quint32 kBeforeUnsignedWrap = 0xFFFFFFFFu - 10000u;
constexpr quint32 kBeforeSignedWrap = 0x7FFFFFFFu - 10000u;

INSTANTIATE_TEST_SUITE_P(
    Deadlines, Ageing,
    ::testing::Values(
        AgeCase{"NewEntryIsRed", 30, 2, kStart, {pkt("A"), sweep()}, "A:1*"},
        AgeCase{"HighlightEndingExactlyAtTheSweepLastsOneMoreSweep",
                30,
                2,
                kStart,
                {pkt("A"), adv(2000), sweep()},
                "A:1*"},
        AgeCase{"HighlightEndsOnceItsDeadlinePassed",
                30,
                2,
                kStart,
                {pkt("A"), adv(2000), sweep(), adv(1), sweep()},
                "A:1"},
        AgeCase{"HighlightZeroEndsAtTheNextSweep",
                30,
                0,
                kStart,
                {pkt("A"), sweep(), adv(1000), sweep()},
                "A:1"},
        AgeCase{
            "RemovalExactlyAtTheSweepWaits", 30, 2, kStart, {pkt("A"), adv(30000), sweep()}, "A:1"},
        AgeCase{"RemovalOnceTheDeadlinePassed", 30, 2, kStart, {pkt("A"), adv(30001), sweep()}, ""},
        AgeCase{"TwoAdjacentExpiredEntriesGoInOneSweep",
                30,
                2,
                kStart,
                {pkt("A"), pkt("B"), adv(10000), pkt("C"), adv(20001), sweep()},
                "C:1"},
        AgeCase{"SeparateRunsOfExpiredEntries",
                30,
                2,
                kStart,
                {pkt("A"), pkt("B"), pkt("C"), pkt("D"), pkt("E"), adv(10000), pkt("B"), pkt("D"),
                 adv(20001), sweep()},
                "B:2 D:2"},
        AgeCase{"UpdatedJustBeforeTheSweepStaysRed",
                30,
                2,
                kStart,
                {pkt("A"), adv(29999), pkt("A"), adv(2), sweep()},
                "A:2*"},
        AgeCase{"ZeroNeverRemovesButHighlightsEnd",
                0,
                2,
                kStart,
                {pkt("A"), adv(864000000), sweep()},
                "A:1"},
        AgeCase{"AcrossTheUnsignedWrap",
                30,
                2,
                kBeforeUnsignedWrap,
                {pkt("A"), adv(5000), sweep(), adv(20000), sweep()},
                "A:1"},
        AgeCase{"AcrossTheUnsignedWrapRemoved",
                30,
                2,
                kBeforeUnsignedWrap,
                {pkt("A"), adv(5000), sweep(), adv(25001), sweep()},
                ""},
        AgeCase{"AcrossTheSignedWrap",
                30,
                2,
                kBeforeSignedWrap,
                {pkt("A"), adv(5000), sweep(), adv(1000), sweep()},
                "A:1"},
        AgeCase{"AcrossTheSignedWrapRemoved",
                30,
                2,
                kBeforeSignedWrap,
                {pkt("A"), adv(5000), sweep(), adv(25001), sweep()},
                ""},
        AgeCase{"PeriodBeyondThirtyTwoBitMilliseconds",
                2000000000,
                2000000000,
                kStart,
                {pkt("A"), adv(86400000), sweep()},
                "A:1*"},
        AgeCase{"NegativePeriodGoesAtTheNextSweep", -5, -5, kStart, {pkt("A"), sweep()}, ""},
        AgeCase{"FrozenTableIgnoresPacketsAndSweeps",
                30,
                2,
                kStart,
                {pkt("A"), freeze(), pkt("A"), pkt("B"), adv(40000), sweep()},
                "A:1*"},
        AgeCase{"ThawAfterLongFreezeEmptiesOverdueAtOnce",
                30,
                2,
                kStart,
                {pkt("A"), adv(20000), pkt("B"), freeze(), adv(11000), sweep(), adv(100000),
                 sweep(), thaw(), pkt("C"), sweep()},
                "C:1*"},
        AgeCase{"ThawEndsOverdueHighlights",
                30,
                2,
                kStart,
                {pkt("A"), freeze(), adv(5000), sweep(), thaw(), sweep()},
                "A:1"},
        AgeCase{"ResetEmptiesEvenWhenFrozen",
                30,
                2,
                kStart,
                {pkt("A"), pkt("B"), freeze(), reset()},
                ""},
        AgeCase{"EntryAfterRemovalStartsAgain",
                30,
                2,
                kStart,
                {pkt("A"), pkt("B"), adv(30001), pkt("B"), sweep(), pkt("A")},
                "B:2* A:1*"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// The index after removals, the size limit and the model's signals.

TEST(ConnectionIndex, FindsTheRightEntryAfterScatteredRemovals) {
    FakeClock clock;
    qint32 remove = 30, hilite = 2;
    ConnectionTable table(clock, remove, hilite, names());
    const int n = 6000; // past the size at which survivors move to a fresh block
    for (int i = 0; i < n; ++i)
        table.listPacket(packet("10.1.1.1", i, "10.2.2.2", 80, 1, 6));
    table.endBatch();
    clock.advance(10000);
    for (int i = 0; i < n; i += 3) // every third keeps going
        table.listPacket(packet("10.1.1.1", i, "10.2.2.2", 80, 1, 6));
    table.endBatch();
    clock.advance(20001);
    table.ScavengeList();
    ASSERT_EQ(table.size(), n / 3);
    for (int i = 0; i < n; ++i)
        table.listPacket(packet("10.1.1.1", i, "10.2.2.2", 80, 1, 6));
    ASSERT_EQ(table.size(), n);
    for (int r = 0; r < n; ++r) {
        const ConnectionEntry& e = table.at(r);
        // the survivors first, in their order, then the others as they came back
        const int port = r < n / 3 ? r * 3 : [&] {
            const int k = r - n / 3; // k-th port that is not a multiple of 3
            return k / 2 * 3 + 1 + k % 2;
        }();
        ASSERT_EQ(e.srcPort, port) << r;
        ASSERT_EQ(e.packets, r < n / 3 ? 3.0 : 1.0) << r;
        ASSERT_EQ(table.find(shown("10.1.1.1"), port, shown("10.2.2.2"), 80), r);
    }
}

TEST(ConnectionIndex, FullTableStopsAddingButKeepsUpdating) {
    FakeClock clock;
    qint32 remove = 30, hilite = 2;
    ConnectionTable table(clock, remove, hilite, names());
    ASSERT_GE(ConnectionTable::kMaxEntries, 200000);
    const int extra = 7;
    for (int i = 0; i < ConnectionTable::kMaxEntries + extra; ++i) {
        const quint32 a = quint32(i);
        clsPacketInfo p = packet("", int(a & 0xFFFF), "10.0.0.1", 80, 10, 6);
        p.srcAddr = names().intern(QString::number(a >> 16));
        table.listPacket(p);
    }
    EXPECT_EQ(table.size(), ConnectionTable::kMaxEntries);
    EXPECT_EQ(table.unlistedPackets(), quint64(extra));
    table.endBatch();
    clock.advance(10000);
    table.listPacket(packet("0", 5, "10.0.0.1", 80, 10, 6));
    EXPECT_EQ(ConnectionModel::cellText(table, 5, ConnectionModel::Packets), "2");
    EXPECT_EQ(ConnectionModel::cellText(table, 5, ConnectionModel::Data), "20");
    EXPECT_EQ(table.unlistedPackets(), quint64(extra));
    // Once entries go, new keys are listed again.
    clock.advance(20001);
    table.ScavengeList();
    EXPECT_EQ(table.size(), 1);
    table.listPacket(packet("new", 1, "10.0.0.1", 80, 10, 6));
    EXPECT_EQ(table.size(), 2);
}

TEST(ConnectionModelSignals, OneInsertAndOneChangePerBatch) {
    ensureApp<QCoreApplication>();
    FakeClock clock;
    qint32 remove = 30, hilite = 2;
    ConnectionTable table(clock, remove, hilite, names());
    ConnectionModel model(table);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    table.listPacket(packet("a", 1, "b", 1, 1, 6));
    table.listPacket(packet("c", 1, "d", 1, 1, 6));
    model.flush();
    clock.advance(3000);
    model.ScavengeList(); // both black now

    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    for (int i = 0; i < 50; ++i) {
        table.listPacket(packet("c", 1, "d", 1, 1, 6));
        table.listPacket(packet("e", 1, "f", i, 1, 6));
    }
    EXPECT_EQ(model.rowCount(), 2); // nothing announced before the batch ends
    EXPECT_EQ(model.flush(), 51);   // the latest packet's row
    ASSERT_EQ(inserted.size(), 1);
    EXPECT_EQ(inserted[0][1].toInt(), 2);
    EXPECT_EQ(inserted[0][2].toInt(), 51);
    // The whole changed range: the Packets count of the existing row is repainted too, and
    // its data cell is red again.
    const auto range = [&changed](qsizetype i) {
        const QModelIndex from = changed[i][0].toModelIndex(), to = changed[i][1].toModelIndex();
        return QList<int>{from.row(), from.column(), to.row(), to.column()};
    };
    ASSERT_EQ(changed.size(), 1);
    EXPECT_EQ(range(0), QList<int>({1, ConnectionModel::Data, 1, ConnectionModel::Packets}));
    EXPECT_EQ(model.rowCount(), 52);
    EXPECT_EQ(model.data(model.index(1, ConnectionModel::Packets)).toString(), "51");
    EXPECT_EQ(model.data(model.index(1, ConnectionModel::Data), Qt::ForegroundRole),
              QVariant(QColor(255, 0, 0)));

    // Nothing new: nothing announced, nothing to scroll to.
    EXPECT_EQ(model.flush(), -1);
    EXPECT_EQ(inserted.size(), 1);
    EXPECT_EQ(changed.size(), 1);

    // A sweep that ends highlights announces them; one that finds nothing to do, nothing.
    clock.advance(2500);
    model.ScavengeList();
    ASSERT_EQ(changed.size(), 2);
    EXPECT_EQ(range(1), QList<int>({1, ConnectionModel::Data, 51, ConnectionModel::Data}));
    EXPECT_EQ(model.data(model.index(1, ConnectionModel::Data), Qt::ForegroundRole), QVariant());
    model.ScavengeList();
    EXPECT_EQ(changed.size(), 2);
}

TEST(ConnectionModelSignals, CaptionsAndColours) {
    ensureApp<QCoreApplication>();
    FakeClock clock;
    qint32 remove = 30, hilite = 2;
    ConnectionTable table(clock, remove, hilite, names());
    ConnectionModel model(table);
    QStringList captions;
    for (int c = 0; c < model.columnCount(); ++c)
        captions << model.headerData(c, Qt::Horizontal).toString();
    EXPECT_EQ(captions,
              QStringList({"From", "Port", "To", "Port", "Data (Bytes)", "Type", "Packets"}));
    table.listPacket(packet("a", 1, "b", 1, 1, 6));
    model.flush();
    for (int c = 0; c < model.columnCount(); ++c) {
        const QVariant fg = model.data(model.index(0, c), Qt::ForegroundRole);
        if (c == ConnectionModel::Data)
            EXPECT_EQ(fg.value<QColor>(), QColor(255, 0, 0));
        else
            EXPECT_FALSE(fg.isValid()) << c; // the list's normal colour
    }
}

} // namespace
