// The Debian package: tools/package builds it from the finished tree; its contents, control
// fields, icons, desktop entry and AppStream metadata are checked and lintian must find no
// error. Then it is installed on this machine, /usr/bin/quelmint runs under a virtual display
// as an unprivileged user from its menu entry and from its log-on entry, captures on a veth in a
// network namespace and logs under that user's data folder; purging the package leaves the
// user's files alone and the machine as it was.
#include "support/GraphPixels.h"
#include "support/RealProgram.h"
#include "support/TestFiles.h"

#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <functional>
#include <memory>

namespace {
constexpr quint16 kPort = 41151;
constexpr int kDatagrams = 120;
constexpr int kPayload = 200;
constexpr int kFrameBytes = 14 + 20 + 8 + kPayload; // Ethernet, IPv4, UDP, data
constexpr int kUser = 65534;                        // nobody: no groups, no capabilities

const QString kProgram = QStringLiteral("/usr/bin/quelmint");
const QString kHelper = QStringLiteral("/usr/libexec/quelmint/quelmint-capture");

/// Runs a program to its end; its exit code, -1 when it could not run or took too long.
int run(const QString& program, const QStringList& args, QByteArray* out = nullptr,
        int timeoutMs = 300000) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForStarted(10000))
        return -1;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished(5000);
        return -1;
    }
    if (out != nullptr)
        *out = p.readAll();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

/// True when dpkg lists the package as installed (or half-installed, or with files left).
bool packageKnown() {
    QByteArray out;
    return run(QStringLiteral("dpkg-query"),
               {QStringLiteral("-W"), QStringLiteral("-f=${db:Status-Abbrev}"),
                QStringLiteral("quelmint")},
               &out) == 0 &&
           !out.trimmed().isEmpty() && !out.startsWith("un");
}

/// dpkg with a few tries while another package manager holds the lock.
int dpkg(const QStringList& args, QByteArray* out) {
    int rc = -1;
    QElapsedTimer waited;
    waited.start();
    do {
        rc = run(QStringLiteral("dpkg"), args, out);
        if (rc == 0 || !out->contains("lock"))
            return rc;
        QThread::msleep(2000);
    } while (waited.elapsed() < 120000);
    return rc;
}

/// Runs a cleanup at the end of the scope, however the test left it.
class Finally final {
public:
    explicit Finally(std::function<void()> f) : f_(std::move(f)) {}
    ~Finally() { f_(); }
    Finally(const Finally&) = delete;
    Finally& operator=(const Finally&) = delete;

private:
    std::function<void()> f_;
};

/// The package, built once for all tests, and its files unpacked beside it.
class DebianPackage : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ensureApplication();
        if (geteuid() != 0) {
            whyNot_ = "needs root: builds, installs and purges a Debian package (run tools/test "
                      "as root)";
            return;
        }
        for (const char* tool : {"cpack", "dpkg-deb", "dpkg-shlibdeps", "lintian",
                                 "desktop-file-validate", "appstreamcli", "rsvg-convert"})
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) {
                whyNot_ = std::string(tool) + " is not installed (tools/test installs it)";
                return;
            }
        const QString source = qEnvironmentVariable("QUELMINT_SOURCE_DIR");
        const QString build = qEnvironmentVariable("QUELMINT_BUILD_DIR");
        QElapsedTimer took;
        took.start();
        QByteArray out;
        const int rc = run(source + QStringLiteral("/tools/package"),
                           {QStringLiteral("--no-build"), build}, &out);
        buildLog_ = out.toStdString();
        const QList<QByteArray> lines = out.trimmed().split('\n');
        if (rc == 0 && !lines.isEmpty() && lines.last().endsWith(".deb"))
            deb_ = QString::fromLocal8Bit(lines.last());
        std::printf("package: %s, %lld bytes, built in %.1f s\n", deb_.toLocal8Bit().constData(),
                    static_cast<long long>(QFileInfo(deb_).size()), took.elapsed() / 1000.0);
        unpacked_ = std::make_unique<QTemporaryDir>();
        if (!deb_.isEmpty())
            run(QStringLiteral("dpkg-deb"), {QStringLiteral("-x"), deb_, unpacked_->path()});
    }

    static void TearDownTestSuite() { unpacked_.reset(); }

    void SetUp() override {
        if (!whyNot_.empty())
            GTEST_SKIP() << whyNot_;
        ASSERT_FALSE(deb_.isEmpty()) << "tools/package failed:\n" << buildLog_;
    }

    static QString unpacked(const QString& path) { return unpacked_->path() + path; }

    /// Installs the package on this machine, which must not have it yet (a machine that has it
    /// is left alone). The caller purges it with purgeIfInstalled however the test ends.
    static void install(QByteArray& out) {
        ASSERT_FALSE(packageKnown())
            << "quelmint is already installed here; this test installs and purges it itself, so "
               "it leaves a machine alone that has it (dpkg -P quelmint to run it)";
        ASSERT_FALSE(QFile::exists(kProgram))
            << "something else installed " << kProgram.toStdString();
        ASSERT_EQ(dpkg({QStringLiteral("--install"), deb_}, &out), 0) << out.toStdString();
    }

    static void purgeIfInstalled() {
        if (packageKnown()) {
            QByteArray log;
            dpkg({QStringLiteral("--purge"), QStringLiteral("quelmint")}, &log);
        }
    }

    static inline std::string whyNot_;
    static inline std::string buildLog_;
    static inline QString deb_;
    static inline std::unique_ptr<QTemporaryDir> unpacked_;
};
} // namespace

