#include "settings/ui/Form2.h"

#include "platform/CaptureComponent.h"
#include "platform/InterfaceCounters.h"
#include "platform/IpAddress.h"
#include "platform/MessageBoxes.h"
#include "platform/PcapSupport.h"
#include "settings/Form2Host.h"
#include "settings/Settings.h"
#include "settings/ui/DigitsOnlyKeyFilter.h"
#include "settings/ui/PlanFields.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>
#include <functional>
#include <stdexcept>

namespace {
/// A failing step of a handler, with the description shown in its error box.
class StepError : public std::runtime_error {
public:
    explicit StepError(const QString& description)
        : std::runtime_error(description.toStdString()), description_(description) {}
    const QString& description() const { return description_; }

private:
    QString description_;
};

QString describe(const std::exception& e) {
    if (const auto* step = dynamic_cast<const StepError*>(&e))
        return step->description();
    if (const auto* capture = dynamic_cast<const CaptureError*>(&e))
        return capture->description();
    return QString::fromUtf8(e.what());
}

/// Runs f and returns the description of what it threw, or an empty text.
QString attempt(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::exception& e) {
        const QString d = describe(e);
        return d.isEmpty() ? QStringLiteral("Unknown error") : d;
    }
    return QString();
}

/// Selects a list position, as the stored setting name says; a position not in the list fails.
void selectRow(QComboBox* combo, qint32 position, const char* setting) {
    if (position < 0 || position >= combo->count())
        throw StepError(QStringLiteral("Invalid property value: %1 = %2 is not one of the %3 "
                                       "choices of the list.")
                            .arg(QString::fromLatin1(setting))
                            .arg(position)
                            .arg(combo->count()));
    combo->setCurrentIndex(position);
}

QLabel* label(const QString& text, const char* name, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    return l;
}

template <typename W> W* named(W* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

/// Restores the normal mouse pointer when it goes out of scope.
class BusyCursor final {
public:
    BusyCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

qint32 timeFrom(QLineEdit* edit, const char* what) {
    if (edit->text().isEmpty())
        edit->setText(QStringLiteral("0"));
    bool ok = false;
    const qint32 value = edit->text().trimmed().toInt(&ok, 10);
    if (!ok)
        throw StepError(QStringLiteral("Overflow: \"%1\" is not a number of seconds from 0 to "
                                       "2147483647 (%2).")
                            .arg(edit->text(), QString::fromLatin1(what)));
    return value;
}
} // namespace

const QList<Form2::ConnectionType>& Form2::connectionTypeTable() {
    static const QList<ConnectionType> table = {
        {"56 kbps (analog modem)", 7},
        {"64 kbps (ISDN)", 8},
        {"128 kbps (2x ISDN)", 16},
        {"256 kbps (DSL)", 32},
        {"384 kbps (ADSL, Cable Modem)", 48},
        {"768 kbps (s-HDSL)", 96},
        {"1.536 mbps (HDSL)", 191},
        {"1.544 mbps (T1)", 192},
        {"10 mbps (LAN)", 1250},
        {"11 mbps (WLAN)", 1375},
        {"22 mbps (WLAN)", 2750},
        {"44.736 mbps (T3, DS3)", 5592},
        {"54 mbps (WLAN)", 6750},
        {"100 mbps (LAN)", 12500},
        {"1 gbps (LAN)", 125000},
        {"2.5 gbps (LAN)", 312500},
        {"10 gbps (LAN)", 1250000},
        {kCustomSpeed, -1},
    };
    return table;
}

QString Form2::adapterRowText(const Adapter& adapter) {
    QString text = adapter.Description;
    // IPv6 link-local addresses (fe80::/10), which every adapter has, would only lengthen rows.
    QStringList addresses;
    for (const AdapterAddress& a : adapter.Addresses) {
        const std::optional<IpAddress> parsed = IpAddress::parse(a.IPAddress);
        const bool linkLocal = parsed && parsed->family() == 6 && parsed->ipv6Bytes()[0] == 0xFE &&
                               (parsed->ipv6Bytes()[1] & 0xC0) == 0x80;
        if (!linkLocal)
            addresses.append(a.IPAddress);
    }
    if (!addresses.isEmpty())
        text += QStringLiteral("  (") + addresses.join(QStringLiteral(",  ")) + u')';
    return text;
}

Form2::Form2(Form2Host& host, QWidget* parent) : QDialog(parent), host_(host) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Quelmint Settings"));
    setModal(true);
    buildControls();
    load();
    firstStart_ = host_.settings().gInterfaceToWatch.isEmpty();
    connect(Combo1, &QComboBox::currentIndexChanged, this, &Form2::adapterChosen);
    connect(Combo2, &QComboBox::activated, this, [this] { typeChosen_ = true; });
    adapterChosen(); // the adapter preselected at first start
}

