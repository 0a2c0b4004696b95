#include "platform/XdgAutostart.h"
#include "platform/fakes/FakeAutostart.h"
#include "settings/RunAtLogon.h"
#include "support/Skip.h"
#include "support/TestApp.h"
#include "support/TestFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace {
const QString kDriver = QStringLiteral(SETTINGS_DRIVER);

/// A driver process with its output collected line by line.
class Driver {
public:
    explicit Driver(const QStringList& args, const QProcessEnvironment& env = systemEnv(),
                    const QString& program = kDriver, const QStringList& prefix = {}) {
        process_.setProcessEnvironment(env);
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        if (prefix.isEmpty()) {
            process_.start(program, args);
        } else {
            process_.start(prefix.first(), prefix.mid(1) + QStringList{program} + args);
        }
    }
    ~Driver() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;

    static QProcessEnvironment systemEnv() { return QProcessEnvironment::systemEnvironment(); }

    /// Reads what is there; true once `line` has been seen `count` times.
    bool saw(const QString& line, int count = 1) {
        output_ += QString::fromUtf8(process_.readAllStandardOutput());
        return output_.split(u'\n').count(line) >= count;
    }
    /// Waits until `line` has been printed `count` times.
    bool waitFor(const QString& line, int count = 1, int ms = 20000) {
        QElapsedTimer t;
        t.start();
        while (!saw(line, count)) {
            if (t.elapsed() > ms)
                return false;
            process_.waitForReadyRead(50);
        }
        return true;
    }
    bool finish(int ms = 20000) {
        const bool done = process_.waitForFinished(ms);
        saw(QString());
        return done;
    }
    QString output() {
        saw(QString());
        return output_;
    }
    QProcess& process() { return process_; }

private:
    QProcess process_;
    QString output_;
};

QProcessEnvironment envWithConfig(const QString& configHome) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    return env;
}

[[maybe_unused]] auto* const kEnv =
    ::testing::AddGlobalTestEnvironment(new AppEnvironment<QCoreApplication>);
} // namespace

TEST(SingleInstance, SecondStartRaisesTheFirstAndEnds) {
    QTemporaryDir dir;
    Driver first({"instance", dir.path()});
    ASSERT_TRUE(first.waitFor("primary")) << first.output().toStdString();
    for (int n = 1; n <= 2; ++n) {
        Driver second({"instance", dir.path()});
        ASSERT_TRUE(second.finish());
        EXPECT_EQ(second.process().exitCode(), 0);
        EXPECT_EQ(second.output(), "handed-over\n");
        EXPECT_TRUE(first.waitFor("raise", n)) << first.output().toStdString();
    }
    EXPECT_EQ(first.process().state(), QProcess::Running);
}

TEST(SingleInstance, TwentyStartsAtOnceLeaveExactlyOne) {
    QTemporaryDir dir;
    std::vector<std::unique_ptr<Driver>> drivers;
    for (int i = 0; i < 20; ++i)
        drivers.push_back(std::make_unique<Driver>(QStringList{"instance", dir.path(), "120"}));
    // Every start but one ends after handing over.
    QElapsedTimer t;
    t.start();
    int running = 20;
    while (running > 1 && t.elapsed() < 60000) {
        running = 0;
        for (auto& d : drivers) {
            d->process().waitForFinished(10);
            running += d->process().state() != QProcess::NotRunning;
        }
    }
    ASSERT_EQ(running, 1);
    int primaries = 0;
    int handedOver = 0;
    Driver* primary = nullptr;
    for (auto& d : drivers) {
        if (d->process().state() != QProcess::NotRunning) {
            EXPECT_TRUE(d->waitFor("primary"));
            primary = d.get();
        }
        primaries += d->saw("primary");
        handedOver += d->saw("handed-over");
    }
    EXPECT_EQ(primaries, 1);
    EXPECT_EQ(handedOver, 19);
    ASSERT_NE(primary, nullptr);
    EXPECT_TRUE(primary->waitFor("raise", 19)) << primary->output().toStdString();
}

