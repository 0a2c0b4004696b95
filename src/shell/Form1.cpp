#include "shell/Form1.h"

#include <QGroupBox>
#include <QTabBar>
#include <QVBoxLayout>

Form1::Form1(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Quelmint"));
    auto* layout = new QVBoxLayout(this);
    TabStrip1 = new QTabBar(this);
    TabStrip1->setObjectName(QStringLiteral("TabStrip1"));
    TabStrip1->addTab(QStringLiteral("Bytes"));
    TabStrip1->addTab(QStringLiteral("Packets"));
    TabStrip1->addTab(QStringLiteral("Log"));
    layout->addWidget(TabStrip1);
    auto* frame = new QGroupBox(this);
    frame->setObjectName(QStringLiteral("fraStats"));
    frame->setMinimumSize(320, 200);
    layout->addWidget(frame);
}
