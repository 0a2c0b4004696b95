#include "platform/QSettingsStore.h"
#include "platform/fakes/FakeSettingsStore.h"
#include "settings/Settings.h"
#include "support/TestFiles.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <limits>

namespace {
/// Every key with a text that differs from its default.
const QList<QPair<QString, QString>> kChanged = {
    {"DisplayTCP", "False"},
    {"DisplayUDP", "False"},
    {"DisplayICMP", "False"},
    {"Interface", "qmseta"},
    {"InterfaceDesc", "Intel(R) PRO/1000 \"Desktop\" adapter; port #1, ünïcode"},
    {"Bandwidth", "1250000"},
    {"CloseToTray", "False"},
    {"StartMinimized", "True"},
    {"DisplayUnit", "1"},
    {"SpeedUnit", "0"},
    {"GraphStyle", "0"},
    {"FilterString", "tcp port 80 or (udp and host 10.0.0.1), not arp"},
    {"RemoveFromListTime", "0"},
    {"HiliteNewPacketTime", "7"},
    {"ResetStatsAtNewDay", "False"},
    {"StartAtLogon", "False"},
    {"CountIPv6", "True"},
    {"PlanAllowance", "53687091200"},
    {"PlanStartDay", "15"},
    {"ChartSize", "700x450"},
};

QMap<QString, QString> savedTexts(const Settings& s) {
    FakeSettingsStore out;
    EXPECT_TRUE(s.saveSettings(out).isEmpty());
    QMap<QString, QString> texts;
    for (auto it = out.values.cbegin(); it != out.values.cend(); ++it)
        texts.insert(it.key().section(u'/', 2), it.value());
    return texts;
}
} // namespace

TEST(Settings, EmptyStoreGivesTheDefaults) {
    Settings s;
    s.displayTCP = false;
    s.gBandwidth = 5;
    s.gDisplayUnit = 0;
    FakeSettingsStore store;
    EXPECT_TRUE(s.loadSettings(store).isEmpty());
    EXPECT_TRUE(s.displayTCP);
    EXPECT_TRUE(s.displayUDP);
    EXPECT_TRUE(s.displayICMP);
    EXPECT_EQ(s.gInterfaceToWatch, QString());
    EXPECT_EQ(s.gDescOfInterfaceToWatch, QString());
    EXPECT_EQ(s.gBandwidth, 48000.0);
    EXPECT_TRUE(s.gCloseToTray);
    EXPECT_FALSE(s.gStartMinimized);
    EXPECT_EQ(s.gDisplayUnit, 3);
    EXPECT_EQ(s.gSpeedUnit, 1);
    EXPECT_EQ(s.gGraphStyle, 1);
    EXPECT_EQ(s.gFilterString, QString());
    EXPECT_EQ(s.gRemoveFromListTime, 30);
    EXPECT_EQ(s.gHiliteNewPacketTime, 2);
    EXPECT_TRUE(s.gResetStatsAtNewDay);
    EXPECT_TRUE(s.gStartAtLogon);
    EXPECT_FALSE(s.gCountIPv6);
    EXPECT_EQ(s.gPlanAllowance, 0);
    EXPECT_EQ(s.gPlanStartDay, 1);
}

TEST(Settings, SavesEveryKeyInTableOrder) {
    Settings s;
    FakeSettingsStore store;
    EXPECT_TRUE(s.saveSettings(store).isEmpty());
    const QStringList order = {
        "DisplayTCP",         "DisplayUDP",          "DisplayICMP",        "Interface",
        "InterfaceDesc",      "Bandwidth",           "CloseToTray",        "StartMinimized",
        "DisplayUnit",        "SpeedUnit",           "GraphStyle",         "FilterString",
        "RemoveFromListTime", "HiliteNewPacketTime", "ResetStatsAtNewDay", "StartAtLogon",
        "CountIPv6",          "PlanAllowance",       "PlanStartDay",       "ChartSize"};
    EXPECT_EQ(store.putKeys, order);
    // A new object holds every default.
    const QStringList defaults = {"True",  "True", "True", "",  "",     "48000", "True",
                                  "False", "3",    "1",    "1", "",     "30",    "2",
                                  "True",  "True", "False", "0", "1",   ""};
    for (int i = 0; i < order.size(); ++i)
        EXPECT_EQ(store.at(order[i]), defaults[i]) << order[i].toStdString();
}

