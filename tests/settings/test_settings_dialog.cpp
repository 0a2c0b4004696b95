#include "FakeForm2Host.h"
#include "platform/HelperCapture.h"
#include "platform/PcapSupport.h"
#include "platform/fakes/FakeCapture.h"
#include "platform/fakes/FakeInterfaceCounters.h"
#include "platform/fakes/FakeSettingsStore.h"
#include "settings/ui/Form2.h"
#include "support/CaptureHelperPath.h"
#include "support/CutOff.h"
#include "support/NetnsPair.h"
#include "support/TestApp.h"
#include "support/Widgets.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include <QDir>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {
class QtApp : public AppEnvironment<QApplication> {
public:
    void SetUp() override {
        AppEnvironment<QApplication>::SetUp();
        // The offscreen platform says this for every window shown; it is not about the test.
        static const QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext& context, const QString& message) {
                if (previous != nullptr && !message.contains(QLatin1String("propagateSizeHints")))
                    previous(type, context, message);
            });
    }
};
[[maybe_unused]] auto* const kEnv = ::testing::AddGlobalTestEnvironment(new QtApp);

const QString kEthDesc = QStringLiteral("Intel Gigabit Ethernet Controller 82574L");

/// Three adapters that can be monitored, then one that cannot (a netfilter log).
QList<Adapter> threeAdapters() {
    return {FakeCapture::ethernet("eth0", kEthDesc, {"192.168.1.5", "10.0.0.7"}),
            FakeCapture::ethernet("wlan0", "Wireless LAN", {"192.168.2.9"}),
            FakeCapture::ethernet("eth1", "Spare port", {}),
            FakeCapture::ethernet("nflog", "Netfilter log", {}, 239)};
}

/// A dialog over a fake main window and a fake capture component.
struct Fixture {
    explicit Fixture(QList<Adapter> adapters = threeAdapters()) : capture(std::move(adapters)) {}
    Form2& open() {
        dialog = std::make_unique<Form2>(host);
        dialog->show();
        return *dialog;
    }
    template <typename W> W* get(const char* name) { return child<W>(*dialog, name); }
    void ok() { get<QPushButton>("Command1")->click(); }
    bool closedWithOk() const {
        return !dialog->isVisible() && dialog->result() == QDialog::Accepted;
    }
    /// The stored texts of all the settings.
    QMap<QString, QString> saved() {
        FakeSettingsStore store;
        host.settings().saveSettings(store);
        return store.values;
    }
    void selectText(const char* combo, const QString& text) {
        auto* c = get<QComboBox>(combo);
        const int row = c->findText(text);
        ASSERT_GE(row, 0) << text.toStdString();
        c->setCurrentIndex(row);
    }
    void type(const char* edit, const QString& text) {
        auto* e = get<QLineEdit>(edit);
        e->clear();
        QTest::keyClicks(e, text);
    }

    FakeCapture capture;
    FakeForm2Host host{capture};
    std::unique_ptr<Form2> dialog;
};
} // namespace

TEST(Form2, CaptionTextsAndLists) {
    Fixture f;
    Form2& d = f.open();
    EXPECT_EQ(d.windowTitle(), "Quelmint Settings");
    EXPECT_TRUE(d.isModal());
    EXPECT_EQ(f.get<QLabel>("Label3")->text(), "Custom speed (B/s)");
    EXPECT_EQ(f.get<QLabel>("Label6")->text(), "Start  minimized");
    EXPECT_EQ(f.get<QLabel>("Label5")->text(), "Close to tray");
    EXPECT_EQ(f.get<QLabel>("Label11")->text(), "Reset statistics at start of new day");
    EXPECT_EQ(f.get<QLabel>("Label12")->text(), "Start at log-on");
    EXPECT_EQ(f.get<QLabel>("Label13")->text(), "Count IPv6 traffic");
    EXPECT_TRUE(f.get<QCheckBox>("Check4")->isChecked()) << "on, as the default";
    EXPECT_EQ(f.get<QPushButton>("Command3")->text(), "Refresh");
    EXPECT_EQ(f.get<QPushButton>("Command1")->text(), "OK");
    EXPECT_EQ(f.get<QPushButton>("Command2")->text(), "Cancel");
    auto items = [&](const char* name) { return comboTexts(f.get<QComboBox>(name)); };
    EXPECT_EQ(items("Combo3"),
              QStringList({"Bytes (B/s)", "KiloBytes (KB/s)", "MegaBytes (MB/s)", "Auto Format"}));
    EXPECT_EQ(items("Combo5"), QStringList({"Kilobits/sec (kbps)", "KiloBytes/sec (KB/s)"}));
    EXPECT_EQ(items("Combo4"), QStringList({"Wave", "Columns"}));
    // Adapter rows: description, then the addresses joined by comma and two blanks.
    EXPECT_EQ(items("Combo1"), QStringList({kEthDesc + "  (192.168.1.5,  10.0.0.7)",
                                            "Wireless LAN  (192.168.2.9)", "Spare port"}));
}

