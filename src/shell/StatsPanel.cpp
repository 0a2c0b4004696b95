#include "shell/StatsPanel.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

namespace {
QLabel* makeLabel(QWidget* parent, const QString& name, const QString& text,
                  Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setAlignment(alignment);
    return label;
}
} // namespace

StatsPanel::StatsPanel(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("StatsPanel"));
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(6, 6, 6, 6);

    static const char* const kRowNames[] = {"Received", "Sent", "Passthru", "Total"};
    static const char* const kRowCaptions[] = {"Download", "Upload", "Pass-by", "Total"};
    static const char* const kColumnSuffix[] = {"", "D", "H"};
    static const char* const kColumnCaptions[] = {"Transfer", "Data", "Headers"};

    for (int c = 0; c < TrafficCounters::kColumns; ++c)
        grid->addWidget(makeLabel(this, QStringLiteral("lblColumn%1").arg(kColumnCaptions[c]),
                                  QString::fromLatin1(kColumnCaptions[c]),
                                  Qt::AlignRight | Qt::AlignVCenter),
                        0, c + 1);
    const Qt::Alignment right = Qt::AlignRight | Qt::AlignVCenter;
    for (int r = 0; r < TrafficCounters::kRows; ++r) {
        grid->addWidget(makeLabel(this, QStringLiteral("lblRow%1").arg(kRowNames[r]),
                                  QString::fromLatin1(kRowCaptions[r])),
                        r + 1, 0);
        for (int c = 0; c < TrafficCounters::kColumns; ++c) {
            const QString name = QStringLiteral("lbl%1%2").arg(kRowNames[r], kColumnSuffix[c]);
            counters_[r][c] = makeLabel(this, name, QStringLiteral("0 B"), right);
            grid->addWidget(counters_[r][c], r + 1, c + 1);
        }
    }

    Label5_ = makeLabel(this, QStringLiteral("Label5"), QStringLiteral("Packets: "));
    lblPackets_ = makeLabel(this, QStringLiteral("lblPackets"), QStringLiteral("0"));
    Label3_ = makeLabel(this, QStringLiteral("Label3"), QStringLiteral("Duration:"));
    lblDuration_ = makeLabel(this, QStringLiteral("lblDuration"), QStringLiteral("00:00:00"));
    Label9_ = makeLabel(this, QStringLiteral("Label9"), QStringLiteral("Avg speed:"));
    lblAvgSpeed_ = makeLabel(this, QStringLiteral("lblAvgSpeed"), QString());
    grid->addWidget(Label5_, 5, 0);
    grid->addWidget(lblPackets_, 5, 1);
    grid->addWidget(Label3_, 6, 0);
    grid->addWidget(lblDuration_, 6, 1, 1, 2);
    grid->addWidget(Label9_, 7, 0);
    grid->addWidget(lblAvgSpeed_, 7, 1, 1, 2);

    cmdReset_ = new QPushButton(QStringLiteral("Reset Statistics"), this);
    cmdReset_->setObjectName(QStringLiteral("cmdReset"));
    grid->addWidget(cmdReset_, 8, 0, 1, 4);
    connect(cmdReset_, &QPushButton::clicked, this, &StatsPanel::resetClicked);
}

void StatsPanel::setCounterText(TrafficCounters::Row row, TrafficCounters::Column column,
                                const QString& text) {
    QLabel* label = counters_[row][column];
    if (label->text() != text)
        label->setText(text);
}

void StatsPanel::setPacketsText(const QString& text) {
    lblPackets_->setText(text);
}

void StatsPanel::setDurationText(const QString& text) {
    lblDuration_->setText(text);
}

void StatsPanel::setAvgSpeedText(const QString& text) {
    lblAvgSpeed_->setText(text);
}
