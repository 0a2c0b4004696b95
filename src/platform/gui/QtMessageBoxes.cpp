#include "platform/gui/QtMessageBoxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QScreen>
#include <QShowEvent>

namespace {
/// A message box that places itself as it appears: centred over the main window while that is
/// on screen, else centred on the screen (never where a window not yet placed happens to be).
class CentredBox final : public QMessageBox {
public:
    using QMessageBox::QMessageBox;

protected:
    void showEvent(QShowEvent* event) override {
        QMessageBox::showEvent(event); // sizes the box to its text
        move(QtMessageBoxes::centreFor(parentWidget(), frameGeometry().size()) +
             (pos() - frameGeometry().topLeft()));
    }
};
} // namespace

QPoint QtMessageBoxes::centreFor(const QWidget* over, QSize size) {
    const QWidget* window = over != nullptr ? over->window() : nullptr;
    QRect area;
    if (window != nullptr && window->isVisible() && !window->isMinimized()) {
        area = window->frameGeometry();
    } else {
        const QScreen* screen = window != nullptr && window->screen() != nullptr
                                    ? window->screen()
                                    : QGuiApplication::primaryScreen();
        if (screen != nullptr)
            area = screen->availableGeometry();
    }
    return {area.x() + (area.width() - size.width()) / 2,
            area.y() + (area.height() - size.height()) / 2};
}

void QtMessageBoxes::show(BoxIcon icon, const QString& title, const QString& text) {
    CentredBox box(parent_);
    switch (icon) {
    case BoxIcon::Critical: box.setIcon(QMessageBox::Critical); break;
    case BoxIcon::Warning: box.setIcon(QMessageBox::Warning); break;
    case BoxIcon::Information: box.setIcon(QMessageBox::Information); break;
    case BoxIcon::None: box.setIcon(QMessageBox::NoIcon); break;
    }
    box.setWindowTitle(title.isEmpty() ? QApplication::applicationName() : title);
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    box.setText(shown);
    box.setObjectName(QStringLiteral("messageBox"));
    ++open_;
    box.exec();
    --open_;
}
