#pragma once

#include "monitor/ShellServices.h"

#include <QWidget>

#include <memory>

class CaptureLossView;
class ConnectionListView;
class CursorSource;
class MonitorSession;
class PictureBox;
class StatsPanel;
class TabLayout;
class Toolbar;
class UsageLogView;
class frmStopWatch;
class QAction;
class QDialog;
class QGroupBox;
class QMenu;
class QPushButton;
class QTabBar;

/// The main window, a view of the monitoring session (MonitorSession, which it creates): it
/// builds the controls, shows what the session tells through its signals and view ports, and
/// forwards the user's actions. load() is the start-up sequence, unload() the orderly shutdown.
class Form1 final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Form1)

public:
    /// How start-up ended.
    enum class StartResult {
        Running, ///< the window is up (or hidden in the notification area)
        Ended    ///< a start check ended the process; nothing was shown or written
    };

    /// Builds the controls (hidden) and the session; nothing starts before load().
    explicit Form1(ShellServices& services, QWidget* parent = nullptr);
    ~Form1() override;

    /// The start-up sequence. Ended: the caller ends the process at once.
    StartResult load();
    /// The orderly shutdown; runs once, later calls do nothing. Emits unloaded().
    void unload();
    /// "Exit": shuts down whatever close-to-tray says, and closes the window.
    void exitProgram();
    /// True once unload() has run.
    bool isUnloaded() const { return unloaded_; }

    /// Shows a dialog modally, owned by the main window, restoring the window first.
    int showOwnedDialog(QDialog& dialog);
    /// "Settings": opens the settings dialog and waits until it is closed.
    void openSettings();
    /// "Stopwatch" button and menu command: opens the stopwatch window.
    void openStopwatch();
    /// "About.." menu command: shows the about window and waits until it is closed.
    void openAbout();

    /// What the window shows.
    MonitorSession& session() { return *session_; }

signals:
    /// The shutdown sequence has finished; the process may end.
    void unloaded();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void buildControls();
    void buildMenu();
    void connectSession();
    bool loadPhaseB();
    void setUpUsageLog();
    void keepDayAccounting();
    void minimiseOrHide();
    bool canHideInTray() const;
    void commandClose();
    void onTrayMessage(int message);
    void showSpeedCaption();
    void createStopwatch();
    void stopwatchBackOnTop();
    void selectTab(int index);
    void toolbarClicked(int index, bool pressed);
    void setAlwaysOnTop(bool on);

    ShellServices& services_;
    std::unique_ptr<MonitorSession> session_; // first: the views below refer to it
    std::unique_ptr<CursorSource> systemCursor_;
    std::unique_ptr<ConnectionListView> connectionList_;
    std::unique_ptr<frmStopWatch> stopwatchWindow_;
    std::unique_ptr<TabLayout> tabLayout_;
    Toolbar* toolbar_ = nullptr;
    bool gIsTopmost = false;
    bool loaded_ = false;
    bool unloaded_ = false;
    bool exiting_ = false;

    QTabBar* TabStrip1 = nullptr;
    QWidget* clientArea_ = nullptr;
    QWidget* bytesPage_ = nullptr;
    QWidget* packetsPage_ = nullptr;
    QWidget* logPage_ = nullptr;
    StatsPanel* statsPanel_ = nullptr;
    UsageLogView* usageLogView_ = nullptr;
    CaptureLossView* captureLossView_ = nullptr;
    QGroupBox* Frame1 = nullptr;
    QGroupBox* Frame2 = nullptr;
    PictureBox* Picture1 = nullptr;
    PictureBox* Picture2 = nullptr;
    QGroupBox* Frame3 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* CmdStopwatch = nullptr;
    QMenu* mMenu = nullptr;
    QAction* mAbout = nullptr;
    QAction* mStopwatch = nullptr;
    QAction* mSettings = nullptr;
    QAction* mExit = nullptr;
};
