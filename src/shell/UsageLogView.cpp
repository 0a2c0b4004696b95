#include "shell/UsageLogView.h"

#include "shell/UsageChartWindow.h"
#include "speed/TrafficGraph.h"
#include "usage/DailyUsage.h"

#include <QComboBox>
#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QToolButton>
#include <QTreeWidget>

#include <algorithm>

namespace {

const char* const kMonths[] = {"Jan",  "Feb", "March", "April", "May", "June",
                               "July", "Aug", "Sept",  "Oct",   "Nov", "Dec"};

/// Twips to pixels at 96 dots per inch.
constexpr int px(int twips) {
    return (twips + 7) / 15;
}

/// The labels' distance from the status frame's left and right edges, inside its border.
constexpr int kFrameMargin = 6;

} // namespace

UsageLogView::UsageLogView(DailyUsage& daily, QWidget* parent) : QWidget(parent), daily_(daily) {
    setObjectName(QStringLiteral("UsageLogView"));

    ListView2 = new QTreeWidget(this);
    ListView2->setObjectName(QStringLiteral("ListView2"));
    ListView2->setRootIsDecorated(false);
    ListView2->setUniformRowHeights(true);
    ListView2->setSortingEnabled(false);
    ListView2->setFont(QFont(TrafficGraph::arialFamily()));
    ListView2->setHeaderLabels({QStringLiteral("Date"), QStringLiteral("Download"),
                                QStringLiteral("Upload"), QStringLiteral("Pass-by"),
                                QStringLiteral("Total")});
    const int widths[] = {94, 80, 80, 60, 80};
    for (int c = 0; c < 5; ++c)
        ListView2->setColumnWidth(c, widths[c]);
    // Amounts right-aligned, as on the "Bytes" tab.
    for (int c = 1; c < 5; ++c)
        ListView2->headerItem()->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);

    Combo1 = new QComboBox(this);
    Combo1->setObjectName(QStringLiteral("Combo1"));
    for (const char* m : kMonths)
        Combo1->addItem(QString::fromLatin1(m));
    Combo1->setCurrentIndex(-1);
    Combo2 = new QComboBox(this);
    Combo2->setObjectName(QStringLiteral("Combo2"));
    // The accounting hears which month and year the pickers show (also when it chose them).
    connect(Combo1, &QComboBox::currentIndexChanged, this,
            [this](int i) { daily_.selectMonth(i); });
    connect(Combo2, &QComboBox::currentTextChanged, this,
            [this](const QString& year) { daily_.selectYear(year.toInt()); });

    Command3 = new QToolButton(this);
    Command3->setObjectName(QStringLiteral("Command3"));
    Command3->setArrowType(Qt::RightArrow);
    Command3->setFixedSize(20, 21);
    Command3->setToolTip(QStringLiteral("Show Usage Log"));
    Command3->setMouseTracking(true);
    Command3->installEventFilter(this);
    connect(Command3, &QToolButton::clicked, this, [this] { showButtonPressed(); });
    // Choosing a month or a year shows it at once; the button shows the choice again.
    connect(Combo1, &QComboBox::activated, this, [this] { daily_.listSelected(); });
    connect(Combo2, &QComboBox::activated, this, [this] { daily_.listSelected(); });

    for (int i = 0; i < 2; ++i) {
        lblUsage[i] = new QLabel(this);
        lblUsage[i]->setObjectName(QStringLiteral("lblUsage(%1)").arg(i));
        lblUsageVal[i] = new QLabel(this);
        lblUsageVal[i]->setObjectName(QStringLiteral("lblUsageVal(%1)").arg(i));
    }
    lblUsage[0]->setText(QStringLiteral("Total usage:"));
    lblUsage[1]->setText(QStringLiteral("Avg usage/day:"));
    // One row in the status frame: lblUsage(0), lblUsageVal(0), lblUsage(1), lblUsageVal(1),
    // each 100 twips right of the previous one.
    const int top = px(120), height = px(255), left = kFrameMargin;
    lblUsage[0]->setGeometry(left, top, px(975), height);
    lblUsageVal[0]->setGeometry(left + px(975 + 100), top, px(2100), height);
    lblUsage[1]->setGeometry(left + px(975 + 100 + 2100 + 100), top, px(1200), height);
    lblUsageVal[1]->setGeometry(left + px(975 + 100 + 2100 + 100 + 1200 + 100), top, px(2100),
                                height);

    lblPlan = new QLabel(this);
    lblPlan->setObjectName(QStringLiteral("lblPlan"));
    ListView2->installEventFilter(this);
    cmdChart = new QPushButton(QStringLiteral("Chart"), this);
    cmdChart->setObjectName(QStringLiteral("cmdChart"));
    cmdChart->setToolTip(QStringLiteral("The month listed as a chart"));
    connect(cmdChart, &QPushButton::clicked, this, [this] {
        if (!chart_)
            chart_ = new UsageChartWindow(daily_, chartSize_, window());
        chart_->open();
    });

    ListView2->setGeometry(0, 3 + 25, 417, 200);
    Combo1->setGeometry(230, 4, 70, 21);
    Combo2->setGeometry(Combo1->geometry().right() + 1 + 5, 4, 60, 21);
    Command3->move(Combo2->geometry().right() + 1 + 5, 4);

    setControlsVisible(false);
    daily_.setView(this);
}

