// The real program under a virtual display inside a network namespace, monitoring traffic sent
// at a steady rate from the other namespace: each tab is chosen with the mouse (xdotool) and
// pictured into build/artifacts, at 96 dpi and scaled by 1.5.
#include "support/RealProgram.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTabBar>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <thread>

namespace {
constexpr quint16 kPort = 41100;
// 120 frames of 200 bytes a second: 24 000 bytes/s, half of the default full scale.
constexpr int kPayload = 200 - 14 - 20 - 8;
constexpr int kFramesPerSecond = 120;

/// Sends datagrams at a steady rate from a namespace until stopped; a socket bound on the
/// receiving side takes them in.
class SteadySender final {
public:
    SteadySender(const QString& from, const QString& fromTo, const QString& to) {
        receiver_ = std::thread([this, fromTo] {
            NetnsEnter enter(fromTo);
            if (!enter.ok())
                return;
            const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
            sockaddr_in a = {};
            a.sin_family = AF_INET;
            a.sin_port = htons(kPort);
            if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
                timeval tv{0, 100000};
                ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
                char buffer[2048];
                bound_ = true;
                while (!stop_)
                    (void)::recv(fd, buffer, sizeof buffer, 0);
            }
            ::close(fd);
        });
        sender_ = std::thread([this, from, to] {
            NetnsEnter enter(from);
            if (!enter.ok())
                return;
            const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
            sockaddr_in dest = {};
            dest.sin_family = AF_INET;
            dest.sin_port = htons(kPort);
            ::inet_pton(AF_INET, to.toLatin1().constData(), &dest.sin_addr);
            const QByteArray data(kPayload, 'g');
            QElapsedTimer clock;
            clock.start();
            qint64 sent = 0;
            while (!stop_) {
                // Keep to the rate on average, whatever the sleeps take.
                const qint64 due = clock.elapsed() * kFramesPerSecond / 1000;
                for (; sent < due; ++sent)
                    (void)::sendto(fd, data.constData(), std::size_t(data.size()), 0,
                                   reinterpret_cast<sockaddr*>(&dest), sizeof dest);
                ::usleep(4000);
            }
            ::close(fd);
        });
    }
    ~SteadySender() {
        stop_ = true;
        sender_.join();
        receiver_.join();
    }
    SteadySender(const SteadySender&) = delete;
    SteadySender& operator=(const SteadySender&) = delete;

private:
    std::atomic<bool> stop_{false};
    std::atomic<bool> bound_{false};
    std::thread receiver_, sender_;
};

/// Where the tabs of the tab strip are, from a tab strip like the program's in this process's
/// style and font; the strip sits 4 pixels from the window's top left corner.
QList<QPoint> tabCentres() {
    QTabBar bar;
    for (const char* t : {"Bytes", "Packets", "Log"})
        bar.addTab(QString::fromLatin1(t));
    bar.setExpanding(false);
    bar.setGeometry(4, 4, 331, 24);
    QList<QPoint> centres;
    for (int i = 0; i < 3; ++i)
        centres << bar.tabRect(i).center() + QPoint(4, 4);
    return centres;
}

/// Pixels of exactly RGB(0, 255, 0): the trace, the lit meter rows and the figure.
int traceGreenPixels(const QImage& image) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if ((image.pixel(x, y) & 0xffffff) == 0x00ff00u)
                ++n;
    return n;
}

/// The share of full scale that the newest column of the chart reaches: the chart is the box of
/// grid-coloured pixels in the left two thirds of the picture (its vertical lines span its
/// height), the newest column the rightmost trace pixels inside it.
double newestColumnShare(const QImage& image) {
    QRect chart;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width() * 2 / 3; ++x)
            if ((image.pixel(x, y) & 0xffffff) == 0x008242u)
                chart |= QRect(x, y, 1, 1);
    int right = -1, top = -1;
    for (int x = chart.right(); x >= chart.left() && right < 0; --x)
        for (int y = chart.top(); y <= chart.bottom(); ++y)
            if ((image.pixel(x, y) & 0xffffff) == 0x00ff00u) {
                right = x;
                top = y;
                break;
            }
    if (right < 0 || chart.height() < 2)
        return -1;
    return double(chart.bottom() - top) / double(chart.height() - 1);
}

