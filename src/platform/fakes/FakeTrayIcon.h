#pragma once

#include "platform/TrayIcon.h"

#include <QList>
#include <QStringList>

/// Records every call instead of showing an icon; clicks are simulated with click().
class FakeTrayIcon final : public TrayIcon {
public:
    /// One balloon as it was shown.
    struct Balloon {
        QString text;
        QString title;
        int icon = 0;
    };

    bool isAvailable() const override { return available; }
    void add(int picture, const QString& tip) override {
        calls.append(QStringLiteral("add %1").arg(picture));
        if (shown)
            return; // like the system: adding an icon that exists changes nothing
        shown = true;
        this->picture = picture;
        this->tip = tip;
    }
    void modify(int picture, const QString& tip) override {
        calls.append(QStringLiteral("modify %1").arg(picture));
        if (!shown)
            return;
        this->picture = picture;
        this->tip = tip;
        pictures.append(picture);
    }
    void showBalloon(const QString& text, const QString& title, int icon) override {
        calls.append(QStringLiteral("balloon ") + title);
        balloons.append({text, title, icon});
        balloonShowing = true;
    }
    void hideBalloon() override {
        calls.append(QStringLiteral("hideBalloon"));
        balloonShowing = false;
    }
    void remove() override {
        calls.append(QStringLiteral("remove"));
        shown = false;
    }
    void setMouseHandler(MouseHandler handler) override { handler_ = std::move(handler); }

    /// Simulates a mouse action on the icon.
    void click(int message) {
        if (handler_)
            handler_(message);
    }
    /// Titles of the balloons shown so far.
    QStringList balloonTitles() const {
        QStringList titles;
        for (const Balloon& b : balloons)
            titles.append(b.title);
        return titles;
    }

    bool available = true;       ///< what isAvailable() answers
    bool shown = false;          ///< the icon is in the notification area
    int picture = 0;             ///< picture on screen
    QString tip;                 ///< tip on screen
    bool balloonShowing = false; ///< a balloon is up
    QList<Balloon> balloons;     ///< every balloon, oldest first
    QList<int> pictures;         ///< every picture set by modify, oldest first
    QStringList calls;           ///< every call in order: "add 1", "modify 5", "balloon <title>"...

private:
    MouseHandler handler_;
};