void UsageLogView::fitLabels() {
    // The row starts inside the frame's border and keeps its widths and its 100-twip gaps, but
    // a caption grows to its text and a value ends inside the frame's edge unless its text
    // needs more.
    QLabel* const row[] = {lblUsage[0], lblUsageVal[0], lblUsage[1], lblUsageVal[1]};
    const int widths[] = {px(975), px(2100), px(1200), px(2100)};
    const int room = row[0]->parentWidget() ? row[0]->parentWidget()->width() - kFrameMargin : 0;
    int left = kFrameMargin;
    for (int i = 0; i < 4; ++i) {
        const int text = row[i]->sizeHint().width();
        const int width = i % 2 == 0 ? std::max(widths[i], text)
                                     : std::max(text, std::min(widths[i], room - left));
        row[i]->setGeometry(left, row[i]->y(), width, row[i]->height());
        left += width + px(100);
    }
}

UsageLogView::~UsageLogView() {
    delete chart_; // it reads the daily accounting too
    daily_.setView(nullptr);
}

void UsageLogView::placeControls(QWidget* window, const QRect& clientArea, QWidget* statusFrame) {
    if (window) {
        for (QWidget* w : {static_cast<QWidget*>(ListView2), static_cast<QWidget*>(Combo1),
                           static_cast<QWidget*>(Combo2), static_cast<QWidget*>(Command3)})
            w->setParent(window);
        // As the packet list: its bottom border survives the rounding at 1.5 times the scale.
        ListView2->setGeometry(clientArea.left(), clientArea.top() + 3, clientArea.width(),
                               clientArea.height() - 34);
        // The plan's line in the room between the list and the status frame.
        lblPlan->setParent(window);
        cmdChart->setParent(window);
        placePlanLine();
    }
    if (statusFrame) {
        for (int i = 0; i < 2; ++i) {
            const QRect a = lblUsage[i]->geometry(), b = lblUsageVal[i]->geometry();
            lblUsage[i]->setParent(statusFrame);
            lblUsageVal[i]->setParent(statusFrame);
            lblUsage[i]->setGeometry(a);
            lblUsageVal[i]->setGeometry(b);
        }
    }
    setControlsVisible(false);
    // The view itself keeps no control on the window: hidden, it never lies over the tab strip.
    if (window && statusFrame)
        hide();
}

void UsageLogView::setControlsVisible(bool visible) {
    for (QWidget* w : {static_cast<QWidget*>(ListView2), static_cast<QWidget*>(Combo1),
                       static_cast<QWidget*>(Combo2), static_cast<QWidget*>(Command3),
                       static_cast<QWidget*>(lblUsage[0]), static_cast<QWidget*>(lblUsage[1]),
                       static_cast<QWidget*>(lblUsageVal[0]), static_cast<QWidget*>(lblUsageVal[1]),
                       static_cast<QWidget*>(lblPlan), static_cast<QWidget*>(cmdChart)})
        w->setVisible(visible);
}

void UsageLogView::setListWidth(int width) {
    ListView2->resize(width, ListView2->height());
}