TEST(Settings, EveryKeyRoundTripsThroughTheIniFile) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Quelmint.conf"));
    {
        FakeSettingsStore prepared;
        for (const auto& [key, text] : kChanged)
            prepared.at(key) = text;
        Settings s;
        ASSERT_TRUE(s.loadSettings(prepared).isEmpty());
        QSettingsStore store(file);
        EXPECT_TRUE(s.saveSettings(store).isEmpty());
    }
    // A fresh store and a fresh settings object read back exactly what was written.
    QSettingsStore store(file);
    Settings s;
    EXPECT_TRUE(s.loadSettings(store).isEmpty());
    const QMap<QString, QString> texts = savedTexts(s);
    for (const auto& [key, text] : kChanged)
        EXPECT_EQ(texts.value(key), text) << key.toStdString();
    EXPECT_EQ(s.gDisplayUnit, 1);
    EXPECT_EQ(s.gSpeedUnit, 0);

    // The file is plain text under [settings]; commas and quotes are quoted, not encoded.
    const QString content = readText(file);
    EXPECT_TRUE(content.startsWith(QStringLiteral("[settings]\n"))) << content.toStdString();
    EXPECT_TRUE(content.contains(QStringLiteral("\nDisplayTCP=False\n")));
    EXPECT_TRUE(content.contains(QStringLiteral("\nBandwidth=1250000\n")));
    EXPECT_TRUE(content.contains(QStringLiteral("\nHiliteNewPacketTime=7\n")));
    EXPECT_TRUE(content.contains(QStringLiteral("\nInterface=qmseta\n")));
}

TEST(Settings, BandwidthTextReadsBackToTheSameNumber) {
    const double values[] = {48000,   1000,    0.1 + 0.2, 123456.789,
                             1e20,    5592000, 1.0 / 3.0, std::numeric_limits<double>::max(),
                             4.9e-324};
    for (double v : values) {
        Settings s;
        s.gBandwidth = v;
        FakeSettingsStore store;
        s.saveSettings(store);
        Settings t;
        EXPECT_TRUE(t.loadSettings(store).isEmpty());
        EXPECT_EQ(t.gBandwidth, v) << store.at("Bandwidth").toStdString();
    }
    // Plain decimal digits, never an exponent.
    const std::pair<double, const char*> texts[] = {{48000, "48000"},
                                                    {1000, "1000"},
                                                    {100000, "100000"},
                                                    {1250000000, "1250000000"},
                                                    {1e20, "100000000000000000000"},
                                                    {48000.5, "48000.5"}};
    for (const auto& [value, text] : texts)
        EXPECT_EQ(Settings::bandwidthText(value), text);
}

TEST(Settings, BooleansAcceptTextAndNumbers) {
    struct Case {
        const char* text;
        bool value;
    };
    const Case cases[] = {{"True", true},   {"true", true}, {"TRUE", true}, {"False", false},
                          {"fAlSe", false}, {"0", false},   {"5", true},    {"-1", true},
                          {" 0 ", false},   {"0.0", false}, {"2.5", true},  {"-0", false}};
    for (const Case& c : cases) {
        FakeSettingsStore store;
        store.at("DisplayUDP") = QString::fromLatin1(c.text);
        store.at("StartMinimized") = QString::fromLatin1(c.text);
        Settings s;
        EXPECT_TRUE(s.loadSettings(store).isEmpty()) << c.text;
        EXPECT_EQ(s.displayUDP, c.value) << c.text;
        EXPECT_EQ(s.gStartMinimized, c.value) << c.text;
        // Written back as the Boolean's text.
        EXPECT_EQ(savedTexts(s).value("DisplayUDP"), c.value ? "True" : "False");
    }
}