/// Columns of the chart (found as in newestColumnShare) whose trace reaches at least `share` of
/// full scale: one per sample drawn at that speed or more.
int risenColumns(const QImage& image, double share) {
    QRect chart;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width() * 2 / 3; ++x)
            if ((image.pixel(x, y) & 0xffffff) == 0x008242u)
                chart |= QRect(x, y, 1, 1);
    if (chart.height() < 2)
        return 0;
    const int level = chart.bottom() - int(share * (chart.height() - 1));
    int columns = 0;
    for (int x = chart.left(); x <= chart.right(); ++x)
        for (int y = chart.top(); y <= level; ++y)
            if ((image.pixel(x, y) & 0xffffff) == 0x00ff00u) {
                ++columns;
                break;
            }
    return columns;
}

class Screenshots : public ::testing::TestWithParam<double> {
protected:
    void SetUp() override {
        ensureApplication();
        // Packages xvfb, xauth, imagemagick, x11-utils and xdotool.
        SKIP_WITHOUT_NETNS("xvfb-run", "xauth", "import", "xwininfo", "xdotool");
        run_ = std::make_unique<ProgramRun>(QStringLiteral("gshot"), 100);
        ASSERT_TRUE(run_->ok());
        ASSERT_TRUE(run_->install(QStringLiteral("DisplayUnit=3\nSpeedUnit=1\nGraphStyle=1\n")));
    }

    std::unique_ptr<ProgramRun> run_;
};