void UsageLogView::placePlanLine() {
    const QRect list = ListView2->geometry();
    const int height = std::max(23, cmdChart->sizeHint().height());
    const int button = std::max(70, cmdChart->sizeHint().width());
    cmdChart->setGeometry(list.right() + 1 - button, list.bottom() + 1 + 4, button, height);
    lblPlan->setGeometry(list.left() + 2, list.bottom() + 1 + 4, list.width() - button - 8, height);
}

void UsageLogView::showPlan(const QString& text) {
    lblPlan->setText(text);
    placePlanLine();
}

void UsageLogView::showYears(const QStringList& entries, int selected) {
    Combo2->clear();
    Combo2->addItems(entries);
    if (selected >= 0)
        Combo2->setCurrentIndex(selected);
}

void UsageLogView::showMonth(const QList<Row>& rows) {
    ListView2->clear();
    QList<QTreeWidgetItem*> items;
    items.reserve(rows.size());
    for (const Row& r : rows) {
        auto* item = new QTreeWidgetItem(r.texts);
        item->setData(0, Qt::UserRole, r.date);
        for (int c = 1; c < 5; ++c)
            item->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
        items.append(item);
    }
    ListView2->addTopLevelItems(items);
}

void UsageLogView::showFirstRow(const Row& row) {
    QTreeWidgetItem* first = ListView2->topLevelItem(0);
    if (!first)
        return;
    // Today's row changes many times a second while traffic flows. Each cell set on its own
    // would make the list measure the whole top row again, so the cells are set quietly and
    // the row is repainted once (nothing else listens to this list's model).
    bool changed = false;
    {
        const QSignalBlocker quiet(ListView2->model());
        for (int c = 1; c < row.texts.size() && c < first->columnCount(); ++c)
            if (first->text(c) != row.texts.at(c)) {
                first->setText(c, row.texts.at(c));
                changed = true;
            }
    }
    if (changed)
        ListView2->viewport()->update(ListView2->visualItemRect(first));
}

void UsageLogView::showTotals(const QString& total, const QString& average) {
    if (lblUsageVal[0]->text() == total && lblUsageVal[1]->text() == average)
        return;
    // Measured again only when a text's length changed: today's total changes many times a
    // second while traffic flows, and each measurement lays the text out.
    const bool refit = lblUsageVal[0]->text().size() != total.size() ||
                       lblUsageVal[1]->text().size() != average.size();
    lblUsageVal[0]->setText(total);
    lblUsageVal[1]->setText(average);
    if (refit)
        fitLabels();
}

void UsageLogView::markDays(const QMap<QDate, QString>& tooltips) {
    for (int i = 0; i < ListView2->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = ListView2->topLevelItem(i);
        const QString tip = tooltips.value(row->data(0, Qt::UserRole).toDate());
        if (!tip.isEmpty())
            for (int c = 0; c < row->columnCount(); ++c)
                row->setToolTip(c, tip);
    }
}

void UsageLogView::selectMonth(int index) {
    Combo1->setCurrentIndex(index);
}

void UsageLogView::selectYear(int year) {
    const QString text = QString::number(year);
    for (int i = 0; i < Combo2->count(); ++i) {
        const int entry = Combo2->itemText(i).toInt();
        if (entry == year) {
            Combo2->setCurrentIndex(i);
            return;
        }
        if (entry < year) {
            Combo2->insertItem(i, text);
            Combo2->setCurrentIndex(i);
            return;
        }
    }
    Combo2->addItem(text);
    Combo2->setCurrentIndex(Combo2->count() - 1);
}

void UsageLogView::showButtonPressed() {
    daily_.listSelected();
    if (QWidget* main = window())
        main->setFocus();
}

bool UsageLogView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Command3 &&
        (event->type() == QEvent::Enter || event->type() == QEvent::MouseMove ||
         event->type() == QEvent::HoverMove))
        Command3->setToolTip(QStringLiteral("Show Usage Log for ") + Combo1->currentText() +
                             QLatin1Char(' ') + Combo2->currentText());
    // The line below the list follows the list's width, whoever sets it.
    if (watched == ListView2 && (event->type() == QEvent::Resize || event->type() == QEvent::Move))
        placePlanLine();
    return QWidget::eventFilter(watched, event);
}