TEST(Settings, ABadValueIsNamedTheDefaultIsUsedAndTheRestStillLoads) {
    struct Case {
        const char* key;
        const char* text;
        const char* defaultText; // as written back
    };
    const Case cases[] = {
        {"DisplayTCP", "yes", "True"},
        {"CloseToTray", "", "True"},
        {"StartMinimized", "maybe", "False"},
        {"ResetStatsAtNewDay", "nan", "True"},
        {"DisplayUnit", "abc", "3"},
        {"DisplayUnit", "7", "3"}, // not one of the list's positions
        {"SpeedUnit", "-1", "1"},
        {"GraphStyle", "2", "1"},
        {"RemoveFromListTime", "99999999999", "30"}, // beyond 32 bits
        {"HiliteNewPacketTime", "2 seconds", "2"},
        {"Bandwidth", "fast", "48000"},
        {"Bandwidth", "", "48000"},
        {"Bandwidth", "1e400", "48000"}, // beyond 64-bit floats
        // A plan that cannot be meant is no plan; a start day past the 28th is the 28th.
        {"PlanAllowance", "-5", "0"},
        {"PlanAllowance", "1e30", "0"},
        {"PlanAllowance", "50 GB", "0"},
        {"PlanStartDay", "31", "28"},
        {"PlanStartDay", "0", "1"},
        {"PlanStartDay", "first", "1"},
        {"ChartSize", "big", ""},
        {"ChartSize", "0x400", ""},
    };
    for (const Case& c : cases) {
        const QString key = QString::fromLatin1(c.key);
        FakeSettingsStore store;
        for (const auto& [k, text] : kChanged)
            store.at(k) = text;
        store.at(key) = QString::fromLatin1(c.text);
        Settings s;
        const QList<Settings::LoadError> errors = s.loadSettings(store);
        ASSERT_EQ(errors.size(), 1) << c.key << " " << c.text;
        EXPECT_EQ(errors[0].key, key);
        EXPECT_EQ(errors[0].text, QString::fromLatin1(c.text));
        EXPECT_TRUE(errors[0].description.contains(u'"' + key + u'"'));
        EXPECT_TRUE(errors[0].description.contains(u'"' + QString::fromLatin1(c.text) + u'"'))
            << errors[0].description.toStdString();
        EXPECT_TRUE(errors[0].description.contains(u'"' + QString::fromLatin1(c.defaultText) +
                                                   QStringLiteral("\" is used")))
            << errors[0].description.toStdString();
        const QMap<QString, QString> texts = savedTexts(s);
        for (const auto& [k, text] : kChanged) {
            const QString expected = k == key ? QString::fromLatin1(c.defaultText) : text;
            EXPECT_EQ(texts.value(k), expected) << c.key << " / " << k.toStdString();
        }
    }
}

TEST(Settings, SeveralBadValuesAreAllReported) {
    FakeSettingsStore store;
    store.at("DisplayTCP") = "x";
    store.at("SpeedUnit") = "y";
    Settings s;
    const auto errors = s.loadSettings(store);
    ASSERT_EQ(errors.size(), 2);
    EXPECT_EQ(errors[0].key, "DisplayTCP");
    EXPECT_EQ(errors[1].key, "SpeedUnit");
    EXPECT_EQ(Settings::describe(errors), errors[0].description + "\r\n" + errors[1].description);
}

TEST(Settings, NumbersReadLikeTheStoreConversion) {
    const auto check = [](const char* key, const auto& cases, auto value) {
        for (const auto& [text, expected] : cases) {
            FakeSettingsStore store;
            store.at(QString::fromLatin1(key)) = QString::fromLatin1(text);
            Settings s;
            EXPECT_TRUE(s.loadSettings(store).isEmpty()) << key << "=" << text;
            EXPECT_EQ(value(s), expected) << key << "=" << text;
        }
    };
    // A bandwidth that cannot scale the graph reads as the default.
    const std::pair<const char*, double> bandwidths[] = {
        {"1000", 1000}, {"0", 48000}, {"-5", 48000},      {"inf", 48000},
        {"nan", 48000}, {"0.5", 0.5}, {" 96000 ", 96000}, {"-0", 48000}};
    check("Bandwidth", bandwidths, [](const Settings& s) { return s.gBandwidth; });
    // Integers round like the store's conversion.
    const std::pair<const char*, qint32> times[] = {{"45", 45},
                                                    {" 45 ", 45},
                                                    {"-3", -3},
                                                    {"2.5", 2},
                                                    {"3.5", 4},
                                                    {"30.0", 30},
                                                    {"2147483647", 2147483647},
                                                    {"-2147483648", -2147483647 - 1}};
    check("RemoveFromListTime", times, [](const Settings& s) { return s.gRemoveFromListTime; });
}