TEST(SingleInstance, KilledInstanceDoesNotBlockTheNextStart) {
    QTemporaryDir dir;
    {
        Driver first({"instance", dir.path()});
        ASSERT_TRUE(first.waitFor("primary"));
        first.process().kill(); // SIGKILL: the lock file and the socket stay behind
        ASSERT_TRUE(first.process().waitForFinished(5000));
    }
    EXPECT_FALSE(QDir(dir.path()).entryList(QDir::Files | QDir::System).isEmpty());
    Driver next({"instance", dir.path()});
    ASSERT_TRUE(next.waitFor("primary")) << next.output().toStdString();
    // And it answers the one after it.
    Driver third({"instance", dir.path()});
    ASSERT_TRUE(third.finish());
    EXPECT_EQ(third.output(), "handed-over\n");
    EXPECT_TRUE(next.waitFor("raise"));
}

TEST(SingleInstance, AnotherUsersInstanceIsSeparate) {
    if (::geteuid() != 0)
        SKIP_OR_FAIL("needs root to start a process as another user");
    if (!QFileInfo::exists(QStringLiteral("/usr/bin/setpriv")))
        SKIP_OR_FAIL("setpriv (util-linux) is not installed");
    // The other user must be able to run the driver and write the shared folder.
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/qm-set-XXXXXX"));
    QFile::setPermissions(dir.path(), QFileDevice::Permissions(0x7777));
    const QString copy = dir.filePath(QStringLiteral("settings_driver"));
    ASSERT_TRUE(QFile::copy(kDriver, copy));
    QFile::setPermissions(copy, QFileDevice::Permissions(0x7555));
    const QStringList asNobody = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534",
                                  "--clear-groups"};
    Driver mine({"instance", dir.path()});
    ASSERT_TRUE(mine.waitFor("primary"));
    Driver theirs({"instance", dir.path()}, Driver::systemEnv(), copy, asNobody);
    ASSERT_TRUE(theirs.waitFor("primary")) << theirs.output().toStdString();
    // Each one's second start goes to its own first instance.
    Driver theirSecond({"instance", dir.path()}, Driver::systemEnv(), copy, asNobody);
    ASSERT_TRUE(theirSecond.finish());
    EXPECT_EQ(theirSecond.output(), "handed-over\n");
    EXPECT_TRUE(theirs.waitFor("raise"));
    EXPECT_FALSE(mine.saw("raise"));
}

TEST(SettingsFile, LivesInTheUsersConfigFolderAsPlainText) {
    QTemporaryDir config;
    const QProcessEnvironment env = envWithConfig(config.path());
    const QString file = config.filePath(QStringLiteral("Quelmint/Quelmint.conf"));
    {
        Driver dump({"dump"}, env);
        ASSERT_TRUE(dump.finish());
        const QStringList lines = dump.output().split(u'\n');
        EXPECT_EQ(lines.value(0), file);
        EXPECT_TRUE(lines.contains("Bandwidth=48000"));
        EXPECT_TRUE(lines.contains("DisplayUnit=3"));
    }
    {
        Driver change({"change", "exit"}, env);
        ASSERT_TRUE(change.finish());
        EXPECT_EQ(change.process().exitCode(), 0);
    }
    const QString text = readText(file);
    EXPECT_TRUE(text.startsWith("[settings]\n")) << text.toStdString();
    for (const char* line : {"DisplayTCP=True", "Bandwidth=96000", "FilterString=udp port 53",
                             "Interface=", "ResetStatsAtNewDay=True", "RemoveFromListTime=30"})
        EXPECT_TRUE(text.split(u'\n').contains(QString::fromLatin1(line))) << line;

    // Prepared by hand.
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("[settings]\nBandwidth=1000\nDisplayTCP=0\nDisplayUDP=5\nGraphStyle=zig\n");
    f.close();
    Driver dump({"dump"}, env);
    ASSERT_TRUE(dump.finish());
    const QStringList lines = dump.output().split(u'\n');
    EXPECT_TRUE(lines.contains("Bandwidth=1000"));
    EXPECT_TRUE(lines.contains("DisplayTCP=False"));
    EXPECT_TRUE(lines.contains("DisplayUDP=True"));
    EXPECT_TRUE(lines.contains("GraphStyle=1"));
    EXPECT_TRUE(lines.contains("error GraphStyle"));
}