TEST(Form2, ConnectionTypeCodesFollowTheirSpeeds) {
    Fixture f;
    f.open();
    auto* combo = f.get<QComboBox>("Combo2");
    ASSERT_EQ(combo->count(), 18);
    EXPECT_EQ(combo->itemText(17), "Custom connection speed");
    EXPECT_EQ(combo->itemData(17).toInt(), -1);
    // The first eleven codes are the kilobit figure / 8, rounded to even; HDSL and T1 use 1530
    // and 1540 kbps.
    const QRegularExpression figure(QStringLiteral("^([0-9.]+) (kbps|mbps)"));
    for (int i = 0; i < 11; ++i) {
        const auto m = figure.match(combo->itemText(i));
        ASSERT_TRUE(m.hasMatch());
        double kbps = m.captured(1).toDouble() * (m.captured(2) == "mbps" ? 1000 : 1);
        if (combo->itemText(i).contains("HDSL") && !combo->itemText(i).contains("s-HDSL"))
            kbps = 1530;
        if (combo->itemText(i).contains("T1"))
            kbps = 1540;
        EXPECT_EQ(combo->itemData(i).toInt(), int(std::nearbyint(kbps / 8))) << i;
    }
    EXPECT_EQ(combo->itemData(6).toInt(), 191);
    EXPECT_EQ(combo->itemData(7).toInt(), 192);
    EXPECT_EQ(combo->itemData(11).toInt(), 5592);
    EXPECT_EQ(combo->itemData(12).toInt(), 6750);
    EXPECT_EQ(combo->itemData(13).toInt(), 12500);
    // Today's networks, at 125 codes per Mbit/s.
    const std::pair<const char*, int> fast[] = {
        {"1 gbps (LAN)", 125000}, {"2.5 gbps (LAN)", 312500}, {"10 gbps (LAN)", 1250000}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(combo->itemText(14 + i), fast[i].first);
        EXPECT_EQ(combo->itemData(14 + i).toInt(), fast[i].second);
    }
}

