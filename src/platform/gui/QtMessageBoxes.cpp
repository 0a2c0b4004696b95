#include "platform/gui/QtMessageBoxes.h"

#include <QApplication>
#include <QMessageBox>

void QtMessageBoxes::show(BoxIcon icon, const QString& title, const QString& text) {
    QMessageBox box(parent_);
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
