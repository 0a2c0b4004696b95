#pragma once

#include "platform/CaptureLibraryCheck.h"

#include <QString>

#include <functional>
#include <memory>

class AddressChanges;
class Autostart;
class Browser;
class CaptureComponent;
class Clock;
class CursorSource;
class FileSystem;
class HostNameResolver;
class InterfaceCounters;
class MessageBoxes;
class SettingsStore;
class SingleInstance;
class TrayIcon;

/// Everything the program (the monitoring session and the main window) takes from the outside
/// world. main() passes the real implementations, tests pass fakes. All references must outlive
/// the session and the window.
struct ShellServices {
    Clock& clock;                   ///< tick count, date-time, today
    MessageBoxes& boxes;            ///< every message box
    TrayIcon& trayIcon;             ///< the notification icon
    SettingsStore& store;           ///< the per-user settings
    Autostart& autostart;           ///< the start-at-log-on list
    SingleInstance& singleInstance; ///< one running instance per user
    FileSystem& fileSystem;         ///< usage log files
    /// The capture library's version test.
    CaptureLibraryCheck libraryCheck;
    /// Creates the capture component; throws CaptureError when it cannot be created.
    std::function<std::unique_ptr<CaptureComponent>()> createCapture;
    /// The folder of the program file: the usage logs and the log-on entry refer to it.
    QString programFolder;
    /// Where the usage logs go when the program's folder is not writable.
    QString appDataFolder;
    /// Interval of the adapter-recovery poll (2000 ms in the program).
    int recoveryIntervalMs = 2000;
    /// The web browser for the about window's home-page link; null: the link does nothing.
    Browser* browser = nullptr;
    /// The cursor image that places the toolbar's tooltips; null: the window system's.
    CursorSource* cursor = nullptr;
    /// Reverse name lookups for "Resolve IP"; null: the system resolver.
    HostNameResolver* nameResolver = nullptr;
    /// The kernel's adapter counters, for traffic carried while not watched; null: not recorded.
    InterfaceCounters* interfaceCounters = nullptr;
    /// Shortest time between two refreshes of the window while frames flow (50 ms in the
    /// program: at most 20 a second); 0: after every batch.
    int refreshIntervalMs = 50;
    /// Changes of the adapters' addresses while capture runs; null: they are read at its start.
    AddressChanges* addressChanges = nullptr;
};