void Form2::buildControls() {
    auto* layout = new QVBoxLayout(this);

    fraAdapter = named(new QGroupBox(this), "fraAdapter");
    {
        auto* g = new QGridLayout(fraAdapter);
        g->addWidget(
            label(QStringLiteral("Network interface to monitor"), "lblInterface", fraAdapter), 0, 0,
            1, 2);
        Combo1 = named(new QComboBox(fraAdapter), "Combo1");
        Combo1->setMinimumContentsLength(40);
        g->addWidget(Combo1, 1, 0);
        Command3 = named(new QPushButton(QStringLiteral("Refresh"), fraAdapter), "Command3");
        g->addWidget(Command3, 1, 1);
        g->setColumnStretch(0, 1);
    }
    layout->addWidget(fraAdapter);

    auto* middle = new QHBoxLayout;
    fraGraphScaling =
        named(new QGroupBox(QStringLiteral("Graph scaling"), this), "fraGraphScaling");
    {
        auto* g = new QGridLayout(fraGraphScaling);
        g->addWidget(label(QStringLiteral("Connection type"), "lblConnectionType", fraGraphScaling),
                     0, 0);
        Combo2 = named(new QComboBox(fraGraphScaling), "Combo2");
        g->addWidget(Combo2, 0, 1);
        // The number is bytes per second.
        Label3 = label(QStringLiteral("Custom speed (B/s)"), "Label3", fraGraphScaling);
        g->addWidget(Label3, 1, 0);
        Text1 = named(new QLineEdit(fraGraphScaling), "Text1");
        g->addWidget(Text1, 1, 1);
        g->addWidget(label(QStringLiteral("Graph type"), "lblGraphType", fraGraphScaling), 2, 0);
        Combo4 = named(new QComboBox(fraGraphScaling), "Combo4");
        g->addWidget(Combo4, 2, 1);
    }
    middle->addWidget(fraGraphScaling, 1);

    auto* right = new QVBoxLayout;
    fraDisplayUnits =
        named(new QGroupBox(QStringLiteral("Display Units"), this), "fraDisplayUnits");
    {
        auto* g = new QGridLayout(fraDisplayUnits);
        g->addWidget(label(QStringLiteral("Transfer"), "lblTransfer", fraDisplayUnits), 0, 0);
        Combo3 = named(new QComboBox(fraDisplayUnits), "Combo3");
        g->addWidget(Combo3, 0, 1);
        g->addWidget(label(QStringLiteral("Speed"), "lblSpeed", fraDisplayUnits), 1, 0);
        Combo5 = named(new QComboBox(fraDisplayUnits), "Combo5");
        g->addWidget(Combo5, 1, 1);
    }
    right->addWidget(fraDisplayUnits);
    fraWindow = named(new QGroupBox(QStringLiteral("Window properties"), this), "fraWindow");
    {
        auto* g = new QGridLayout(fraWindow);
        Check3 = named(new QCheckBox(fraWindow), "Check3");
        Label6 = label(QStringLiteral("Start  minimized"), "Label6", fraWindow);
        g->addWidget(Check3, 0, 0);
        g->addWidget(Label6, 0, 1);
        Check2 = named(new QCheckBox(fraWindow), "Check2");
        Label5 = label(QStringLiteral("Close to tray"), "Label5", fraWindow);
        g->addWidget(Check2, 1, 0);
        g->addWidget(Label5, 1, 1);
        Check4 = named(new QCheckBox(fraWindow), "Check4");
        Label12 = label(QStringLiteral("Start at log-on"), "Label12", fraWindow);
        g->addWidget(Check4, 2, 0);
        g->addWidget(Label12, 2, 1);
        g->setColumnStretch(1, 1);
    }
    right->addWidget(fraWindow);
    middle->addLayout(right);
    layout->addLayout(middle);

    fraDisplay = named(new QGroupBox(QStringLiteral(" Display"), this), "fraDisplay");
    {
        auto* g = new QGridLayout(fraDisplay);
        Check1 = named(new QCheckBox(fraDisplay), "Check1");
        Label11 =
            label(QStringLiteral("Reset statistics at start of new day"), "Label11", fraDisplay);
        auto* resetRow = new QHBoxLayout;
        resetRow->addWidget(Check1);
        resetRow->addWidget(Label11, 1);
        Check5 = named(new QCheckBox(fraDisplay), "Check5");
        Label13 = label(QStringLiteral("Count IPv6 traffic"), "Label13", fraDisplay);
        resetRow->addWidget(Check5);
        resetRow->addWidget(Label13);
        g->addLayout(resetRow, 0, 0, 1, 3);
        g->addWidget(
            label(QStringLiteral("Remove packets from list after"), "lblRemoveAfter", fraDisplay),
            1, 0);
        Text2 = named(new QLineEdit(fraDisplay), "Text2");
        g->addWidget(Text2, 1, 1);
        g->addWidget(
            label(QStringLiteral("Seconds  (0 to never remove)"), "lblRemoveSeconds", fraDisplay),
            1, 2);
        g->addWidget(
            label(QStringLiteral("Highlight new packet for"), "lblHighlightFor", fraDisplay), 2, 0);
        Text4 = named(new QLineEdit(fraDisplay), "Text4");
        g->addWidget(Text4, 2, 1);
        g->addWidget(label(QStringLiteral("Seconds "), "lblHighlightSeconds", fraDisplay), 2, 2);
        g->addWidget(label(QStringLiteral("Capture filter "), "lblCaptureFilter", fraDisplay), 3,
                     0);
        Text3 = named(new QLineEdit(fraDisplay), "Text3");
        g->addWidget(Text3, 3, 1, 1, 2);
        g->setColumnStretch(2, 1);
    }
    layout->addWidget(fraDisplay);

    fraPlan = new PlanFields(this);
    layout->addWidget(fraPlan);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    Command1 = named(new QPushButton(QStringLiteral("OK"), this), "Command1");
    Command1->setDefault(true);
    Command2 = named(new QPushButton(QStringLiteral("Cancel"), this), "Command2");
    buttons->addWidget(Command1);
    buttons->addWidget(Command2);
    layout->addLayout(buttons);

    auto* digits = new DigitsOnlyKeyFilter(this);
    digits->setObjectName(QStringLiteral("digitsOnlyKeyFilter"));
    // The custom speed shows the stored bandwidth, which need not be a whole number.
    digits->install(Text1, QStringLiteral("[0-9]*\\.?[0-9]*"));
    digits->install(Text2);
    digits->install(Text4);
    fraPlan->installDigitsOnly(*digits);
    for (QLabel* l : {Label6, Label5, Label11, Label12, Label13})
        l->installEventFilter(this);

    connect(Combo2, &QComboBox::currentIndexChanged, this, &Form2::connectionTypeChanged);
    connect(Command1, &QPushButton::clicked, this, &Form2::okClicked);
    connect(Command2, &QPushButton::clicked, this, &QDialog::reject);
    connect(Command3, &QPushButton::clicked, this, &Form2::refreshClicked);
}