TEST(Settings, OneFailingKeyDoesNotStopTheOthers) {
    Settings s;
    s.gBandwidth = 96000;
    s.gResetStatsAtNewDay = false;
    FakeSettingsStore store;
    store.failingKeys = {"DisplayTCP", "GraphStyle"};
    EXPECT_EQ(s.saveSettings(store), QStringList({"DisplayTCP", "GraphStyle"}));
    EXPECT_EQ(store.putKeys.size(), 20);
    EXPECT_EQ(store.values.size(), 18);
    EXPECT_EQ(store.at("Bandwidth"), "96000");
    EXPECT_EQ(store.at("ResetStatsAtNewDay"), "False");
}

TEST(QSettingsStore, MissingKeysGiveTheDefaultAndAppsAndSectionsAreSeparate) {
    QTemporaryDir dir;
    QSettingsStore store(dir.filePath(QStringLiteral("s.conf")));
    EXPECT_EQ(store.get("Quelmint", "settings", "Nothing", "dflt"), "dflt");
    EXPECT_TRUE(store.put("Quelmint", "settings", "Key", "one"));
    EXPECT_TRUE(store.put("Quelmint", "other", "Key", "two"));
    EXPECT_EQ(store.get("Quelmint", "settings", "Key", "x"), "one");
    EXPECT_EQ(store.get("Quelmint", "other", "Key", "x"), "two");
    // Values that look like other types stay text.
    for (const QString& v :
         {QStringLiteral("@Variant(abc)"), QStringLiteral("a,b"), QStringLiteral("  padded  "),
          QStringLiteral("x=y;z"), QStringLiteral("back\\slash"), QString()}) {
        EXPECT_TRUE(store.put("Quelmint", "settings", "Odd", v));
        EXPECT_EQ(QSettingsStore(dir.filePath(QStringLiteral("s.conf")))
                      .get("Quelmint", "settings", "Odd", "x"),
                  v);
    }
}

TEST(QSettingsStore, HandWrittenFileIsRead) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("hand.conf"));
    ASSERT_TRUE(writeFile(path, "[settings]\nDisplayTCP=0\nDisplayUDP=5\nBandwidth=1000\n"
                                "FilterString=tcp, udp\nInterface=eth0\n"));
    QSettingsStore store(path);
    Settings s;
    EXPECT_TRUE(s.loadSettings(store).isEmpty());
    EXPECT_FALSE(s.displayTCP);
    EXPECT_TRUE(s.displayUDP);
    EXPECT_EQ(s.gBandwidth, 1000.0);
    EXPECT_EQ(s.gFilterString, "tcp, udp");
    EXPECT_EQ(s.gInterfaceToWatch, "eth0");
    // The next save writes the Booleans as their texts.
    EXPECT_TRUE(s.saveSettings(store).isEmpty());
    EXPECT_EQ(store.get("Quelmint", "settings", "DisplayTCP", ""), "False");
    EXPECT_EQ(store.get("Quelmint", "settings", "DisplayUDP", ""), "True");
}

TEST(QSettingsStore, UnwritableFileReportsFailure) {
    QTemporaryDir dir;
    // A folder where the file should be cannot be written.
    QDir().mkpath(dir.filePath(QStringLiteral("blocked.conf")));
    QSettingsStore blocked(dir.filePath(QStringLiteral("blocked.conf")));
    EXPECT_FALSE(blocked.put("Quelmint", "settings", "Key", "v"));
}
