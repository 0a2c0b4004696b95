#include "shell/UsageLogView.h"

#include "capture/CaptureLoss.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/MessageBoxes.h"
#include "speed/Format.h"
#include "speed/TrafficGraph.h"
#include "usage/CoverageLog.h"
#include "usage/DailyUsage.h"
#include "usage/clsUsageLogger.h"

#include <QComboBox>
#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QToolButton>
#include <QTreeWidget>

#include <algorithm>
#include <stdexcept>

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

UsageLogView::UsageLogView(clsUsageLogger& logger, DailyUsage& daily, FileSystem& fs,
                           MessageBoxes& boxes, const Clock& clock, QWidget* parent)
    : QWidget(parent), logger_(logger), daily_(daily), fs_(fs), boxes_(boxes), clock_(clock) {
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
    Combo2 = new QComboBox(this);
    Combo2->setObjectName(QStringLiteral("Combo2"));

    Command3 = new QToolButton(this);
    Command3->setObjectName(QStringLiteral("Command3"));
    Command3->setArrowType(Qt::RightArrow);
    Command3->setFixedSize(20, 21);
    Command3->setToolTip(QStringLiteral("Show Usage Log"));
    Command3->setMouseTracking(true);
    Command3->installEventFilter(this);
    connect(Command3, &QToolButton::clicked, this, [this] { showButtonPressed(); });
    // Choosing a month or a year shows it at once; the button shows the choice again.
    connect(Combo1, &QComboBox::activated, this, [this] { listSelected(); });
    connect(Combo2, &QComboBox::activated, this, [this] { listSelected(); });

    for (int i = 0; i < 2; ++i) {
        lblUsage[i] = new QLabel(this);
        lblUsage[i]->setObjectName(QStringLiteral("lblUsage(%1)").arg(i));
        lblUsageVal[i] = new QLabel(this);
        lblUsageVal[i]->setObjectName(QStringLiteral("lblUsageVal(%1)").arg(i));
    }
    // One row in the status frame: lblUsage(0), lblUsageVal(0), lblUsage(1), lblUsageVal(1),
    // each 100 twips right of the previous one.
    const int top = px(120), height = px(255), left = kFrameMargin;
    lblUsage[0]->setGeometry(left, top, px(975), height);
    lblUsageVal[0]->setGeometry(left + px(975 + 100), top, px(2100), height);
    lblUsage[1]->setGeometry(left + px(975 + 100 + 2100 + 100), top, px(1200), height);
    lblUsageVal[1]->setGeometry(left + px(975 + 100 + 2100 + 100 + 1200 + 100), top, px(2100),
                                height);

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
    const int room =
        row[0]->parentWidget() ? row[0]->parentWidget()->width() - kFrameMargin : 0;
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

void UsageLogView::setUp() {
    const QDate today = clock_.today();
    Combo1->clear();
    for (const char* m : kMonths)
        Combo1->addItem(QString::fromLatin1(m));
    Combo1->setCurrentIndex(today.month() - 1);

    lblUsage[0]->setText(QStringLiteral("Total usage:"));
    lblUsage[1]->setText(QStringLiteral("Avg usage/day:"));
    lblUsageVal[0]->setText(formatBytes(0));
    lblUsageVal[1]->setText(formatBytes(0));
    fitLabels();

    fillYearPicker(today.year());

    daily_.start();
    listLogFile(daily_.currentDay().month(), daily_.currentDay().year());
}

bool UsageLogView::yearEntryOf(const QString& fileName, QString* entry) {
    if (!fileName.endsWith(QStringLiteral("log"), Qt::CaseSensitive) || fileName.size() < 4)
        return false;
    const QString first = fileName.left(4);
    for (const QChar c : first)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    const int year = first.toInt();
    // "May 30, " followed by the four characters must be a date.
    if (year < 100 || !QDate(year, 5, 30).isValid())
        return false;
    if (entry)
        *entry = first;
    return true;
}

void UsageLogView::fillYearPicker(int currentYear) {
    Combo2->clear();
    const QString current = QString::number(currentYear);
    const QString folder = logger_.logFolder() + QLatin1Char('/');
    for (const QString& name : fs_.listFolder(logger_.logFolder())) {
        QString entry;
        if (!yearEntryOf(name, &entry) || !fs_.fileExists(folder + name))
            continue; // sub-folders named like year files are not years
        Combo2->addItem(entry);
        if (entry == current)
            Combo2->setCurrentIndex(Combo2->count() - 1);
    }
}

void UsageLogView::setControlsVisible(bool visible) {
    for (QWidget* w :
         {static_cast<QWidget*>(ListView2), static_cast<QWidget*>(Combo1),
          static_cast<QWidget*>(Combo2), static_cast<QWidget*>(Command3),
          static_cast<QWidget*>(lblUsage[0]), static_cast<QWidget*>(lblUsage[1]),
          static_cast<QWidget*>(lblUsageVal[0]), static_cast<QWidget*>(lblUsageVal[1])})
        w->setVisible(visible);
}

void UsageLogView::setListWidth(int width) {
    ListView2->resize(width, ListView2->height());
}

void UsageLogView::listSelected() {
    listLogFile(Combo1->currentIndex() + 1, yearPickerYear());
}

void UsageLogView::listLogFile(int month, int year) {
    try {
        ListView2->clear();
        daily_.listed(0, 0);
        const auto records = logger_.getMonthlyUsage(month, year);
        if (!records)
            throw std::runtime_error("Object variable or With block variable not set");
        double total = 0;
        const QLocale locale = QLocale::system();
        for (const auto& rec : *records) {
            auto* row = new QTreeWidgetItem(
                {locale.toString(rec->usageDate, QStringLiteral("dd MMM yyyy")),
                 formatBytes(rec->dataReceived), formatBytes(rec->dataSent),
                 formatBytes(rec->dataPassthru), formatBytes(rec->dataTotalUsage)});
            row->setData(0, Qt::UserRole, rec->usageDate);
            for (int c = 1; c < 5; ++c)
                row->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
            ListView2->insertTopLevelItem(0, row); // newest day on top
            total += rec->dataTotalUsage;
        }
        listedYear_ = year;
        markIncompleteDays(year);
        const int rows = records->Count();
        daily_.listed(total, rows);
        showTotals(daily_.usageTotal(), daily_.usageAverage());
    } catch (const std::exception& e) {
        boxes_.error(QStringLiteral("listLogFile"), QString::fromLocal8Bit(e.what()));
    }
}

void UsageLogView::markIncompleteDays(int year) {
    // Days whose coverage file tells of frames lost by the capture or of traffic not watched
    // say so in their tooltip; a missing or damaged file marks nothing.
    if (year < 1)
        return;
    const QMap<QDate, CoverageLog::Day> days =
        CoverageLog::readWithSession(fs_, logger_.logFolder(), year);
    if (days.isEmpty())
        return;
    for (int i = 0; i < ListView2->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = ListView2->topLevelItem(i);
        const QString tip = dayTooltip(days.value(row->data(0, Qt::UserRole).toDate()));
        if (!tip.isEmpty())
            for (int c = 0; c < row->columnCount(); ++c)
                row->setToolTip(c, tip);
    }
}

QString UsageLogView::dayTooltip(const CoverageLog::Day& day) {
    QStringList lines;
    if (day.framesLost > 0)
        lines << CaptureLoss::statusText(day.framesLost);
    if (day.unwatchedBytes > 0 || day.unwatchedFrames > 0) {
        // Frame counts in the user's grouping ("1,540"), even where the locale leaves it out.
        QLocale locale = QLocale::system();
        locale.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
        lines << QStringLiteral("Not watched: %1 in %2 frames while Quelmint was not running")
                     .arg(formatBytes(double(day.unwatchedBytes)),
                          locale.toString(qulonglong(day.unwatchedFrames)));
    }
    return lines.join(QLatin1Char('\n'));
}

int UsageLogView::rowCount() const {
    return ListView2->topLevelItemCount();
}

QDate UsageLogView::firstRowDate() const {
    const QTreeWidgetItem* first = ListView2->topLevelItem(0);
    return first ? first->data(0, Qt::UserRole).toDate() : QDate();
}

void UsageLogView::showFirstRow(const clsUsageRec& day) {
    QTreeWidgetItem* first = ListView2->topLevelItem(0);
    if (!first)
        return;
    first->setText(1, formatBytes(day.dataReceived));
    first->setText(2, formatBytes(day.dataSent));
    first->setText(3, formatBytes(day.dataPassthru));
    first->setText(4, formatBytes(day.dataTotalUsage));
}

void UsageLogView::showTotals(double total, double average) {
    lblUsageVal[0]->setText(formatBytes(total));
    lblUsageVal[1]->setText(formatBytes(average));
    fitLabels();
}

int UsageLogView::monthPickerIndex() const {
    return Combo1->currentIndex();
}

int UsageLogView::yearPickerYear() const {
    return Combo2->currentText().toInt();
}

void UsageLogView::selectMonthIndex(int index) {
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
    listSelected();
    if (QWidget* main = window())
        main->setFocus();
}

bool UsageLogView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Command3 &&
        (event->type() == QEvent::Enter || event->type() == QEvent::MouseMove ||
         event->type() == QEvent::HoverMove))
        Command3->setToolTip(QStringLiteral("Show Usage Log for ") + Combo1->currentText() +
                             QLatin1Char(' ') + Combo2->currentText());
    return QWidget::eventFilter(watched, event);
}