TEST(Form2, AtFirstStartTheConnectionTypeFollowsTheAdaptersLinkSpeed) {
    struct Case {
        const char* name;
        const char* stored; // adapter stored before ("" at first start)
        int chosen;         // row of the adapter chosen in the dialog
        bool userChoseType; // the user picked "10 mbps (LAN)" before the adapter
        const char* row;    // connection type then shown
        const char* text1;  // custom speed then shown
    };
    const Case cases[] = {
        {"1 Gbit/s", "", 0, false, "1 gbps (LAN)", ""},
        {"100 Mbit/s", "", 1, false, "100 mbps (LAN)", ""},
        {"no speed known", "", 2, false, "384 kbps (ADSL, Cable Modem)", ""},
        {"a speed without its row", "", 3, false, "Custom connection speed", "3125000000"},
        {"2.5 Gbit/s", "", 4, false, "2.5 gbps (LAN)", ""},
        {"an adapter was stored", "wlan0", 0, false, "384 kbps (ADSL, Cable Modem)", ""},
        {"the user's own choice stays", "", 0, true, "10 mbps (LAN)", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f({FakeCapture::ethernet("eth0", "Gigabit", {"10.0.0.1"}),
                   FakeCapture::ethernet("wlan0", "Fast", {"10.0.0.2"}),
                   FakeCapture::ethernet("eth1", "Unknown", {"10.0.0.3"}),
                   FakeCapture::ethernet("eth2", "Twenty-five", {"10.0.0.4"}),
                   FakeCapture::ethernet("eth3", "Multi-gigabit", {"10.0.0.5"})});
        FakeInterfaceCounters kernel;
        kernel.speeds = {{"eth0", 1000}, {"wlan0", 100}, {"eth2", 25000}, {"eth3", 2500}};
        f.host.kernel = &kernel;
        f.host.settings().gInterfaceToWatch = QString::fromLatin1(c.stored);
        f.open();
        auto* types = f.get<QComboBox>("Combo2");
        if (c.userChoseType) {
            types->setCurrentIndex(types->findText("10 mbps (LAN)"));
            emit types->activated(types->currentIndex()); // as a choice of the user's
        }
        f.get<QComboBox>("Combo1")->setCurrentIndex(c.chosen);
        EXPECT_EQ(types->currentText(), c.row);
        EXPECT_EQ(f.get<QLineEdit>("Text1")->text(), c.text1);
    }
}

TEST(Form2, OpensWithThePresetOrTheCustomSpeed) {
    struct Case {
        double bandwidth;
        const char* row;
        bool custom;
        const char* text1;
    };
    const Case cases[] = {
        {48000, "384 kbps (ADSL, Cable Modem)", false, ""},
        {191000, "1.536 mbps (HDSL)", false, ""},
        {192000, "1.544 mbps (T1)", false, ""},
        {12500000, "100 mbps (LAN)", false, ""},
        {50000, "Custom connection speed", true, "50000"},
        {1000, "Custom connection speed", true, "1000"},
        {48000.5, "Custom connection speed", true, "48000.5"},
        {100000, "Custom connection speed", true, "100000"},
        {1.5e9, "Custom connection speed", true, "1500000000"},
    };
    for (const Case& c : cases) {
        Fixture f;
        f.host.settings().gBandwidth = c.bandwidth;
        f.open();
        EXPECT_EQ(f.get<QComboBox>("Combo2")->currentText(), c.row) << c.bandwidth;
        EXPECT_EQ(f.get<QLineEdit>("Text1")->isEnabled(), c.custom) << c.bandwidth;
        EXPECT_EQ(f.get<QLabel>("Label3")->isEnabled(), c.custom) << c.bandwidth;
        EXPECT_EQ(f.get<QLineEdit>("Text1")->text(), c.text1) << c.bandwidth;
        // Switching the row switches the custom box.
        f.selectText("Combo2", c.custom ? "10 mbps (LAN)" : "Custom connection speed");
        EXPECT_EQ(f.get<QLineEdit>("Text1")->isEnabled(), !c.custom);
        EXPECT_EQ(f.get<QLabel>("Label3")->isEnabled(), !c.custom);
    }
}

TEST(Form2, OkStoresTheGraphScale) {
    struct Case {
        const char* row;
        const char* typed;
        double bandwidth;
    };
    const Case cases[] = {
        {"Custom connection speed", "999", 1000},
        {"Custom connection speed", "0", 1000},
        {"Custom connection speed", "5000", 5000},
        {"Custom connection speed", "100000", 100000},
        {"Custom connection speed", "123456789012", 123456789012.0},
        {"10 mbps (LAN)", "", 1250000},
        {"1.536 mbps (HDSL)", "", 191000},
    };
    for (const Case& c : cases) {
        Fixture f;
        f.open();
        f.selectText("Combo2", c.row);
        if (*c.typed)
            f.type("Text1", c.typed);
        f.ok();
        EXPECT_TRUE(f.closedWithOk()) << c.row << c.typed;
        EXPECT_EQ(f.host.settings().gBandwidth, c.bandwidth) << c.row << c.typed;
        // Stored as the digits typed, in bytes per second.
        EXPECT_EQ(f.saved().value("Quelmint/settings/Bandwidth"),
                  QString::number(qint64(c.bandwidth)));
    }
    // An empty custom speed is an error; the dialog stays open.
    Fixture f;
    f.open();
    f.selectText("Combo2", "Custom connection speed");
    f.get<QLineEdit>("Text1")->clear();
    f.ok();
    EXPECT_FALSE(f.closedWithOk());
    ASSERT_EQ(f.host.boxes.boxes.size(), 1);
    EXPECT_TRUE(f.host.boxes.boxes[0].text.startsWith("Error in OK:\r\n"));
    EXPECT_EQ(f.host.settings().gBandwidth, 48000);
}

TEST(Form2, NumberBoxesLetTabReturnAndEscapeThrough) {
    enum class After { FocusLeaves, Accepted, Rejected };
    struct Case {
        const char* name;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        After after;
    };
    const Case cases[] = {
        {"Tab", Qt::Key_Tab, Qt::NoModifier, After::FocusLeaves},
        {"Shift+Tab", Qt::Key_Backtab, Qt::ShiftModifier, After::FocusLeaves},
        {"Return", Qt::Key_Return, Qt::NoModifier, After::Accepted},
        {"Enter", Qt::Key_Enter, Qt::KeypadModifier, After::Accepted},
        {"Escape", Qt::Key_Escape, Qt::NoModifier, After::Rejected},
    };
    for (const char* name : {"Text1", "Text2", "Text4"}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(name) + " " + c.name);
            Fixture f;
            Form2& dialog = f.open();
            f.selectText("Combo2", "Custom connection speed");
            f.type("Text1", "1000");
            dialog.activateWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog, 10000));
            auto* edit = f.get<QLineEdit>(name);
            edit->setFocus(Qt::OtherFocusReason);
            ASSERT_TRUE(QTest::qWaitFor([&] { return edit->hasFocus(); }, 10000));
            QTest::keyClick(edit, c.key, c.modifiers);
            switch (c.after) {
            case After::FocusLeaves:
                EXPECT_FALSE(edit->hasFocus());
                EXPECT_TRUE(dialog.isVisible());
                break;
            case After::Accepted:
                EXPECT_TRUE(f.closedWithOk());
                break;
            case After::Rejected:
                EXPECT_FALSE(dialog.isVisible());
                EXPECT_EQ(dialog.result(), QDialog::Rejected);
                break;
            }
        }
    }
}

