#pragma once

#include "platform/MessageBoxes.h"

#include <QtGlobal>

class QWidget;

/// Message boxes shown with QMessageBox, modal to the main window.
class QtMessageBoxes final : public MessageBoxes {
    Q_DISABLE_COPY_MOVE(QtMessageBoxes)

public:
    explicit QtMessageBoxes(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }
    void show(BoxIcon icon, const QString& title, const QString& text) override;
    bool isOpen() const override { return open_ > 0; }

private:
    QWidget* parent_;
    int open_ = 0;
};
