// The data plan while the session runs: the period's use from the stored days and today's
// running figures, its line in the icon's tip, and the warnings once per period across restarts.
#include "support/SessionRig.h"
#include "support/UsageRecords.h"

#include "monitor/PlanController.h"
#include "usage/LogFolder.h"
#include "usage/UsageLineFormat.h"

#include <QSignalSpy>

namespace {

struct Stored {
    QDate day;
    double received, sent, passby;
};

/// The session started on `today` with the plan in its settings and the stored days in its
/// year files; one housekeeping tick and one sample after today's traffic.
struct PlanRun : SessionRig {
    PlanRun(const QDate& today, qint64 allowance, int startDay, const QList<Stored>& stored,
            const FakeFileSystem* before = nullptr) {
        session.reset();
        clock.setNow(QDateTime(today, QTime(12, 0)));
        if (before != nullptr) {
            for (const QString& f : before->files())
                fs.setFile(f, before->file(f));
        } else {
            const QString folder =
                LogFolder::choose(fs, QStringLiteral("/opt/quelmint"),
                                  QStringLiteral("/home/u/.local/share/Quelmint"));
            QMap<int, QByteArray> years;
            for (const Stored& s : stored)
                years[s.day.year()] +=
                    UsageLineFormat::formatLine(usageRec(s.day, s.received, s.sent, s.passby)) +
                    "\r\n";
            for (auto it = years.cbegin(); it != years.cend(); ++it)
                fs.setFile(folder + QStringLiteral("/%1.log").arg(it.key()), it.value());
        }
        store.at(QStringLiteral("PlanAllowance")) = QString::number(allowance);
        store.at(QStringLiteral("PlanStartDay")) = QString::number(startDay);
        session = std::make_unique<MonitorSession>(makeServices());
        EXPECT_TRUE(session->open());
        session->setLocalAddresses({QStringLiteral("10.0.0.1")});
        session->loadStores();
        session->startAccounting();
        session->startTicks(226);
        EXPECT_TRUE(session->beginMonitoring());
    }
    void tick() {
        session->timer2Tick();
        nextSecond();
    }
    QList<FakeTrayIcon::Balloon> planBalloons() const {
        QList<FakeTrayIcon::Balloon> out;
        for (const auto& b : tray.balloons)
            if (b.title == QLatin1String(PlanController::kBalloonTitle))
                out.append(b);
        return out;
    }
};

TEST(Plan, UseOfThePeriodInTheTipAndWarningsOncePerPeriodAcrossRestarts) {
    constexpr qint64 kMiB = qint64(1) << 20;
    struct Case {
        const char* name;
        QDate today;
        qint64 allowance;
        int startDay;
        QList<Stored> stored;
        quint32 received, sent, passby; // today's traffic
        const char* text;               // the plan's line; empty: no plan
        const char* warning;            // the balloon's first line; null: none
    };
    const Case cases[] = {
        {"start day before today; pass-by and earlier days do not count",
         {2026, 12, 8},
         kMiB,
         1,
         {{{2026, 11, 30}, 900000, 0, 0},
          {{2026, 12, 1}, 300000, 100000, 5000000},
          {{2026, 12, 7}, 0, 100000, 0}},
         200000,
         0,
         1000000,
         "Plan: 683.6 K of 1.0 M used, 24 days left",
         nullptr},
        {"start day after today: the period began last month",
         {2026, 12, 8},
         kMiB,
         9,
         {{{2026, 11, 8}, 1000000, 0, 0},
          {{2026, 11, 9}, 300000, 0, 0},
          {{2026, 11, 30}, 0, 400000, 0}},
         150000,
         0,
         0,
         "Plan: 830.1 K of 1.0 M used, 1 day left",
         "80 % of the data plan is used."},
        {"across New Year, 100 % at once gives that warning only",
         {2027, 1, 3},
         kMiB,
         15,
         {{{2026, 12, 14}, 500000, 0, 0},
          {{2026, 12, 20}, 600000, 0, 0},
          {{2027, 1, 2}, 0, 300000, 0}},
         100000,
         100000,
         0,
         "Plan: 1.0 M of 1.0 M used, 12 days left",
         "The data plan is used up."},
        {"no plan", {2026, 12, 8}, 0, 1, {{{2026, 12, 1}, 5000000, 0, 0}}, 1000, 0, 0, "", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PlanRun run(c.today, c.allowance, c.startDay, c.stored);
        QSignalSpy texts(run.session->plan(), &PlanController::textChanged);
        run.traffic(c.received, c.sent, c.passby);
        run.tick();
        const QString text = QString::fromLatin1(c.text);
        EXPECT_EQ(run.session->plan()->text(), text);
        EXPECT_EQ(texts.size(), text.isEmpty() ? 0 : 1);
        EXPECT_EQ(run.tray.tip.endsWith(QStringLiteral("\r\n") + text), !text.isEmpty())
            << run.tray.tip.toStdString();
        EXPECT_TRUE(run.tray.tip.contains(QStringLiteral("\r\nTotal: ")));
        const auto balloons = run.planBalloons();
        ASSERT_EQ(balloons.size(), c.warning ? 1 : 0);
        if (c.warning) {
            EXPECT_EQ(balloons[0].text,
                      QString::fromLatin1(c.warning) + QStringLiteral("\r\n") + text);
        }
        // Later ticks say it once only.
        run.tick();
        EXPECT_EQ(run.planBalloons().size(), c.warning ? 1 : 0);

        // A restart the same day: today's figures come from the store now; no warning again.
        run.session->stopCapture();
        run.session->closeStores();
        PlanRun again(c.today, c.allowance, c.startDay, {}, &run.fs);
        again.tick();
        EXPECT_EQ(again.session->plan()->text(), text);
        EXPECT_TRUE(again.planBalloons().isEmpty());
    }
}

} // namespace