TEST(Form2, NumberBoxesTakeOnlyDigits) {
    Fixture f;
    f.open();
    for (const char* name : {"Text1", "Text2", "Text4"}) {
        f.selectText("Combo2", "Custom connection speed");
        auto* edit = f.get<QLineEdit>(name);
        edit->clear();
        QTest::keyClicks(edit, "ab1c2-3.x +e");
        EXPECT_EQ(edit->text(), "123") << name;
        QTest::keyClicks(edit, "letters");
        EXPECT_EQ(edit->text(), "123") << name;
        QTest::keyClick(edit, Qt::Key_Backspace);
        EXPECT_EQ(edit->text(), "12") << name;
        // A paste that is not all digits is refused; one that is goes in.
        QGuiApplication::clipboard()->setText("4x");
        edit->paste();
        EXPECT_EQ(edit->text(), "12") << name;
        QGuiApplication::clipboard()->setText("45");
        edit->paste();
        EXPECT_EQ(edit->text(), "1245") << name;
    }
    // A decimal custom speed loaded from the store stays editable.
    Fixture g;
    g.host.settings().gBandwidth = 48000.5;
    g.open();
    auto* text1 = g.get<QLineEdit>("Text1");
    text1->setCursorPosition(text1->text().size());
    QTest::keyClick(text1, Qt::Key_Backspace);
    QTest::keyClick(text1, Qt::Key_Backspace);
    QTest::keyClicks(text1, "7x");
    EXPECT_EQ(text1->text(), "480007");
    g.ok();
    EXPECT_EQ(g.host.settings().gBandwidth, 480007);

    // The capture filter is free text.
    f.type("Text3", "tcp port 80");
    EXPECT_EQ(f.get<QLineEdit>("Text3")->text(), "tcp port 80");
}

TEST(Form2, EmptyTimesBecomeZero) {
    Fixture f;
    f.open();
    f.get<QLineEdit>("Text2")->clear();
    f.get<QLineEdit>("Text4")->clear();
    f.ok();
    EXPECT_TRUE(f.closedWithOk());
    EXPECT_EQ(f.get<QLineEdit>("Text2")->text(), "0");
    EXPECT_EQ(f.host.settings().gRemoveFromListTime, 0);
    EXPECT_EQ(f.host.settings().gHiliteNewPacketTime, 0);
}

TEST(Form2, ATimeBeyond32BitsStopsOkWithEarlierStepsApplied) {
    Fixture f;
    f.open();
    f.selectText("Combo4", "Wave");
    f.type("Text2", "99999999999");
    f.ok();
    EXPECT_FALSE(f.closedWithOk());
    ASSERT_EQ(f.host.boxes.boxes.size(), 1);
    EXPECT_EQ(f.host.boxes.boxes[0].icon, BoxIcon::Critical);
    EXPECT_TRUE(f.host.boxes.boxes[0].text.startsWith("Error in OK:\r\n"));
    EXPECT_TRUE(f.host.boxes.boxes[0].text.contains("99999999999"));
    EXPECT_EQ(f.host.settings().gGraphStyle, 0);
    EXPECT_EQ(f.host.settings().gRemoveFromListTime, 30);
}

TEST(Form2, EveryTextFitsAndThePictureIsKept) {
    Fixture f;
    f.host.settings().gCountIPv6 = true;
    Form2& d = f.open();
    QTest::qWait(50);
    const QStringList cut = cutOffTexts(d);
    EXPECT_TRUE(cut.isEmpty()) << cut.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(f.get<QCheckBox>("Check5")->isChecked());
    if (qEnvironmentVariableIsSet("QUELMINT_BUILD_DIR")) {
        const QString dir =
            qEnvironmentVariable("QUELMINT_BUILD_DIR") + QStringLiteral("/artifacts");
        QDir().mkpath(dir);
        d.grab().save(dir +
                      QStringLiteral("/settings%1.png")
                          .arg(d.devicePixelRatioF() > 1 ? QStringLiteral("-scaled") : QString()));
    }
}

TEST(Form2, OkAppliesEverySettingAndRefreshesTheMainWindowInOrder) {
    Fixture f;
    Settings& s = f.host.settings();
    s.gInterfaceToWatch = "eth0";
    f.host.monitoring = true;
    f.open();
    f.get<QCheckBox>("Check3")->setChecked(true);
    f.get<QCheckBox>("Check2")->setChecked(false);
    f.get<QCheckBox>("Check1")->setChecked(false);
    f.get<QCheckBox>("Check4")->setChecked(false);
    EXPECT_FALSE(f.get<QCheckBox>("Check5")->isChecked()) << "off, as the default";
    f.get<QCheckBox>("Check5")->setChecked(true);
    f.selectText("Combo3", "MegaBytes (MB/s)");
    f.selectText("Combo5", "Kilobits/sec (kbps)");
    f.selectText("Combo4", "Wave");
    f.type("Text2", "45");
    f.type("Text4", "5");
    f.type("Text3", "udp");
    f.ok();
    EXPECT_TRUE(f.closedWithOk());
    EXPECT_TRUE(s.gStartMinimized);
    EXPECT_FALSE(s.gCloseToTray);
    EXPECT_FALSE(s.gResetStatsAtNewDay);
    EXPECT_FALSE(s.gStartAtLogon);
    EXPECT_TRUE(s.gCountIPv6);
    EXPECT_EQ(s.gDisplayUnit, 2);
    EXPECT_EQ(s.gSpeedUnit, 0);
    EXPECT_EQ(s.gGraphStyle, 0);
    EXPECT_EQ(s.gRemoveFromListTime, 45);
    EXPECT_EQ(s.gHiliteNewPacketTime, 5);
    EXPECT_EQ(s.gFilterString, "udp");
    EXPECT_EQ(f.capture.Filter(), "udp");
    // Announced once, with every value stored (the filter follows once it is accepted).
    EXPECT_EQ(f.host.calls, QStringList({"announce 2|unit 2|speed 0"}));

    // A step that fails still announces what was stored before it.
    Fixture g;
    g.open();
    g.selectText("Combo5", "Kilobits/sec (kbps)");
    g.type("Text2", "99999999999");
    g.ok();
    EXPECT_FALSE(g.closedWithOk());
    EXPECT_EQ(g.host.calls, QStringList({"announce 2|unit 3|speed 0"}));
}