TEST_F(DebianPackage, ControlFieldsAndMaintainerScript) {
    QByteArray arch;
    ASSERT_EQ(run(QStringLiteral("dpkg"), {QStringLiteral("--print-architecture")}, &arch), 0);
    EXPECT_TRUE(deb_.endsWith(QStringLiteral("/quelmint_1.0.0.1_") +
                              QString::fromLatin1(arch.trimmed()) + QStringLiteral(".deb")))
        << deb_.toStdString();

    const struct {
        const char* field;
        const char* expected;
    } fields[] = {
        {"Package", "quelmint"},
        {"Version", "1.0.0.1"},
        {"Section", "net"},
        {"Priority", "optional"},
    };
    for (const auto& f : fields) {
        QByteArray value;
        ASSERT_EQ(run(QStringLiteral("dpkg-deb"),
                      {QStringLiteral("-f"), deb_, QString::fromLatin1(f.field)}, &value),
                  0);
        EXPECT_EQ(value.trimmed(), QByteArray(f.expected)) << f.field;
    }
    QByteArray architecture;
    run(QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), deb_, QStringLiteral("Architecture")},
        &architecture);
    EXPECT_EQ(architecture.trimmed(), arch.trimmed());

    // Dependencies found in the binary, plus setcap for the maintainer script.
    QByteArray depends;
    ASSERT_EQ(run(QStringLiteral("dpkg-deb"),
                  {QStringLiteral("-f"), deb_, QStringLiteral("Depends")}, &depends),
              0);
    QStringList names;
    for (const QString& item : QString::fromUtf8(depends).split(u','))
        names << item.trimmed().section(u' ', 0, 0);
    for (const char* needed : {"libcap2-bin", "libc6", "libstdc++6", "libpcap0.8", "libqt6core6",
                               "libqt6gui6", "libqt6widgets6"})
        EXPECT_TRUE(names.contains(QString::fromLatin1(needed)))
            << needed << " missing from: " << depends.toStdString();

    // The maintainer script grants the capability to the helper alone and says so, and takes
    // those of earlier versions off the program; nothing runs at removal.
    QTemporaryDir control;
    ASSERT_EQ(run(QStringLiteral("dpkg-deb"), {QStringLiteral("-e"), deb_, control.path()}), 0);
    const QByteArray postinst = readFile(control.path() + QStringLiteral("/postinst"));
    EXPECT_TRUE(postinst.contains("setcap cap_net_raw=ep \"$helper\"")) << postinst.toStdString();
    EXPECT_TRUE(postinst.contains("setcap -r \"$program\"")) << postinst.toStdString();
    EXPECT_TRUE(postinst.contains("helper=/usr/libexec/quelmint/quelmint-capture"));
    EXPECT_TRUE(postinst.contains("program=/usr/bin/quelmint"));
    EXPECT_TRUE(QFileInfo(control.path() + QStringLiteral("/postinst")).isExecutable());
    for (const char* script : {"prerm", "postrm", "preinst"})
        EXPECT_FALSE(QFile::exists(control.path() + QLatin1Char('/') + QString::fromLatin1(script)))
            << script;
}