bool Form2::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        QCheckBox* box = watched == Label6    ? Check3
                         : watched == Label5  ? Check2
                         : watched == Label11 ? Check1
                         : watched == Label12 ? Check4
                         : watched == Label13 ? Check5
                                              : nullptr;
        if (box != nullptr && box->isEnabled()) {
            // A ticked box is cleared, anything else becomes ticked.
            box->setCheckState(box->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void Form2::fillAdapters() {
    const QString error = attempt([this] {
        Combo1->clear();
        listed_.clear();
        for (const Adapter& a : host_.capture().Adapters())
            if (pcapsupport::monitorable(a))
                listed_.append(a);
        // At first start, the adapter that carries the default route.
        const QString& stored = host_.settings().gInterfaceToWatch;
        const QString wanted = stored.isEmpty() ? host_.capture().defaultRouteAdapter() : stored;
        int selected = -1;
        for (int i = 0; i < listed_.size(); ++i) {
            Combo1->addItem(adapterRowText(listed_[i]));
            if (!wanted.isEmpty() && listed_[i].Name == wanted)
                selected = i; // the last one of that name
        }
        // No match leaves the list without a selection, so OK does not switch adapters.
        Combo1->setCurrentIndex(selected);
    });
    if (!error.isEmpty())
        host_.messageBoxes().error(QStringLiteral("fillAdapters"), error);
}

void Form2::load() {
    Settings& s = host_.settings();
    // Each step is tried even when an earlier one failed, so no control is left blank for OK
    // to store; the failures are reported together.
    QStringList errors;
    auto step = [&errors](const std::function<void()>& f) {
        const QString e = attempt(f);
        if (!e.isEmpty())
            errors.append(e);
    };
    fillAdapters();
    step([&] {
        for (const ConnectionType& row : connectionTypeTable())
            Combo2->addItem(QString::fromLatin1(row.text), row.code);
        int selected = -1;
        for (int i = 0; i < Combo2->count() - 1 && selected < 0; ++i)
            if (double(Combo2->itemData(i).toInt()) * 1000.0 == s.gBandwidth)
                selected = i;
        if (selected < 0) {
            selected = Combo2->count() - 1;
            Text1->setText(Settings::bandwidthText(s.gBandwidth));
        }
        Combo2->setCurrentIndex(selected);
        connectionTypeChanged();
    });
    step([&] {
        Combo3->addItems({QStringLiteral("Bytes (B/s)"), QStringLiteral("KiloBytes (KB/s)"),
                          QStringLiteral("MegaBytes (MB/s)"), QStringLiteral("Auto Format")});
        Combo3->setCurrentIndex(-1);
        selectRow(Combo3, s.gDisplayUnit, "DisplayUnit");
    });
    step([&] {
        Combo5->addItems(
            {QStringLiteral("Kilobits/sec (kbps)"), QStringLiteral("KiloBytes/sec (KB/s)")});
        Combo5->setCurrentIndex(-1);
        selectRow(Combo5, s.gSpeedUnit, "SpeedUnit");
    });
    step([&] {
        Combo4->addItems({QStringLiteral("Wave"), QStringLiteral("Columns")});
        Combo4->setCurrentIndex(-1);
        selectRow(Combo4, s.gGraphStyle, "GraphStyle");
    });
    step([&] {
        Check2->setChecked(s.gCloseToTray);
        Check3->setChecked(s.gStartMinimized);
        Check1->setChecked(s.gResetStatsAtNewDay);
        Check4->setChecked(s.gStartAtLogon);
        Check5->setChecked(s.gCountIPv6);
    });
    step([&] {
        Text2->setText(QString::number(s.gRemoveFromListTime));
        Text4->setText(QString::number(s.gHiliteNewPacketTime));
        Text3->setText(s.gFilterString);
    });
    step([&] { fraPlan->showPlan(s.gPlanAllowance, s.gPlanStartDay); });
    if (!errors.isEmpty())
        host_.messageBoxes().error(QStringLiteral("Form2 Load"),
                                   errors.join(QStringLiteral("\r\n")));
}

void Form2::connectionTypeChanged() {
    const bool custom = Combo2->currentText() == QLatin1String(kCustomSpeed);
    Text1->setEnabled(custom);
    Label3->setEnabled(custom);
}

void Form2::adapterChosen() {
    const int row = Combo1->currentIndex();
    const InterfaceCounters* kernel = host_.interfaceCounters();
    if (!firstStart_ || typeChosen_ || kernel == nullptr || row < 0 || row >= listed_.size())
        return;
    const std::optional<qint64> mbps = kernel->linkSpeedMbps(listed_[row].Name);
    if (!mbps || *mbps <= 0)
        return;
    // Codes are thousands of bytes per second: 125 per Mbit/s.
    const qint64 code = *mbps * 125;
    for (int i = 0; i < Combo2->count() - 1; ++i)
        if (Combo2->itemData(i).toLongLong() == code) {
            Combo2->setCurrentIndex(i);
            return;
        }
    Combo2->setCurrentIndex(Combo2->count() - 1);
    Text1->setText(Settings::bandwidthText(double(code) * 1000.0));
}

void Form2::refreshClicked() {
    BusyCursor busy;
    try {
        host_.capture().RefreshAdapters();
    } catch (const std::exception&) {
        // The list shown stays the one of the last successful refresh.
    }
    fillAdapters();
}

void Form2::applyAdapter() {
    const int row = Combo1->currentIndex();
    if (Combo1->count() == 0 || row < 0 || row >= listed_.size())
        return;
    const Adapter adapter = listed_[row];
    Settings& s = host_.settings();
    if (adapter.Name == s.gInterfaceToWatch && host_.monitoringInProgress())
        return; // already watching it: leave capture alone
    CaptureComponent& capture = host_.capture();
    capture.setActiveAdapter(adapter);
    s.gInterfaceToWatch = adapter.Name;
    s.gDescOfInterfaceToWatch = adapter.Description;
    host_.setTooltipText(adapter.Description); // the tip cuts it to what it can show
    capture.StopCapture();
    // Capture is stopped now; if the start below fails the flag must not claim otherwise.
    host_.setMonitoringInProgress(false);
    QStringList addresses;
    for (const AdapterAddress& a : adapter.Addresses)
        addresses.append(a.IPAddress);
    if (addresses.isEmpty())
        addresses.append(QString());
    host_.setLocalAddresses(addresses);
    capture.StartCapture();
    host_.setMonitoringInProgress(true);
    host_.showBaloonTip(adapter.Description, QStringLiteral("Monitoring"), 1);
}

bool Form2::applyAdapterAndSettings() {
    Settings& s = host_.settings();
    // A data plan that cannot be stored is refused before anything changes.
    qint64 allowance = 0;
    qint32 startDay = 1;
    if (!fraPlan->read(host_.messageBoxes(), s.gPlanStartDay, &allowance, &startDay))
        return false;
    applyAdapter();
    // Whatever was stored before a failing step is announced too: it stays in force.
    try {
        s.gPlanAllowance = allowance;
        s.gPlanStartDay = startDay;
        applySettings(s);
    } catch (...) {
        s.announce(Settings::Display);
        throw;
    }
    s.announce(Settings::Display);
    return true;
}

void Form2::applySettings(Settings& s) {
    // A list without a selection leaves its setting as it is.
    const int type = Combo2->currentIndex();
    if (type >= 0) {
        if (Combo2->itemText(type) != QLatin1String(kCustomSpeed)) {
            s.gBandwidth = double(Combo2->itemData(type).toInt()) * 1000.0;
        } else {
            bool ok = false;
            const double speed = Text1->text().trimmed().toDouble(&ok);
            if (!ok || !std::isfinite(speed))
                throw StepError(QStringLiteral("Type mismatch: the custom speed \"%1\" is not a "
                                               "number of bytes per second.")
                                    .arg(Text1->text()));
            s.gBandwidth = speed < 1000 ? 1000 : speed;
        }
    }

    s.gStartMinimized = Check3->isChecked();
    s.gCloseToTray = Check2->isChecked();
    s.gStartAtLogon = Check4->isChecked();

    if (Combo3->currentIndex() >= 0)
        s.gDisplayUnit = Combo3->currentIndex();
    if (Combo5->currentIndex() >= 0)
        s.gSpeedUnit = Combo5->currentIndex();
    if (Combo4->currentIndex() >= 0)
        s.gGraphStyle = Combo4->currentIndex();
    s.gResetStatsAtNewDay = Check1->isChecked();
    s.gCountIPv6 = Check5->isChecked();

    s.gRemoveFromListTime = timeFrom(Text2, "Remove packets from list after");
    s.gHiliteNewPacketTime = timeFrom(Text4, "Highlight new packet for");
}

void Form2::okClicked() {
    MessageBoxes& boxes = host_.messageBoxes();
    bool goOn = false;
    const QString error = attempt([&] { goOn = applyAdapterAndSettings(); });
    if (!error.isEmpty()) {
        boxes.error(QStringLiteral("OK"), error);
        return;
    }
    if (!goOn)
        return;

    const QString filter = Text3->text();
    const QString rejected = attempt([&] { host_.capture().setFilter(filter); });
    if (!rejected.isEmpty()) {
        boxes.show(BoxIcon::None, QString(), Settings::filterRejected(filter, rejected));
        Text3->setFocus();
        return;
    }
    host_.settings().gFilterString = filter;
    const QString closing = attempt([this] { accept(); });
    if (!closing.isEmpty())
        boxes.error(QStringLiteral("OK"), closing);
}
