#include "platform/HelperCapture.h"
#include "platform/LocalSingleInstance.h"
#include "platform/NetlinkAddressChanges.h"
#include "platform/QSettingsStore.h"
#include "platform/RealFileSystem.h"
#include "platform/SysfsInterfaceCounters.h"
#include "platform/SystemClock.h"
#include "platform/UnixSignalWatcher.h"
#include "platform/XdgAutostart.h"
#include "platform/gui/DesktopBrowser.h"
#include "platform/gui/QtMessageBoxes.h"
#include "platform/gui/QtTrayIcon.h"
#include "settings/Settings.h"
#include "shell/Form1.h"
#include "usage/LogFolder.h"
#include "usage/UsageExport.h"

#include <QApplication>
#include <QSessionManager>
#include <QStandardPaths>

#include <cstdio>
#include <cstdlib>

namespace {
bool haveDisplay() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform != nullptr && *platform != '\0')
        return true; // the caller chose a platform (offscreen, xcb, wayland)
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x != nullptr && *x != '\0') || (wayland != nullptr && *wayland != '\0');
}

/// `--export=...`: prints the stored history and returns the exit status, touching nothing
/// (it may run while the program runs); -1 when the arguments ask for no export.
int exportUsage(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QString error;
    const std::optional<UsageExport::Request> request =
        UsageExport::fromArguments(arguments, &error);
    if (!error.isEmpty()) {
        std::fprintf(stderr, "quelmint: %s\n", qPrintable(error));
        return 2;
    }
    if (!request)
        return -1;
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Quelmint"));
    QCoreApplication::setOrganizationName(QStringLiteral("Quelmint"));
    RealFileSystem fileSystem;
    const UsageHistory history = UsageHistory::read(
        fileSystem,
        LogFolder::existing(fileSystem, QCoreApplication::applicationDirPath(),
                            QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)));
    // The data plan as the program would read it (a value it cannot use is no plan here too).
    QSettingsStore store;
    Settings settings;
    settings.loadSettings(store);
    const QByteArray out =
        UsageExport::render(history, *request,
                            UsageExport::planOf(history, settings.gPlanAllowance,
                                                settings.gPlanStartDay, QDate::currentDate()));
    std::fwrite(out.constData(), 1, std::size_t(out.size()), stdout);
    if (history.unreadableLines > 0)
        std::fprintf(stderr, "quelmint: left out %d %s of the usage log that could not be read\n",
                     history.unreadableLines, history.unreadableLines == 1 ? "line" : "lines");
    return std::fflush(stdout) == 0 ? 0 : 1;
}
} // namespace

int main(int argc, char** argv) {
    if (const int exported = exportUsage(argc, argv); exported >= 0)
        return exported;
    if (!haveDisplay()) {
        std::fprintf(stderr, "quelmint: no display found (neither DISPLAY nor WAYLAND_DISPLAY is "
                             "set); start it from a desktop session.\n");
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quelmint"));
    QApplication::setOrganizationName(QStringLiteral("Quelmint"));
    // Desktops match the window to the menu entry (and its icon) by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("quelmint"));
    // The window hides in the notification area; only the orderly shutdown ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    SystemClock clock;
    QtMessageBoxes boxes;
    QtTrayIcon trayIcon;
    QSettingsStore store;
    XdgAutostart autostart;
    LocalSingleInstance singleInstance;
    RealFileSystem fileSystem;
    DesktopBrowser browser;
    SysfsInterfaceCounters interfaceCounters;

    ShellServices services{clock,
                           boxes,
                           trayIcon,
                           store,
                           autostart,
                           singleInstance,
                           fileSystem,
                           CaptureLibraryCheck::system(),
                           [] {
                               return std::make_unique<HelperCapture>(
                                   HelperCapture::locate(QApplication::applicationDirPath()));
                           },
                           QApplication::applicationDirPath(),
                           QStandardPaths::writableLocation(QStandardPaths::AppDataLocation),
                           2000,
                           &browser};
    services.interfaceCounters = &interfaceCounters;
    NetlinkAddressChanges addressChanges;
    services.addressChanges = &addressChanges;

    Form1 window(services);
    boxes.setParent(&window);
    QObject::connect(&window, &Form1::unloaded, &app, &QApplication::quit, Qt::QueuedConnection);

    // Termination signals and the end of the desktop session run the orderly shutdown.
    UnixSignalWatcher signalWatcher;
    QObject::connect(&signalWatcher, &UnixSignalWatcher::terminationRequested, &window,
                     [&window](int) { window.exitProgram(); });
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &window,
                     [&window](QSessionManager&) { window.exitProgram(); });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &window, [&window] { window.unload(); });

    if (window.load() == Form1::StartResult::Ended)
        return 0;
    if (window.isUnloaded())
        return 0;
    return QApplication::exec();
}