TEST_F(DebianPackage, FilesInPlaceWithTheirModes) {
    QByteArray listing;
    ASSERT_EQ(run(QStringLiteral("dpkg-deb"), {QStringLiteral("-c"), deb_}, &listing), 0);
    // path -> mode and owner as dpkg-deb lists them
    QMap<QString, QString> entries;
    for (const QByteArray& line : listing.split('\n')) {
        const QStringList f = QString::fromUtf8(line).split(
            QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
        if (f.size() >= 6)
            entries.insert(f.last(), f[0] + u' ' + f[1]);
    }
    const struct {
        const char* path;
        const char* modeAndOwner;
    } files[] = {
        {"./usr/bin/quelmint", "-rwxr-xr-x root/root"},
        {"./usr/libexec/quelmint/quelmint-capture", "-rwxr-xr-x root/root"},
        {"./usr/share/applications/quelmint.desktop", "-rw-r--r-- root/root"},
        {"./usr/share/metainfo/io.github.quelmint.Quelmint.metainfo.xml", "-rw-r--r-- root/root"},
        {"./usr/share/icons/hicolor/scalable/apps/quelmint.svg", "-rw-r--r-- root/root"},
        {"./usr/share/icons/hicolor/16x16/apps/quelmint.png", "-rw-r--r-- root/root"},
        {"./usr/share/icons/hicolor/32x32/apps/quelmint.png", "-rw-r--r-- root/root"},
        {"./usr/share/icons/hicolor/48x48/apps/quelmint.png", "-rw-r--r-- root/root"},
        {"./usr/share/icons/hicolor/64x64/apps/quelmint.png", "-rw-r--r-- root/root"},
        {"./usr/share/icons/hicolor/128x128/apps/quelmint.png", "-rw-r--r-- root/root"},
        {"./usr/share/icons/hicolor/256x256/apps/quelmint.png", "-rw-r--r-- root/root"},
        {"./usr/share/man/man1/quelmint.1.gz", "-rw-r--r-- root/root"},
        {"./usr/share/doc/quelmint/copyright", "-rw-r--r-- root/root"},
        {"./usr/share/doc/quelmint/changelog.gz", "-rw-r--r-- root/root"},
    };
    for (const auto& f : files)
        EXPECT_EQ(entries.value(QString::fromLatin1(f.path)), QString::fromLatin1(f.modeAndOwner))
            << f.path;
    // Nothing else but folders: no test programs, no build leftovers.
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
        if (it.value().startsWith(u'd'))
            continue;
        bool listed = false;
        for (const auto& f : files)
            listed = listed || it.key() == QString::fromLatin1(f.path);
        EXPECT_TRUE(listed) << "unexpected file " << it.key().toStdString();
    }
    // The binaries are stripped: no symbol table left.
    for (const QString& binary : {kProgram, kHelper}) {
        QByteArray fileType;
        run(QStringLiteral("file"), {unpacked(binary)}, &fileType);
        EXPECT_TRUE(fileType.contains(", stripped")) << fileType.toStdString();
    }
    // The privileged helper links libpcap and the C library, nothing else (no Qt).
    QByteArray dynamic;
    ASSERT_EQ(run(QStringLiteral("readelf"), {QStringLiteral("-d"), unpacked(kHelper)}, &dynamic),
              0);
    QStringList needed;
    for (const QByteArray& line : dynamic.split('\n'))
        if (line.contains("(NEEDED)"))
            needed << QString::fromLatin1(line.mid(line.indexOf('[') + 1).chopped(1));
    EXPECT_EQ(needed, QStringList({QStringLiteral("libpcap.so.0.8"), QStringLiteral("libc.so.6"),
                                   QStringLiteral("ld-linux-x86-64.so.2")}));
    // The manual page is a manual page.
    QByteArray man;
    ASSERT_EQ(run(QStringLiteral("sh"),
                  {QStringLiteral("-c"),
                   QStringLiteral("zcat '%1' | head -1")
                       .arg(unpacked(QStringLiteral("/usr/share/man/man1/quelmint.1.gz")))},
                  &man),
              0);
    EXPECT_TRUE(man.startsWith(".TH QUELMINT 1 ")) << man.toStdString();
}