TEST(Form2, DataPlanShowsInItsUnitIsStoredInBytesAndRefusesWhatCannotBeAPlan) {
    constexpr qint64 kMB = qint64(1) << 20, kGB = qint64(1) << 30;
    struct Case {
        qint64 storedAllowance;
        qint32 storedDay;
        const char* shown; // the allowance as loaded, then its unit
        const char* shownUnit;
        bool plan;         // the group's box after the user's change
        const char* typed; // null: left as shown
        const char* unit;
        const char* day;
        qint64 allowance; // stored after OK; -1: refused, nothing stored
        qint32 startDay;
    };
    const Case cases[] = {
        {0, 1, "", "GB", true, "50", "GB", "9", 50 * kGB, 9},
        {50 * kGB, 9, "50", "GB", true, "300", "MB", "28", 300 * kMB, 28},
        {1536 * kMB, 3, "1536", "MB", true, "1.5", "GB", "3", 1536 * kMB, 3},
        {kGB + 1, 3, "1024.0000009536743", "MB", true, nullptr, "MB", "3", kGB + 1, 3},
        {50 * kGB, 9, "50", "GB", false, nullptr, "GB", "9", 0, 9},
        // Refused: an allowance of nothing, too much or no number; a day no month has.
        {0, 1, "", "GB", true, "0", "GB", "1", -1, 0},
        {0, 1, "", "GB", true, "", "MB", "1", -1, 0},
        {0, 1, "", "GB", true, "2000000", "GB", "1", -1, 0},
        {0, 1, "", "GB", true, ".", "GB", "1", -1, 0},
        {0, 1, "", "GB", true, "5", "GB", "31", -1, 0},
        {0, 1, "", "GB", true, "5", "GB", "0", -1, 0},
        {0, 1, "", "GB", true, "5", "GB", "", -1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.typed ? c.typed : "-") + " " + c.unit + " day " + c.day);
        Fixture f;
        Settings& s = f.host.settings();
        s.gPlanAllowance = c.storedAllowance;
        s.gPlanStartDay = c.storedDay;
        f.open();
        auto* group = f.get<QGroupBox>("fraPlan");
        EXPECT_EQ(group->isChecked(), c.storedAllowance > 0);
        EXPECT_EQ(f.get<QLineEdit>("txtPlanAllowance")->text(), c.shown);
        if (c.storedAllowance > 0) {
            EXPECT_EQ(f.get<QComboBox>("cboPlanUnit")->currentText(), c.shownUnit);
        }
        EXPECT_EQ(f.get<QLineEdit>("txtPlanStartDay")->text(), QString::number(c.storedDay));
        group->setChecked(c.plan);
        if (c.typed != nullptr)
            f.get<QLineEdit>("txtPlanAllowance")->setText(QString::fromLatin1(c.typed));
        f.selectText("cboPlanUnit", QString::fromLatin1(c.unit));
        f.get<QLineEdit>("txtPlanStartDay")->setText(QString::fromLatin1(c.day));
        f.ok();
        if (c.allowance < 0) {
            EXPECT_FALSE(f.closedWithOk());
            ASSERT_EQ(f.host.boxes.boxes.size(), 1);
            EXPECT_EQ(f.host.boxes.boxes[0].title, "Data plan");
            EXPECT_EQ(s.gPlanAllowance, c.storedAllowance);
            EXPECT_EQ(s.gPlanStartDay, c.storedDay);
            EXPECT_TRUE(f.host.calls.isEmpty()); // nothing was applied
        } else {
            EXPECT_TRUE(f.closedWithOk());
            EXPECT_EQ(s.gPlanAllowance, c.allowance);
            EXPECT_EQ(s.gPlanStartDay, c.startDay);
        }
    }
}

TEST(Form2, LabelsToggleTheirBoxes) {
    const std::pair<const char*, const char*> pairs[] = {{"Label6", "Check3"},
                                                         {"Label5", "Check2"},
                                                         {"Label11", "Check1"},
                                                         {"Label12", "Check4"},
                                                         {"Label13", "Check5"}};
    for (const auto& [labelName, boxName] : pairs) {
        Fixture f;
        f.open();
        auto* box = f.get<QCheckBox>(boxName);
        const bool before = box->isChecked();
        QTest::mouseClick(f.get<QLabel>(labelName), Qt::LeftButton);
        EXPECT_NE(box->isChecked(), before) << labelName;
        QTest::mouseClick(f.get<QLabel>(labelName), Qt::LeftButton);
        EXPECT_EQ(box->isChecked(), before) << labelName;
    }
}

