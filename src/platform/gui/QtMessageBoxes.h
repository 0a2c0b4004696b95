#pragma once

#include "platform/MessageBoxes.h"

#include <QPoint>
#include <QSize>
#include <QtGlobal>

class QWidget;

/// Message boxes shown with QMessageBox, modal to the main window, with the icon of their kind,
/// centred over the main window while it is on screen, else centred on the screen.
class QtMessageBoxes final : public MessageBoxes {
    Q_DISABLE_COPY_MOVE(QtMessageBoxes)

public:
    explicit QtMessageBoxes(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }
    void show(BoxIcon icon, const QString& title, const QString& text) override;
    bool isOpen() const override { return open_ > 0; }
    /// Top left of a box of this outer size: centred over the window of over when that is on
    /// screen, else centred on its screen (the primary screen without a window).
    static QPoint centreFor(const QWidget* over, QSize size);

private:
    QWidget* parent_;
    int open_ = 0;
};
