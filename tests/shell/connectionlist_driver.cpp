// The main window with real capture on a real display, showing the "Packets" tab, for the live
// test of the packet list. Run in its working folder, which receives the usage logs and these
// files: "dump" asks for rows.txt (the list's rows, "|"-joined, then "lookups <address> <n>"
// lines, "answered <address> <name, or - for none>" lines, "frames <counted>", "receivedBytes <n>",
// "rows <n>", "paints <n>" (repaints of the list) and "maxGapMs <n>" (longest stand-still of the
// event loop)), "quit" ends the program in order.
//
//   connectionlist_driver [--names]      (--names: "Resolve IP" on from the start)

#include "monitor/MonitorSession.h"
#include "platform/CaptureLibraryCheck.h"
#include "platform/HelperCapture.h"
#include "platform/QHostInfoResolver.h"
#include "platform/QSettingsStore.h"
#include "platform/RealFileSystem.h"
#include "platform/SystemClock.h"
#include "platform/fakes/FakeAutostart.h"
#include "platform/fakes/FakeSingleInstance.h"
#include "platform/gui/QtMessageBoxes.h"
#include "platform/gui/QtTrayIcon.h"
#include "shell/Form1.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QMap>
#include <QTabBar>
#include <QTableView>
#include <QTimer>

namespace {

/// Counts the lookups per address on the way to the system resolver, and keeps the answers.
class CountingResolver final : public HostNameResolver {
public:
    CountingResolver() {
        real_.setAnswerHandler([this](const IpAddress& a, const std::optional<QByteArray>& n) {
            answered[a.text()] = n.value_or(QByteArrayLiteral("-"));
            answer(a, n);
        });
    }
    void lookUp(const IpAddress& address) override {
        ++asked[address.text()];
        real_.lookUp(address);
    }
    QMap<QString, int> asked;
    QMap<QString, QByteArray> answered;

private:
    QHostInfoResolver real_;
};

class PaintCounter final : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++paints;
        return QObject::eventFilter(watched, event);
    }
    int paints = 0;
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quelmint"));
    QApplication::setOrganizationName(QStringLiteral("Quelmint"));
    QApplication::setQuitOnLastWindowClosed(false);
    const bool names = app.arguments().contains(QStringLiteral("--names"));

    SystemClock clock;
    QtMessageBoxes boxes;
    QtTrayIcon trayIcon;
    QSettingsStore store;
    FakeAutostart autostart;
    FakeSingleInstance singleInstance;
    RealFileSystem fileSystem;
    CountingResolver resolver;
    const QString folder = QDir::currentPath();
    ShellServices services{clock,
                           boxes,
                           trayIcon,
                           store,
                           autostart,
                           singleInstance,
                           fileSystem,
                           CaptureLibraryCheck::system(),
                           [] {
                               // The helper of this build tree (the driver is in tests/shell).
                               return std::make_unique<HelperCapture>(HelperCapture::locate(
                                   QCoreApplication::applicationDirPath() + "/../../app"));
                           },
                           folder,
                           folder + QStringLiteral("/appdata"),
                           2000,
                           nullptr,
                           nullptr,
                           &resolver};
    Form1 window(services);
    boxes.setParent(&window);
    QObject::connect(&window, &Form1::unloaded, &app, &QApplication::quit, Qt::QueuedConnection);
    if (window.load() == Form1::StartResult::Ended || window.isUnloaded())
        return 3;
    window.findChild<QTabBar*>(QStringLiteral("TabStrip1"))->setCurrentIndex(1); // "Packets"
    window.session().setResolveNames(names);
    window.show();

    QTableView* list = window.findChild<QTableView*>(QStringLiteral("ListView1"));
    PaintCounter paints;
    if (list)
        list->viewport()->installEventFilter(&paints);

    // How long the window stood still at most (a 50 ms timer's largest gap).
    QElapsedTimer sinceTick;
    sinceTick.start();
    qint64 maxGap = 0;
    QTimer heartbeat;
    QObject::connect(&heartbeat, &QTimer::timeout,
                     [&] { maxGap = std::max(maxGap, sinceTick.restart()); });
    heartbeat.start(50);

    QTimer requests;
    QObject::connect(&requests, &QTimer::timeout, [&] {
        if (QFile::exists(QStringLiteral("quit"))) {
            QFile::remove(QStringLiteral("quit"));
            window.exitProgram();
            return;
        }
        if (!QFile::exists(QStringLiteral("dump")))
            return;
        QFile::remove(QStringLiteral("dump"));
        QByteArray text;
        const QAbstractItemModel* model = list ? list->model() : nullptr;
        for (int r = 0; model && r < model->rowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < model->columnCount(); ++c)
                cells << model->index(r, c).data().toString();
            text += cells.join(QLatin1Char('|')).toUtf8() + '\n';
        }
        for (auto it = resolver.asked.cbegin(); it != resolver.asked.cend(); ++it)
            text += "lookups " + it.key().toUtf8() + ' ' + QByteArray::number(it.value()) + '\n';
        for (auto it = resolver.answered.cbegin(); it != resolver.answered.cend(); ++it)
            text += "answered " + it.key().toUtf8() + ' ' + it.value() + '\n';
        text +=
            "frames " + QByteArray::number(window.session().frames().packetCount, 'f', 0) + '\n';
        text +=
            "receivedBytes " +
            QByteArray::number(
                window.session().frames().counters.transfer(TrafficCounters::Received), 'f', 0) +
            '\n';
        text += "rows " + QByteArray::number(model ? model->rowCount() : 0) + '\n';
        text += "paints " + QByteArray::number(paints.paints) + '\n';
        text += "maxGapMs " + QByteArray::number(maxGap) + '\n';
        QFile out(QStringLiteral("rows.tmp"));
        if (out.open(QIODevice::WriteOnly)) {
            out.write(text);
            out.close();
            QFile::remove(QStringLiteral("rows.txt"));
            QFile::rename(QStringLiteral("rows.tmp"), QStringLiteral("rows.txt"));
        }
    });
    requests.start(100);
    return QApplication::exec();
}