TEST_P(Screenshots, EachTabChosenByMouseAndPictured) {
    const double scale = GetParam();
    const QString suffix = scale == 1.0 ? QString() : QStringLiteral("-x%1").arg(scale);
    const NetnsPair& pair = run_->pair;
    const QString& root = run_->root;
    // Log, then Packets, then back to Bytes, each by a click on its tab. The picture is taken
    // once the window has the tab's width and its tabs (the left of the strip; the figures
    // change all the time) are drawn: the same in two pictures a moment apart, and no longer
    // as they were for the tab before.
    const QStringList tabs = {QStringLiteral("log"), QStringLiteral("packets"),
                              QStringLiteral("bytes")};
    const int widths[] = {int(443 * scale), int(443 * scale), int(349 * scale)};
    const QList<QPoint> centres = tabCentres();
    const QString strip = QStringLiteral("%1x%2+0+0").arg(int(180 * scale)).arg(int(30 * scale));
    const int index[] = {2, 1, 0};
    QString steps;
    for (int i = 0; i < 3; ++i) {
        const QPoint at = centres[index[i]] * scale;
        steps += QStringLiteral(
                     "while [ ! -e go-%1 ]; do sleep 0.1; kill -0 $pid 2>/dev/null || break; done\n"
                     "id=$(xwininfo -name Quelmint 2>/dev/null | awk '/Window id/ {print $4}')\n"
                     "xdotool mousemove --window \"$id\" %2 %3 click 1 >> program.log 2>&1\n"
                     "n=0; while [ $n -lt 150 ]; do\n"
                     "  sleep 0.1; n=$((n+1))\n"
                     "  xwininfo -id \"$id\" | awk -v w=%4 '/Width:/ {d = $2 - w;"
                     " exit !(d <= 2 && d >= -2)}' || continue\n"
                     "  import -window \"$id\" png:try-a.png; sleep 0.1;"
                     " import -window \"$id\" png:try-b.png\n"
                     "  convert try-a.png -crop %5 +repage png:strip-a.png\n"
                     "  convert try-b.png -crop %5 +repage png:strip-b.png\n"
                     "  same strip-a.png strip-b.png || continue\n"
                     "  [ -e last-strip.png ] && same strip-b.png last-strip.png && continue\n"
                     "  break\n"
                     "done\n"
                     "cp strip-b.png last-strip.png; mv try-b.png shot-%1.png\n"
                     "touch done-%1\n")
                     .arg(tabs[i])
                     .arg(at.x())
                     .arg(at.y())
                     .arg(widths[i])
                     .arg(strip);
    }
    const QString script =
        QStringLiteral("same() { [ \"$(compare -metric AE \"$1\" \"$2\" null: 2>&1)\" = 0 ]; }\n"
                       "echo \"$DISPLAY $XAUTHORITY\" > display\n"
                       "QT_SCALE_FACTOR=%1 bin/quelmint > program.log 2>&1 &"
                       " pid=$!\n"
                       "echo $pid > pid\n"
                       "%2"
                       "kill -TERM $pid; wait $pid; echo $? > rc\n")
            .arg(scale)
            .arg(steps);
    ASSERT_TRUE(run_->start(script, QStringLiteral("-screen 0 1024x768x24")));
    const pid_t pid = pid_t(run_->pid());
    // Capture runs once the program holds a packet socket.
    EXPECT_TRUE(waitUntil(
        [&] { return readFile(QStringLiteral("/proc/%1/net/packet").arg(pid)).count('\n') >= 2; },
        30000));

    {
        SteadySender traffic(pair.nsB(), pair.nsA(), pair.addressA());
        // A few samples at the steady rate before the first picture: three columns of the
        // chart (on "Bytes", shown at start) at a third of full scale or more.
        const QList<QByteArray> display = readFile(root + QStringLiteral("/display")).split(' ');
        ASSERT_EQ(display.size(), 2);
        const QString screen = root + QStringLiteral("/samples.png");
        int columns = 0;
        EXPECT_TRUE(waitUntil(
            [&] {
                QFile::remove(screen);
                QProcess import;
                QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
                env.insert(QStringLiteral("DISPLAY"), QString::fromLocal8Bit(display[0]));
                env.insert(QStringLiteral("XAUTHORITY"),
                           QString::fromLocal8Bit(display[1].trimmed()));
                import.setProcessEnvironment(env);
                import.start(QStringLiteral("ip"),
                             {"netns", "exec", pair.nsA(), "import", "-window", "root", screen});
                import.waitForFinished(30000);
                columns = risenColumns(QImage(screen), 0.3);
                return columns >= 3;
            },
            60000))
            << "columns at the steady rate: " << columns;
        for (const QString& tab : tabs) {
            ASSERT_TRUE(writeFile(root + QStringLiteral("/go-") + tab, "1"));
            EXPECT_TRUE(waitUntil(
                [&] { return QFile::exists(root + QStringLiteral("/done-") + tab); }, 30000))
                << tab.toStdString();
        }
    }
    EXPECT_TRUE(run_->finished(30000));
    const QByteArray log = readFile(root + QStringLiteral("/program.log"));
    EXPECT_EQ(readFile(root + QStringLiteral("/rc")).trimmed(), QByteArray("0"))
        << log.toStdString();

    // Keep the pictures and look at their widths: the tab chosen by the click decides them.
    QMap<QString, QImage> shots;
    for (const QString& tab : tabs) {
        const QString kept = keepPicture(root + QStringLiteral("/shot-%1.png").arg(tab),
                                         QStringLiteral("tabs-%1%2.png").arg(tab, suffix));
        shots[tab] = QImage(kept);
        EXPECT_FALSE(shots[tab].isNull()) << tab.toStdString() << "\n" << log.toStdString();
        std::printf("%s: %dx%d\n", kept.toLocal8Bit().constData(), shots[tab].width(),
                    shots[tab].height());
    }
    auto near = [&](int width, int expected) { return std::abs(width - expected) <= 2; };
    EXPECT_TRUE(near(shots[QStringLiteral("log")].width(), int(443 * scale)));
    EXPECT_TRUE(near(shots[QStringLiteral("packets")].width(), int(443 * scale)));
    EXPECT_TRUE(near(shots[QStringLiteral("bytes")].width(), int(349 * scale)));
    EXPECT_NE(shots[QStringLiteral("log")], shots[QStringLiteral("packets")]);
    // The graph runs on "Bytes": trace, lit rows and figure in RGB(0, 255, 0); none elsewhere.
    EXPECT_GT(traceGreenPixels(shots[QStringLiteral("bytes")]), 100);
    EXPECT_EQ(traceGreenPixels(shots[QStringLiteral("packets")]), 0);
    // 24 000 bytes/s against the default full scale of 48 000: columns about half high (the
    // sender keeps the rate only roughly).
    const double share = newestColumnShare(shots[QStringLiteral("bytes")]);
    std::printf("newest column: %.2f of full scale\n", share);
    EXPECT_GT(share, 0.35);
    EXPECT_LT(share, 0.65);
}

INSTANTIATE_TEST_SUITE_P(Scales, Screenshots, ::testing::Values(1.0, 1.5));

} // namespace
