// The program's message boxes: centred over the main window while it is on screen, else on the
// screen, with the icon of their kind.
#include "platform/gui/QtMessageBoxes.h"
#include "support/TestApp.h"

#include <QApplication>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

namespace {
/// What a box looked like while it was open.
struct Seen {
    QRect frame;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool hasPicture = false;
    QString title;
};

/// Shows a box through boxes and closes it as soon as it is up.
Seen showAndClose(QtMessageBoxes& boxes, BoxIcon icon, const QString& title = QString()) {
    Seen seen;
    QTimer::singleShot(0, [&seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr)
            return;
        seen = {box->frameGeometry(), box->icon(), !box->iconPixmap().isNull(),
                box->windowTitle()};
        box->done(0);
    });
    boxes.show(icon, title, QStringLiteral("Error in Load:\r\nThe stored setting is not usable."));
    return seen;
}

/// Distance of the centres of two rectangles, in pixels along the longer axis.
int offCentre(const QRect& a, const QRect& b) {
    const QPoint d = (a.topLeft() + a.bottomRight()) - (b.topLeft() + b.bottomRight());
    return std::max(std::abs(d.x()), std::abs(d.y())) / 2;
}
} // namespace

TEST(QtMessageBoxes, CentredOverTheWindowOnScreenElseOnTheScreen) {
    ensureApp<QApplication>();
    QApplication::setApplicationName(QStringLiteral("Quelmint"));
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    enum class Window { Shown, NotYetShown, Hidden, None };
    const struct {
        const char* name;
        Window window;
        bool overWindow; // else over the screen
    } cases[] = {{"over the main window", Window::Shown, true},
                 {"the main window not placed yet", Window::NotYetShown, false},
                 {"the main window hidden in the tray", Window::Hidden, false},
                 {"no main window", Window::None, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto window = std::make_unique<QWidget>();
        window->resize(443, 391);
        if (c.window == Window::Shown || c.window == Window::Hidden) {
            window->move(screen.x() + 30, screen.y() + 40); // away from the screen's centre
            window->show();
        }
        if (c.window == Window::Hidden)
            window->hide();
        QtMessageBoxes boxes(c.window == Window::None ? nullptr : window.get());
        const Seen seen = showAndClose(boxes, BoxIcon::Critical);
        ASSERT_TRUE(seen.frame.isValid());
        const QRect target = c.overWindow ? window->frameGeometry() : screen;
        EXPECT_LE(offCentre(seen.frame, target), 1)
            << seen.frame.x() << "," << seen.frame.y() << " " << seen.frame.width() << "x"
            << seen.frame.height();
    }
}

TEST(QtMessageBoxes, EachKindHasItsIconAndTheTitle) {
    ensureApp<QApplication>();
    QApplication::setApplicationName(QStringLiteral("Quelmint"));
    const struct {
        BoxIcon kind;
        QMessageBox::Icon icon;
        const char* title;
    } cases[] = {{BoxIcon::Critical, QMessageBox::Critical, ""},
                 {BoxIcon::Warning, QMessageBox::Warning, "Adapter"},
                 {BoxIcon::Information, QMessageBox::Information, ""},
                 {BoxIcon::None, QMessageBox::NoIcon, "Error"}};
    QtMessageBoxes boxes;
    for (const auto& c : cases) {
        const Seen seen = showAndClose(boxes, c.kind, QString::fromLatin1(c.title));
        EXPECT_EQ(seen.icon, c.icon);
        EXPECT_EQ(seen.hasPicture, c.icon != QMessageBox::NoIcon) << int(c.icon);
        EXPECT_EQ(seen.title, *c.title ? QString::fromLatin1(c.title) : QStringLiteral("Quelmint"));
    }
    EXPECT_FALSE(boxes.isOpen());
}