TEST(Form2, CancelChangesNothing) {
    Fixture f;
    f.host.settings().gInterfaceToWatch = "eth0";
    const auto before = f.saved();
    f.open();
    f.get<QComboBox>("Combo1")->setCurrentIndex(2);
    f.selectText("Combo2", "Custom connection speed");
    f.type("Text1", "77777");
    f.selectText("Combo3", "Bytes (B/s)");
    f.get<QCheckBox>("Check2")->setChecked(false);
    f.type("Text2", "1");
    f.type("Text3", "icmp");
    f.get<QPushButton>("Command2")->click();
    EXPECT_FALSE(f.dialog->isVisible());
    EXPECT_EQ(f.dialog->result(), QDialog::Rejected);
    EXPECT_EQ(f.saved(), before);
    EXPECT_TRUE(f.capture.calls.isEmpty());
    EXPECT_TRUE(f.host.calls.isEmpty());
}

TEST(Form2, TheWatchedAdapterIsSelectedAndOnlyRestartedWhenStopped) {
    struct Case {
        bool monitoring;
        bool restarts;
    };
    for (const Case c : {Case{true, false}, Case{false, true}}) {
        Fixture f;
        f.host.settings().gInterfaceToWatch = "eth0";
        f.host.monitoring = c.monitoring;
        f.open();
        EXPECT_EQ(f.get<QComboBox>("Combo1")->currentIndex(), 0);
        f.ok();
        EXPECT_TRUE(f.closedWithOk());
        EXPECT_EQ(f.capture.startCount, c.restarts ? 1 : 0);
        EXPECT_EQ(f.capture.isCapturing(), c.restarts);
        EXPECT_TRUE(f.host.monitoring);
        if (c.restarts) {
            EXPECT_EQ(f.capture.calls.mid(0, 3),
                      QStringList({"setActiveAdapter:eth0", "StopCapture", "StartCapture"}));
            EXPECT_EQ(f.host.balloons, QStringList({"Monitoring|" + kEthDesc + "|1"}));
            EXPECT_EQ(f.host.localAddresses, QStringList({"192.168.1.5", "10.0.0.7"}));
            EXPECT_EQ(f.host.tooltipText, kEthDesc);
        } else {
            EXPECT_FALSE(f.capture.calls.contains("StartCapture"));
            EXPECT_FALSE(f.capture.calls.contains("StopCapture"));
            EXPECT_TRUE(f.host.balloons.isEmpty());
        }
    }
}

TEST(Form2, ListsOnlyAdaptersItCanMonitorAndPreselectsTheDefaultRouteAtFirstStart) {
    const struct {
        const char* stored;
        const char* defaultRoute;
        int selected;
    } cases[] = {
        {"", "eth1", 2},       // first start: the default route's adapter
        {"eth0", "eth1", 0},   // the stored one wins
        {"", "nflog", -1},     // not one that can be monitored
        {"", "", -1},          // no default route
        {"nflog", "eth0", -1}, // stored by hand: not offered
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored + std::string("/") + c.defaultRoute);
        Fixture f;
        f.capture.defaultRoute = QString::fromLatin1(c.defaultRoute);
        f.host.settings().gInterfaceToWatch = QString::fromLatin1(c.stored);
        f.open();
        auto* adapters = f.get<QComboBox>("Combo1");
        EXPECT_EQ(adapters->count(), 3);
        EXPECT_EQ(adapters->currentIndex(), c.selected);
    }
}

TEST(Form2, AnEthernetAdapterWithoutAddressStartsWithOneEmptyLocalAddress) {
    Fixture f;
    f.host.settings().gInterfaceToWatch = "eth0";
    f.host.monitoring = true;
    f.open();
    f.get<QComboBox>("Combo1")->setCurrentIndex(2);
    f.ok();
    EXPECT_TRUE(f.closedWithOk());
    EXPECT_EQ(f.capture.ActiveAdapter()->Name, "eth1");
    EXPECT_TRUE(f.capture.isCapturing());
    EXPECT_EQ(f.host.localAddresses, QStringList({QString()}));
    EXPECT_EQ(f.host.balloons, QStringList({"Monitoring|Spare port|1"}));
    EXPECT_EQ(f.host.settings().gInterfaceToWatch, "eth1");
    EXPECT_EQ(f.host.settings().gDescOfInterfaceToWatch, "Spare port");
}

TEST(Form2, AFailedStartIsReportedAndCaptureCountsAsStopped) {
    Fixture f;
    f.host.settings().gInterfaceToWatch = "eth0";
    f.host.monitoring = true;
    f.capture.startError = "Cannot capture on adapter eth1: Operation not permitted";
    f.open();
    f.get<QComboBox>("Combo1")->setCurrentIndex(2);
    f.selectText("Combo4", "Wave");
    f.ok();
    EXPECT_FALSE(f.closedWithOk());
    ASSERT_EQ(f.host.boxes.boxes.size(), 1);
    EXPECT_EQ(f.host.boxes.boxes[0].icon, BoxIcon::Critical);
    EXPECT_EQ(f.host.boxes.boxes[0].text,
              "Error in OK:\r\nCannot capture on adapter eth1: Operation not permitted");
    EXPECT_FALSE(f.host.monitoring);
    EXPECT_TRUE(f.host.balloons.isEmpty());
    EXPECT_EQ(f.host.settings().gGraphStyle, 1); // the steps after the failure did not run
    // Once the cause is gone, OK on the same adapter starts it (it is not running).
    f.capture.startError.clear();
    f.ok();
    EXPECT_TRUE(f.closedWithOk());
    EXPECT_TRUE(f.host.monitoring);
    EXPECT_TRUE(f.capture.isCapturing());
}

