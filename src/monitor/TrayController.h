#pragma once

#include <QString>
#include <QtGlobal>

class TrayIcon;

/// The notification icon's rules: which picture, which tip, how balloons replace each other.
/// Keeps the icon's current picture and tip between calls.
class TrayController final {
    Q_DISABLE_COPY_MOVE(TrayController)

public:
    /// Picture numbers.
    enum Picture { Idle = 1, Receiving = 2, Sending = 3, Both = 4, NoAdapter = 5 };
    /// Balloon icons.
    enum BalloonIcon { NoIcon = 0, Information = 1, Warning = 2, Error = 3 };

    explicit TrayController(TrayIcon& icon) : icon_(icon) {}

    /// Adds the icon with picture 1 and the current tip.
    void addTrayIcon();
    /// Replaces any balloon by this one; the icon shows picture 1 until the next update.
    void showBaloonTip(const QString& message, const QString& title, int icon);
    /// Takes a showing balloon down.
    void hideBaloonTip();
    /// Picture 5 with the tip "No adapter selected".
    void showNoAdapter();
    /// Sets a chosen picture and tip (cut to what the icon shows). The icon hears of a picture
    /// or tip only when it differs from what it shows.
    void update(int picture, const QString& tip);
    /// Removes the icon.
    void removeTrayIcon();

    /// The tip cut to what the icon shows.
    static QString cutTip(const QString& tip);

    /// True between addTrayIcon() and removeTrayIcon().
    bool isAdded() const { return added_; }
    /// Picture last set.
    int picture() const { return picture_; }
    /// Tip last set.
    const QString& tip() const { return tip_; }
    /// The icon itself.
    TrayIcon& icon() { return icon_; }

private:
    void send();

    TrayIcon& icon_;
    int sentPicture_ = 0; ///< what the added icon shows
    QString sentTip_;
    int picture_ = Idle;
    bool added_ = false;
    QString tip_;
};
