#include "shell/TabLayout.h"

#include <QEvent>
#include <QWidget>

#include <algorithm>

namespace {

/// The twelve counters and their row and column captions: on "Bytes" only.
QStringList counterNames() {
    QStringList names;
    for (const char* column : {"Transfer", "Data", "Headers"})
        names << QStringLiteral("lblColumn%1").arg(QLatin1String(column));
    for (const char* row : {"Received", "Sent", "Passthru", "Total"}) {
        names << QStringLiteral("lblRow%1").arg(QLatin1String(row));
        for (const char* suffix : {"", "D", "H"})
            names << QStringLiteral("lbl%1%2").arg(QLatin1String(row), QLatin1String(suffix));
    }
    return names;
}

QStringList names(std::initializer_list<const char*> list) {
    QStringList out;
    for (const char* n : list)
        out << QString::fromLatin1(n);
    return out;
}

} // namespace

const QList<TabLayout::Row>& TabLayout::visibilityTable() {
    //                                                                Bytes Packets Log
    static const QList<Row> table = {
        // the speed frame, the "Activity" frame, the strip chart and the level meter
        {names({"Frame1", "Frame2", "Picture1", "Picture2"}), true, false, false},
        // the average speed and its caption
        {names({"lblAvgSpeed", "Label9"}), true, false, false},
        // "Reset Statistics"
        {names({"cmdReset"}), true, false, false},
        // the statistics duration and its caption
        {names({"lblDuration", "Label3"}), true, true, false},
        // toolbar: the protocol switches, "Freeze Display", "Always on top" and the separator
        // before "Freeze Display"
        {names({"Picture3(0)", "Picture3(1)", "Picture3(2)", "Picture3(3)", "Picture3(4)",
                "Picture4(0)"}),
         true, true, false},
        // toolbar: "Resolve IP" and the separator before it
        {names({"Picture3(5)", "Picture4(1)"}), false, true, false},
        // the packet list
        {names({"ListView1"}), false, true, false},
        // the packet count and its caption
        {names({"lblPackets", "Label5"}), false, true, false},
        // the status frame's line on frames lost by the capture (shown while there are any)
        {names({"captureLossRow"}), true, true, false},
        // the usage log view
        {names({"ListView2", "Combo1", "Combo2", "Command3", "lblUsage(0)", "lblUsage(1)",
                "lblUsageVal(0)", "lblUsageVal(1)", "lblPlan", "cmdChart"}),
         false, false, true},
        // the counters' panel with its captions and the pages that hold each tab's controls
        {QStringList{QStringLiteral("StatsPanel")} + counterNames(), true, false, false},
        {names({"bytesPage"}), true, false, false},
        {names({"packetsPage"}), false, true, false},
        {names({"logPage"}), false, false, true},
    };
    return table;
}

const QList<TabLayout::WidthRule>& TabLayout::widthRules() {
    static const QList<WidthRule> rules = {
        {QStringLiteral("ListView1"), -8},       {QStringLiteral("ListView2"), -8},
        {QStringLiteral("Frame3"), -8},          {QStringLiteral("clientArea"), 0},
        {QStringLiteral("StatsPanel"), 0},       {QStringLiteral("bytesPage"), 0},
        {QStringLiteral("packetsPage"), 0},      {QStringLiteral("logPage"), 0},
        {QStringLiteral("captureLossRow"), -20},
    };
    return rules;
}

void TabLayout::applyVisibility(QWidget& root, int tab) {
    for (const Row& row : visibilityTable())
        for (const QString& name : row.names)
            for (QWidget* w : root.findChildren<QWidget*>(name))
                w->setVisible(row.shownOn(tab));
}

TabLayout::TabLayout(QWidget& window, std::function<void()> copyGraph)
    : window_(window), copyGraph_(std::move(copyGraph)) {
    window_.installEventFilter(this);
}

TabLayout::~TabLayout() {
    window_.removeEventFilter(this);
}

bool TabLayout::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &window_ && outerWidth_ > 0 &&
        (event->type() == QEvent::Show || event->type() == QEvent::Move))
        fitWindowWidth();
    return QObject::eventFilter(watched, event);
}

void TabLayout::fitWindowWidth() {
    // The outer width includes the window manager's frame, when there is one.
    const int frame = window_.isVisible() ? window_.frameGeometry().width() - window_.width() : 0;
    const int width = outerWidth_ - std::max(frame, 0);
    if (window_.minimumWidth() != width || window_.maximumWidth() != width)
        window_.setFixedWidth(width);
}

void TabLayout::apply(int index) {
    auto* strip = window_.findChild<QWidget*>(QStringLiteral("TabStrip1"));
    int stripWidth = strip != nullptr ? strip->width() : 0;
    if (index >= Bytes && index <= Log) {
        outerWidth_ = pixels(index == Bytes ? kNarrowTwips : kWideTwips);
        stripWidth = index == Bytes ? kNarrowStrip : kWideStrip;
        fitWindowWidth();
        if (strip != nullptr)
            strip->resize(stripWidth, strip->height());
        applyVisibility(window_, index);
        // The graph's pictures show their current images at once, not at the next tick.
        if (index == Bytes && copyGraph_)
            copyGraph_();
    }
    for (const WidthRule& rule : widthRules())
        for (QWidget* w : window_.findChildren<QWidget*>(rule.name))
            w->resize(stripWidth + rule.offset, w->height());
}