TEST(Form2, AdapterSelectionRules) {
    // No adapter chosen yet: nothing is selected and OK starts nothing.
    {
        Fixture f;
        f.open();
        EXPECT_EQ(f.get<QComboBox>("Combo1")->currentIndex(), -1);
        f.ok();
        EXPECT_TRUE(f.closedWithOk());
        EXPECT_EQ(f.capture.calls, QStringList({"setFilter:"}));
    }
    // Two adapters with the watched name: the last one is selected.
    {
        QList<Adapter> list = threeAdapters();
        list.append(FakeCapture::ethernet("eth0", "Second eth0", {"1.2.3.4"}));
        Fixture f(list);
        f.host.settings().gInterfaceToWatch = "eth0";
        f.open();
        EXPECT_EQ(f.get<QComboBox>("Combo1")->currentIndex(), 3);
    }
    // The list changes underneath the open dialog: OK applies the adapter that was shown.
    {
        Fixture f;
        f.open();
        f.get<QComboBox>("Combo1")->setCurrentIndex(2);
        f.capture.systemAdapters = {FakeCapture::ethernet("eth9", "Other", {"9.9.9.9"})};
        f.capture.RefreshAdapters(); // as the main window's recovery tick would
        f.ok();
        EXPECT_TRUE(f.closedWithOk());
        EXPECT_EQ(f.capture.ActiveAdapter()->Name, "eth1");
    }
}

TEST(Form2, RefreshShowsTheBusyPointerAndRelistsTheAdapters) {
    Fixture f;
    f.host.settings().gInterfaceToWatch = "eth5";
    f.open();
    int shapeDuringRefresh = -1;
    f.capture.onRefresh = [&] {
        const QCursor* c = QGuiApplication::overrideCursor();
        shapeDuringRefresh = c != nullptr ? int(c->shape()) : -2;
    };
    f.capture.systemAdapters = {FakeCapture::ethernet("eth4", "Four", {}),
                                FakeCapture::ethernet("eth5", "Five", {"5.5.5.5"})};
    f.get<QPushButton>("Command3")->click();
    EXPECT_EQ(shapeDuringRefresh, int(Qt::WaitCursor));
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    auto* combo = f.get<QComboBox>("Combo1");
    ASSERT_EQ(combo->count(), 2);
    EXPECT_EQ(combo->itemText(1), "Five  (5.5.5.5)");
    EXPECT_EQ(combo->currentIndex(), 1);
}

TEST(Form2, ARejectedFilterKeepsTheDialogOpen) {
    Fixture f;
    f.host.settings().gFilterString = "tcp";
    f.capture.rejectFilter = [](const QString& text) {
        return text.contains('(') ? QStringLiteral("syntax error in filter expression") : QString();
    };
    f.open();
    f.selectText("Combo4", "Wave");
    f.type("Text3", "port (");
    f.ok();
    EXPECT_FALSE(f.closedWithOk());
    ASSERT_EQ(f.host.boxes.boxes.size(), 1);
    EXPECT_EQ(f.host.boxes.boxes[0].icon, BoxIcon::None);
    EXPECT_EQ(f.host.boxes.boxes[0].title, QString());
    EXPECT_EQ(f.host.boxes.boxes[0].text,
              "The capture filter \"port (\" was rejected: syntax error in filter expression.");
    EXPECT_EQ(f.dialog->focusWidget(), f.get<QLineEdit>("Text3"));
    EXPECT_EQ(f.host.settings().gFilterString, "tcp");
    EXPECT_EQ(f.host.settings().gGraphStyle, 0); // applied before the filter
    f.type("Text3", "port 53");
    f.ok();
    EXPECT_TRUE(f.closedWithOk());
    EXPECT_EQ(f.host.settings().gFilterString, "port 53");
}

TEST(Form2, AListPositionThatCannotBeShownIsReportedAndTheRestStillLoads) {
    Fixture f;
    f.host.settings().gDisplayUnit = 7;
    f.host.settings().gRemoveFromListTime = 12;
    f.host.settings().gHiliteNewPacketTime = 5;
    f.host.settings().gCloseToTray = false;
    f.open();
    ASSERT_EQ(f.host.boxes.boxes.size(), 1);
    EXPECT_EQ(f.host.boxes.boxes[0].icon, BoxIcon::Critical);
    EXPECT_TRUE(f.host.boxes.boxes[0].text.startsWith("Error in Form2 Load:\r\n"));
    EXPECT_TRUE(f.host.boxes.boxes[0].text.contains("DisplayUnit"));
    EXPECT_EQ(f.get<QLineEdit>("Text2")->text(), "12");
    EXPECT_EQ(f.get<QLineEdit>("Text4")->text(), "5");
    EXPECT_FALSE(f.get<QCheckBox>("Check2")->isChecked());
    EXPECT_EQ(f.get<QComboBox>("Combo5")->currentIndex(), 1);
    // OK keeps a setting whose list has no selection.
    f.ok();
    EXPECT_TRUE(f.closedWithOk());
    EXPECT_EQ(f.host.settings().gDisplayUnit, 7);
    EXPECT_EQ(f.host.settings().gRemoveFromListTime, 12);
    EXPECT_EQ(f.host.settings().gHiliteNewPacketTime, 5);
    EXPECT_FALSE(f.host.settings().gCloseToTray);
}