TEST(SettingsFile, AChangeIsKeptByAnOrderlyExit) {
    QTemporaryDir config;
    const QProcessEnvironment env = envWithConfig(config.path());
    {
        Driver dump({"dump"}, env);
        ASSERT_TRUE(dump.finish());
        EXPECT_TRUE(dump.output().split(u'\n').contains("Bandwidth=48000"));
        EXPECT_TRUE(dump.output().split(u'\n').contains("FilterString="));
    }
    {
        Driver exit({"change", "exit"}, env);
        ASSERT_TRUE(exit.finish());
        EXPECT_EQ(exit.process().exitCode(), 0);
    }
    Driver dump({"dump"}, env);
    ASSERT_TRUE(dump.finish());
    EXPECT_TRUE(dump.output().split(u'\n').contains("Bandwidth=96000"));
    EXPECT_TRUE(dump.output().split(u'\n').contains("FilterString=udp port 53"));
}

TEST(SettingsFile, KilledWhileSavingLeavesEveryKeyReadable) {
    QTemporaryDir config;
    const QProcessEnvironment env = envWithConfig(config.path());
    for (int kill = 0; kill < 12; ++kill) {
        SCOPED_TRACE("kill " + std::to_string(kill));
        {
            Driver saving({"change", "loop"}, env);
            // A kill between creating the settings lock file and writing into it leaves a lock
            // that Qt takes as stale only after 30 s: the next save may wait that long.
            ASSERT_TRUE(saving.waitFor("saved", 1, 60000)) << saving.output().toStdString();
            // Kills land at different moments of the saves that follow.
            QElapsedTimer t;
            t.start();
            while (t.elapsed() < kill * 7)
                saving.process().waitForFinished(1);
            saving.process().kill();
            ASSERT_TRUE(saving.finish());
        }
        Driver dump({"dump"}, env);
        ASSERT_TRUE(dump.finish(60000));
        const QStringList lines = dump.output().split(u'\n', Qt::SkipEmptyParts);
        // The file name, then every key; no key unreadable.
        ASSERT_EQ(lines.size(), 21) << dump.output().toStdString();
        for (const QString& line : lines)
            EXPECT_FALSE(line.startsWith(QStringLiteral("error "))) << line.toStdString();
        EXPECT_TRUE(lines.contains("Bandwidth=96000") || lines.contains("Bandwidth=1000"));
        EXPECT_TRUE(lines.contains("FilterString=udp port 53") ||
                    lines.contains("FilterString=tcp"));
        // The first and one of the last keys in the file: a cut file would lose them.
        EXPECT_TRUE(lines.contains("RemoveFromListTime=10") ||
                    lines.contains("RemoveFromListTime=20"));
    }
}