TEST_F(DebianPackage, IconsAreDrawnAtEverySizeFromTheOneDrawing) {
    // Inside the shafts of the two arrows, as fractions of the icon's side.
    const QColor downArrow(0x5e, 0xe0, 0x7a), upArrow(0xff, 0xb3, 0x47);
    for (const int size : {16, 32, 48, 64, 128, 256}) {
        const QString path =
            unpacked(QStringLiteral("/usr/share/icons/hicolor/%1x%1/apps/quelmint.png").arg(size));
        const QImage icon(path);
        ASSERT_FALSE(icon.isNull()) << path.toStdString();
        EXPECT_EQ(icon.size(), QSize(size, size)) << size;
        EXPECT_EQ(qAlpha(icon.pixel(0, 0)), 0) << size << ": the corners are clear";
        if (size < 48)
            continue; // the small ones blend the outlines into the shafts
        const auto near = [](QColor a, QColor b) {
            return qAbs(a.red() - b.red()) <= 8 && qAbs(a.green() - b.green()) <= 8 &&
                   qAbs(a.blue() - b.blue()) <= 8 && a.alpha() == 255;
        };
        const QColor down = icon.pixelColor(int(size * 80 / 256.0), int(size * 70 / 256.0));
        const QColor up = icon.pixelColor(int(size * 176 / 256.0), int(size * 186 / 256.0));
        EXPECT_TRUE(near(down, downArrow)) << size << ": " << down.name().toStdString();
        EXPECT_TRUE(near(up, upArrow)) << size << ": " << up.name().toStdString();
    }
}

TEST_F(DebianPackage, DesktopEntryAndMetainfoValidate) {
    const QString desktop = unpacked(QStringLiteral("/usr/share/applications/quelmint.desktop"));
    QByteArray out;
    EXPECT_EQ(run(QStringLiteral("desktop-file-validate"), {desktop}, &out), 0)
        << out.toStdString();
    EXPECT_TRUE(out.trimmed().isEmpty()) << out.toStdString(); // not even a hint
    const QString entry = readText(desktop);
    for (const char* line :
         {"\nExec=quelmint\n", "\nIcon=quelmint\n", "\nCategories=Network;Monitor;\n",
          "\nTerminal=false\n", "\nType=Application\n"})
        EXPECT_TRUE(entry.contains(QString::fromLatin1(line))) << line;

    const QString metainfo =
        unpacked(QStringLiteral("/usr/share/metainfo/io.github.quelmint.Quelmint.metainfo.xml"));
    EXPECT_EQ(run(QStringLiteral("appstreamcli"),
                  {QStringLiteral("validate"), QStringLiteral("--no-net"), metainfo}, &out),
              0)
        << out.toStdString();
    const QString meta = readText(metainfo);
    EXPECT_TRUE(meta.contains(QStringLiteral("<id>io.github.quelmint.Quelmint</id>")));
    EXPECT_TRUE(meta.contains(
        QStringLiteral("<launchable type=\"desktop-id\">quelmint.desktop</launchable>")));
    EXPECT_TRUE(meta.contains(QStringLiteral("<screenshot type=\"default\">")));
}

TEST_F(DebianPackage, LintianFindsNoError) {
    QByteArray out;
    const int rc = run(QStringLiteral("lintian"),
                       {QStringLiteral("--allow-root"), QStringLiteral("--tag-display-limit"),
                        QStringLiteral("0"), deb_},
                       &out, 600000);
    int errors = 0;
    for (const QByteArray& line : out.split('\n'))
        if (line.startsWith("E: "))
            ++errors;
    std::printf("lintian (exit %d):\n%s\n", rc, out.constData());
    EXPECT_EQ(errors, 0) << out.toStdString();
    EXPECT_GE(rc, 0) << "lintian did not run to its end";
}

