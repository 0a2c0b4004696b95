#pragma once

#include <QWidget>

class QTabBar;

/// The main window.
class Form1 final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Form1)

public:
    explicit Form1(QWidget* parent = nullptr);

private:
    QTabBar* TabStrip1 = nullptr;
};
