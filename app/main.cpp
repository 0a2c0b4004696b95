#include "platform/LocalSingleInstance.h"
#include "platform/HelperCapture.h"
#include "platform/QSettingsStore.h"
#include "platform/RealFileSystem.h"
#include "platform/SysfsInterfaceCounters.h"
#include "platform/SystemClock.h"
#include "platform/UnixSignalWatcher.h"
#include "platform/XdgAutostart.h"
#include "platform/gui/DesktopBrowser.h"
#include "platform/gui/QtMessageBoxes.h"
#include "platform/gui/QtTrayIcon.h"
#include "shell/Form1.h"

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
} // namespace

int main(int argc, char** argv) {
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