TEST_F(DebianPackage, InstalledItRunsAsAUserFromMenuAndLogOnCapturesAndPurgeKeepsUserData) {
    SKIP_WITHOUT_NETNS("xvfb-run", "xauth", "setpriv", "getcap");
    QElapsedTimer took;
    took.start();
    QByteArray out;
    ASSERT_NO_FATAL_FAILURE(install(out));
    Finally purge([] { purgeIfInstalled(); });
    EXPECT_TRUE(out.contains("quelmint: granted the capture helper " + kHelper.toUtf8()))
        << out.toStdString();
    EXPECT_TRUE(out.contains("every local user who can run " + kHelper.toUtf8()));
    // Only the helper holds a capability; one an earlier version left on the program goes when
    // the package is configured again.
    QByteArray caps;
    ASSERT_EQ(run(QStringLiteral("getcap"), {kHelper}, &caps), 0);
    EXPECT_TRUE(caps.contains("cap_net_raw=ep")) << caps.toStdString();
    ASSERT_EQ(
        run(QStringLiteral("setcap"), {QStringLiteral("cap_net_raw,cap_net_admin=eip"), kProgram}),
        0);
    ASSERT_EQ(run(QStringLiteral("dpkg-reconfigure"),
                  {QStringLiteral("-fnoninteractive"), QStringLiteral("quelmint")}),
              0);
    run(QStringLiteral("getcap"), {kProgram}, &caps);
    EXPECT_TRUE(caps.trimmed().isEmpty()) << caps.toStdString();

    // The namespaces, a folder of the test's own and, in it, a home of the user's own with the
    // adapter chosen; the X server lets any local client in.
    ProgramRun program(QStringLiteral("pk"), 151);
    ASSERT_TRUE(program.ok());
    const NetnsPair& pair = program.pair;
    UdpSink sink(pair.nsA(), kPort);
    ASSERT_TRUE(sink.ok());
    const QString root = program.root;
    const QString home = root + QStringLiteral("/home");
    ASSERT_TRUE(writeFile(home + QStringLiteral("/.config/Quelmint/Quelmint.conf"),
                          QStringLiteral("[settings]\nInterface=%1\nInterfaceDesc=Package veth\n"
                                         "CloseToTray=False\nStartMinimized=False\n"
                                         "Bandwidth=1000\n")
                              .arg(pair.nameA())
                              .toUtf8()));
    // Starts the command of a desktop entry's Exec line as the user, as a desktop does, and
    // reports its process id (pid.<name>, ended with the run) and, at its end, its exit code.
    const QString start =
        QStringLiteral(
            "start() {  # entry file, name of this start\n"
            "  cmd=$(sed -n 's/^Exec=//p' \"$1\" | head -1)\n"
            "  echo \"$cmd\" > \"$2.exec\"\n"
            "  setpriv --reuid=%1 --regid=%1 --clear-groups env -i HOME='%2' USER=nobody "
            "PATH=/usr/local/bin:/usr/bin:/bin DISPLAY=\"$DISPLAY\" XDG_RUNTIME_DIR='%3/run' "
            "sh -c \"exec $cmd\" > \"$2.log\" 2>&1 & pid=$!\n"
            "  echo $pid > \"pid.$2\"\n"
            "  wait $pid; echo $? > \"$2.rc\"\n"
            "}\n")
            .arg(kUser)
            .arg(home, root);
    QFile::setPermissions(root, QFile::permissions(root) | QFileDevice::ExeOther |
                                    QFileDevice::ReadOther);
    ASSERT_TRUE(program.start(
        start + QStringLiteral("chown -R %1:%1 home && mkdir -p -m 700 run && chown %1:%1 run\n"
                               "echo \"$DISPLAY\" > display\n"
                               "start /usr/share/applications/quelmint.desktop menu\n"
                               "while [ ! -e logon-go ]; do sleep 0.1; done\n"
                               "start '%2/.config/autostart/Quelmint.desktop' logon\n")
                    .arg(kUser)
                    .arg(home),
        QStringLiteral("-screen 0 800x600x24 -ac")));

    const QString dataFolder = home + QStringLiteral("/.local/share/Quelmint/Quelmint/Usage Logs");
    const QString yearFile =
        dataFolder + QStringLiteral("/%1.log").arg(QDate::currentDate().year());

    // One run: waits for capture as the user, sends datagrams, ends it with SIGTERM.
    // Returns the bytes received that the year file holds afterwards.
    const auto oneRun = [&](const QString& name) -> double {
        const pid_t pid = pid_t(program.pid(QStringLiteral("pid.") + name));
        EXPECT_GT(pid, 0) << name.toStdString();
        if (pid <= 0)
            return -1;
        EXPECT_TRUE(waitUntilCapturing(pid, 60000))
            << name.toStdString() << ": no capture\n"
            << readFile(root + u'/' + name + QStringLiteral(".log")).toStdString();
        // It is the installed program, running as the user.
        EXPECT_EQ(QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget(), kProgram);
        const QByteArray status = readFile(QStringLiteral("/proc/%1/status").arg(pid));
        const QRegularExpressionMatch uid =
            QRegularExpression(QStringLiteral("\nUid:\\s+(\\d+)\\s+(\\d+)"))
                .match(QString::fromLatin1(status));
        EXPECT_EQ(uid.captured(1), QString::number(kUser)) << name.toStdString();
        EXPECT_EQ(uid.captured(2), QString::number(kUser)) << name.toStdString();

        const QString before = QString::fromUtf8(readFile(yearFile));
        const QString session = dataFolder + QStringLiteral("/_session.log");
        EXPECT_EQ(sendAfterTheFirst(pair, kPort, kDatagrams, kPayload, kFrameBytes, session),
                  kDatagrams)
            << name.toStdString() << ": " << readFile(session).toStdString();
        EXPECT_TRUE(waitUntilReceived(session, double(kDatagrams) * kFrameBytes))
            << name.toStdString() << ": " << readFile(session).toStdString();
        if (name == QStringLiteral("menu")) {
            // The window shows the datagrams: their second's speed, above the full scale of
            // 1000 bytes/s, rises as a column in the graph once the next samples are drawn.
            const QString shot = root + QStringLiteral("/installed.png");
            QByteArray said;
            int column = 0;
            EXPECT_TRUE(waitUntil(
                [&] {
                    QFile::remove(shot);
                    run(QStringLiteral("ip"),
                        {QStringLiteral("netns"), QStringLiteral("exec"), pair.nsA(),
                         QStringLiteral("env"),
                         QStringLiteral("DISPLAY=") +
                             QString::fromLatin1(
                                 readFile(root + QStringLiteral("/display")).trimmed()),
                         QStringLiteral("import"), QStringLiteral("-window"),
                         QStringLiteral("root"), shot},
                        &said, 30000);
                    column = longestTraceColumn(QImage(shot));
                    return column >= 40;
                },
                60000))
                << "longest column of the trace colour: " << column << "; " << said.toStdString();
            EXPECT_TRUE(QFile::exists(keepPicture(shot, QStringLiteral("package-installed.png"))))
                << said.toStdString();
        }
        EXPECT_EQ(::kill(pid, SIGTERM), 0);
        const QString rcFile = root + u'/' + name + QStringLiteral(".rc");
        EXPECT_TRUE(waitUntil([&] { return !readFile(rcFile).isEmpty(); }, 30000))
            << name.toStdString();
        EXPECT_EQ(readFile(rcFile).trimmed(), QByteArray("0"))
            << readFile(root + u'/' + name + QStringLiteral(".log")).toStdString();
        // Every day's figures of every year file: a run across midnight may split them.
        double received = 0;
        const QStringList years =
            QDir(dataFolder).entryList({QStringLiteral("[0-9]*.log")}, QDir::Files);
        EXPECT_FALSE(years.isEmpty()) << name.toStdString();
        for (const QString& year : years)
            for (const QByteArray& line : readFile(dataFolder + u'/' + year).split('\n'))
                if (const QList<double> f = usageFigures(line); !f.isEmpty())
                    received += f[1];
        return received;
    };

    // From the menu.
    EXPECT_EQ(oneRun(QStringLiteral("menu")), double(kDatagrams) * kFrameBytes);
    EXPECT_EQ(readFile(root + QStringLiteral("/menu.exec")).trimmed(), QByteArray("quelmint"));
    // The log-on entry it left runs the installed program.
    const QString autostart = home + QStringLiteral("/.config/autostart/Quelmint.desktop");
    EXPECT_TRUE(readText(autostart).contains(QStringLiteral("\nExec=/usr/bin/quelmint\n")))
        << readText(autostart).toStdString();
    // From the log-on entry: the same day's figures grow by what it counted.
    ASSERT_TRUE(writeFile(root + QStringLiteral("/logon-go"), "1"));
    EXPECT_EQ(oneRun(QStringLiteral("logon")), 2.0 * kDatagrams * kFrameBytes);
    EXPECT_EQ(readFile(root + QStringLiteral("/logon.exec")).trimmed(),
              QByteArray("/usr/bin/quelmint"));
    EXPECT_TRUE(program.finished(30000));

    // Nothing was written beside the installed program.
    EXPECT_FALSE(QFile::exists(QStringLiteral("/usr/bin/Usage Logs")));
    const QByteArray settings = readFile(home + QStringLiteral("/.config/Quelmint/Quelmint.conf"));
    const QByteArray entry = readFile(autostart);
    const QByteArray year = readFile(yearFile);
    EXPECT_TRUE(settings.contains("Interface=" + pair.nameA().toUtf8())) << settings.toStdString();

    // Purged, the program is gone and the user's files are as they were.
    ASSERT_EQ(dpkg({QStringLiteral("--purge"), QStringLiteral("quelmint")}, &out), 0)
        << out.toStdString();
    EXPECT_FALSE(packageKnown());
    EXPECT_FALSE(QFile::exists(kProgram));
    EXPECT_FALSE(QFile::exists(QStringLiteral("/usr/share/applications/quelmint.desktop")));
    EXPECT_FALSE(settings.isEmpty());
    EXPECT_EQ(readFile(home + QStringLiteral("/.config/Quelmint/Quelmint.conf")), settings);
    EXPECT_EQ(readFile(autostart), entry);
    EXPECT_EQ(readFile(yearFile), year);
    std::printf("install, two runs as a user and purge: %.1f s\n", took.elapsed() / 1000.0);
}