TEST(RunAtLogon, EntryNamesTheFixedProgramWhateverTheFileIsCalled) {
    QTemporaryDir root;
    const QString config = root.filePath(QStringLiteral("config"));
    const QString folder = root.filePath(QStringLiteral("my programs"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString renamed = folder + QStringLiteral("/renamed-monitor");
    ASSERT_TRUE(QFile::copy(kDriver, renamed));
    const QString entry = config + QStringLiteral("/autostart/Quelmint.desktop");
    for (int round = 0; round < 2; ++round) {
        Driver run({"autostart"}, envWithConfig(config), renamed);
        ASSERT_TRUE(run.finish());
        EXPECT_EQ(run.output(), "written\n");
        const QStringList lines = readText(entry).split(u'\n');
        EXPECT_TRUE(lines.contains("[Desktop Entry]"));
        EXPECT_TRUE(lines.contains("Type=Application"));
        EXPECT_TRUE(lines.contains("Name=Quelmint"));
        EXPECT_TRUE(lines.contains("Exec=\"" + folder + "/quelmint\""))
            << lines.join('|').toStdString();
        // Deleted by hand: the next orderly exit writes it again.
        ASSERT_TRUE(QFile::remove(entry));
    }
}

TEST(RunAtLogon, TheEntryFollowsTheSettingAndTheUsersChoiceInTheDesktop) {
    struct Case {
        const char* name;
        bool startAtLogon;
        const char* before; // the entry's text before the exit; null: no entry
        const char* after;  // null: no entry; "" the program's own entry; else that text
    };
    const char* const hidden =
        "[Desktop Entry]\nType=Application\nExec=/old/quelmint\nHidden=true\n";
    const char* const gnomeOff =
        "[Desktop Entry]\nExec=/old/quelmint\nX-GNOME-Autostart-enabled = false\n";
    const Case cases[] = {
        {"on, no entry: written", true, nullptr, ""},
        {"on, hidden by the user: left as it is", true, hidden, hidden},
        {"on, switched off in GNOME: left as it is", true, gnomeOff, gnomeOff},
        {"on, shown: rewritten", true, "[Desktop Entry]\nExec=/old/quelmint\nHidden=false\n", ""},
        {"on, Hidden in another group only: rewritten", true,
         "[Desktop Entry]\nExec=/old/quelmint\n[Desktop Action x]\nHidden=true\n", ""},
        {"off, an entry: removed", false, "[Desktop Entry]\nExec=/old/quelmint\n", nullptr},
        {"off, no entry: none written", false, nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("autostart"));
        const QString entry = folder + QStringLiteral("/Quelmint.desktop");
        ASSERT_TRUE(QDir().mkpath(folder));
        if (c.before != nullptr) {
            ASSERT_TRUE(writeFile(entry, c.before));
        }
        XdgAutostart autostart(folder);
        EXPECT_TRUE(RunAtLogon::apply(autostart, "/usr/lib/quelmint", c.startAtLogon) ||
                    (c.after != nullptr && *c.after != 0));
        if (c.after == nullptr)
            EXPECT_FALSE(QFile::exists(entry));
        else if (*c.after == 0)
            EXPECT_TRUE(readText(entry).contains("\nExec=/usr/lib/quelmint/quelmint\n"))
                << readText(entry).toStdString();
        else
            EXPECT_EQ(readFile(entry), QByteArray(c.after));
    }
}

TEST(RunAtLogon, ExecValueQuotesAndEscapes) {
    struct Case {
        const char* program;
        const char* exec;
    };
    const Case cases[] = {
        {"/opt/quelmint/quelmint", "/opt/quelmint/quelmint"},
        {"/home/a b/quelmint", "\"/home/a b/quelmint\""},
        {"/x/$HOME/quelmint", "\"/x/\\\\$HOME/quelmint\""},
        {"/x/100%/quelmint", "/x/100%%/quelmint"},
        {"/x/back\\slash/quelmint", "\"/x/back\\\\\\\\slash/quelmint\""},
        {"/x/\"q\"/quelmint", "\"/x/\\\\\"q\\\\\"/quelmint\""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(XdgAutostart::execValue(QString::fromUtf8(c.program)), QString::fromUtf8(c.exec))
            << c.program;
}

TEST(RunAtLogon, WritesThroughTheInterfaceAndReportsFailure) {
    FakeAutostart fake;
    EXPECT_TRUE(RunAtLogon::registerRunAtLogon(fake, "/usr/lib/quelmint"));
    EXPECT_EQ(fake.entries.value("Quelmint"), "/usr/lib/quelmint/quelmint");
    fake.fail = true;
    EXPECT_FALSE(RunAtLogon::registerRunAtLogon(fake, "/usr/lib/quelmint"));

    QTemporaryDir dir;
    QFile blocker(dir.filePath(QStringLiteral("autostart")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly)); // a file where the folder should be
    blocker.close();
    XdgAutostart blocked(dir.filePath(QStringLiteral("autostart")));
    EXPECT_FALSE(RunAtLogon::registerRunAtLogon(blocked, "/usr/lib/quelmint"));
    XdgAutostart ok(dir.filePath(QStringLiteral("fresh/autostart")));
    EXPECT_TRUE(RunAtLogon::registerRunAtLogon(ok, "/usr/lib/quelmint"));
    EXPECT_TRUE(readText(dir.filePath(QStringLiteral("fresh/autostart/Quelmint.desktop")))
                    .contains("\nExec=/usr/lib/quelmint/quelmint\n"));
}