// The same dialog over the real capture component on the adapters of a private namespace.
class Form2Live : public ::testing::Test {
protected:
    void SetUp() override {
        SKIP_WITHOUT_NETNS();
        pair_ = std::make_unique<NetnsPair>("set", 30);
        ASSERT_TRUE(pair_->ok());
    }
    /// The adapter's row in the list (-1: absent).
    /// The adapter's row in the dialog's list, which holds those that can be monitored.
    static int rowOf(const HelperCapture& capture, const QString& name) {
        int row = 0;
        for (const Adapter& a : capture.Adapters()) {
            if (a.Name == name)
                return pcapsupport::monitorable(a) ? row : -1;
            row += pcapsupport::monitorable(a) ? 1 : 0;
        }
        return -1;
    }
    std::unique_ptr<NetnsPair> pair_;
};

TEST_F(Form2Live, RealAdaptersCanBeChosenAndCaptured) {
    NetnsEnter inA(pair_->nsA());
    ASSERT_TRUE(inA.ok());
    HelperCapture capture(captureHelperPath());
    FakeForm2Host host(capture);
    {
        // The loopback adapter is not offered.
        Form2 dialog(host);
        auto* combo = child<QComboBox>(dialog, "Combo1");
        const int veth = rowOf(capture, pair_->nameA());
        ASSERT_GE(veth, 0);
        EXPECT_EQ(rowOf(capture, QStringLiteral("lo")), -1);
        for (int i = 0; i < combo->count(); ++i)
            EXPECT_FALSE(combo->itemText(i).startsWith("Loopback")) << i;
        EXPECT_TRUE(combo->itemText(veth).endsWith("  (" + pair_->addressA() + ")"))
            << combo->itemText(veth).toStdString();

        combo->setCurrentIndex(veth);
        child<QLineEdit>(dialog, "Text3")->setText("not a filter ((");
        child<QPushButton>(dialog, "Command1")->click();
        // Capture runs on the veth adapter; pcap refused the filter and the dialog stays.
        EXPECT_TRUE(capture.isCapturing());
        // The IPv4 address, then the IPv6 link-local one the kernel gave the adapter.
        EXPECT_EQ(host.localAddresses.value(0), pair_->addressA());
        for (const QString& a : host.localAddresses.mid(1))
            EXPECT_TRUE(a.startsWith("fe80::")) << a.toStdString();
        ASSERT_EQ(host.boxes.boxes.size(), 1);
        EXPECT_EQ(host.boxes.boxes[0].icon, BoxIcon::None);
        EXPECT_FALSE(host.boxes.boxes[0].text.isEmpty());
        EXPECT_TRUE(dialog.result() != QDialog::Accepted);
        EXPECT_EQ(host.settings().gFilterString, QString());
        EXPECT_EQ(capture.Filter(), QString());
        capture.StopCapture();
    }
}

TEST_F(Form2Live, AnAdapterWithoutAddressStartsCapture) {
    ASSERT_TRUE(pair_->deleteVeth());
    ASSERT_TRUE(pair_->createVeth(false));
    NetnsEnter inA(pair_->nsA());
    ASSERT_TRUE(inA.ok());
    HelperCapture capture(captureHelperPath());
    FakeForm2Host host(capture);
    Form2 dialog(host);
    auto* combo = child<QComboBox>(dialog, "Combo1");
    const int veth = rowOf(capture, pair_->nameA());
    ASSERT_GE(veth, 0);
    EXPECT_FALSE(combo->itemText(veth).contains("("));
    combo->setCurrentIndex(veth);
    child<QPushButton>(dialog, "Command1")->click();
    EXPECT_TRUE(host.boxes.boxes.isEmpty())
        << (host.boxes.boxes.isEmpty() ? "" : host.boxes.boxes[0].text.toStdString());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(capture.isCapturing());
    EXPECT_TRUE(host.monitoring);
    // No IPv4 address: the IPv6 link-local one if the kernel gave it, else one empty entry.
    ASSERT_FALSE(host.localAddresses.isEmpty());
    for (const QString& a : host.localAddresses)
        EXPECT_TRUE(a.isEmpty() || a.startsWith("fe80::")) << a.toStdString();
    ASSERT_EQ(host.balloons.size(), 1);
    EXPECT_TRUE(host.balloons[0].startsWith("Monitoring|"));
    EXPECT_EQ(host.settings().gInterfaceToWatch, pair_->nameA());
    capture.StopCapture();
}