TEST_F(DebianPackage, AStatOverrideRestrictsTheHelperToAGroupAndKeepsItsCapability) {
    SKIP_WITHOUT_NETNS("setpriv", "getcap", "dpkg-statoverride", "dpkg-reconfigure");
    // The group adm (gid 4) is in every Debian system; the override is taken away afterwards.
    QByteArray out;
    ASSERT_NE(run(QStringLiteral("dpkg-statoverride"), {QStringLiteral("--list"), kHelper}, &out),
              0)
        << "an override for " << kHelper.toStdString() << " exists already: " << out.toStdString();
    ASSERT_NO_FATAL_FAILURE(install(out));
    Finally purge([] { purgeIfInstalled(); });
    Finally dropOverride([] {
        run(QStringLiteral("dpkg-statoverride"), {QStringLiteral("--remove"), kHelper});
    });
    // As the package's text says: the override, then the capability granted again.
    ASSERT_EQ(run(QStringLiteral("dpkg-statoverride"),
                  {QStringLiteral("--update"), QStringLiteral("--add"), QStringLiteral("root"),
                   QStringLiteral("adm"), QStringLiteral("0750"), kHelper},
                  &out),
              0)
        << out.toStdString();
    QByteArray reconfigured;
    ASSERT_EQ(run(QStringLiteral("dpkg-reconfigure"),
                  {QStringLiteral("-fnoninteractive"), QStringLiteral("quelmint")}, &reconfigured),
              0)
        << reconfigured.toStdString();
    EXPECT_TRUE(reconfigured.contains("granted the capture helper " + kHelper.toUtf8()))
        << reconfigured.toStdString();

    const QFileInfo info(kHelper);
    EXPECT_EQ(info.groupId(), 4u);
    EXPECT_EQ(info.ownerId(), 0u);
    EXPECT_EQ(info.permissions() & 0x7777, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                               QFileDevice::ExeOwner | QFileDevice::ReadUser |
                                               QFileDevice::WriteUser | QFileDevice::ExeUser |
                                               QFileDevice::ReadGroup | QFileDevice::ExeGroup);
    QByteArray caps;
    ASSERT_EQ(run(QStringLiteral("getcap"), {kHelper}, &caps), 0);
    EXPECT_TRUE(caps.contains("cap_net_raw=ep")) << caps.toStdString();

    // Started without arguments the helper stops at once with its one line: enough to see who
    // may run it. A member of the group may; anybody else is refused by the system.
    const auto runAs = [](const QStringList& groups, QByteArray* said) {
        QStringList args{QStringLiteral("--reuid=%1").arg(kUser),
                         QStringLiteral("--regid=%1").arg(kUser)};
        args << (groups.isEmpty() ? QStringLiteral("--clear-groups")
                                  : QStringLiteral("--groups=") + groups.join(u','));
        args << QStringLiteral("env") << QStringLiteral("-i") << QStringLiteral("HOME=/nonexistent")
             << kHelper;
        return run(QStringLiteral("setpriv"), args, said, 30000);
    };
    QByteArray member, stranger;
    EXPECT_EQ(runAs({QStringLiteral("4")}, &member), 2) << member.toStdString();
    EXPECT_TRUE(member.contains("quelmint-capture: --interface is missing"))
        << member.toStdString();
    EXPECT_EQ(runAs({}, &stranger), 126) << stranger.toStdString();
    EXPECT_TRUE(stranger.contains("Permission denied")) << stranger.toStdString();
}
