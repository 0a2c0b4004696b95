#include "settings/Settings.h"

#include "platform/SettingsStore.h"
#include "settings/SettingsConversion.h"

#include <QLocale>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <functional>

namespace {
const QString kApp = QString::fromLatin1(Settings::kApplication);
const QString kSec = QString::fromLatin1(Settings::kSection);

QString quoted(const QString& text) {
    return u'"' + text + u'"';
}

/// One stored value: its key, how to read it and how to write it.
struct Row {
    QString key;
    /// Default as the text handed to the store.
    std::function<QString(const Settings&)> defaultText;
    /// Converts and assigns; returns an empty text or why the text cannot be used.
    std::function<QString(Settings&, const QString&)> read;
    /// The text to store.
    std::function<QString(const Settings&)> write;
};

Row booleanRow(const char* key, bool Settings::*member, bool defaultValue) {
    return {QString::fromLatin1(key),
            [defaultValue](const Settings&) {
                // Defaults are handed over as the numbers -1 (true) and 0 (false).
                return defaultValue ? QStringLiteral("-1") : QStringLiteral("0");
            },
            [member, defaultValue](Settings& s, const QString& text) {
                const auto value = SettingsConversion::toBoolean(text);
                s.*member = value.value_or(defaultValue);
                return value ? QString() : QStringLiteral("is not True, False or a number");
            },
            [member](const Settings& s) { return Settings::booleanText(s.*member); }};
}

Row textRow(const char* key, QString Settings::*member) {
    return {QString::fromLatin1(key), [](const Settings&) { return QString(); },
            [member](Settings& s, const QString& text) {
                s.*member = text;
                return QString();
            },
            [member](const Settings& s) { return s.*member; }};
}

/// A 32-bit integer; when last > first, it is a list position that must lie in first..last.
Row intRow(const char* key, std::function<qint32&(Settings&)> ref, qint32 defaultValue,
           qint32 first = 0, qint32 last = -1) {
    auto cref = [ref](const Settings& s) { return ref(const_cast<Settings&>(s)); };
    return {
        QString::fromLatin1(key),
        [defaultValue](const Settings&) { return QString::number(defaultValue); },
        [ref, defaultValue, first, last](Settings& s, const QString& text) {
            const auto value = SettingsConversion::toInt32(text);
            if (!value) {
                ref(s) = defaultValue;
                return QStringLiteral("is not a whole number from -2147483648 to 2147483647");
            }
            if (last > first && (*value < first || *value > last)) {
                ref(s) = defaultValue;
                return QStringLiteral("is not one of the choices %1 to %2").arg(first).arg(last);
            }
            ref(s) = *value;
            return QString();
        },
        [cref](const Settings& s) { return QString::number(cref(s)); }};
}

const QList<Row>& rows() {
    static const QList<Row> table = {
        booleanRow("DisplayTCP", &Settings::displayTCP, true),
        booleanRow("DisplayUDP", &Settings::displayUDP, true),
        booleanRow("DisplayICMP", &Settings::displayICMP, true),
        textRow("Interface", &Settings::gInterfaceToWatch),
        textRow("InterfaceDesc", &Settings::gDescOfInterfaceToWatch),
        {QStringLiteral("Bandwidth"),
         [](const Settings&) { return Settings::bandwidthText(Settings::kDefaultBandwidth); },
         [](Settings& s, const QString& text) {
             const auto value = SettingsConversion::toDouble(text);
             // The graph divides by the full scale: nothing below or at zero can be used.
             s.gBandwidth = value && *value > 0 ? *value : Settings::kDefaultBandwidth;
             if (!value) {
                 bool ok = false;
                 text.trimmed().toDouble(&ok);
                 if (!ok) // an infinite or NaN number silently takes the default like <= 0
                     return QStringLiteral("is not a number");
             }
             return QString();
         },
         [](const Settings& s) { return Settings::bandwidthText(s.gBandwidth); }},
        booleanRow("CloseToTray", &Settings::gCloseToTray, true),
        booleanRow("StartMinimized", &Settings::gStartMinimized, false),
        intRow(
            "DisplayUnit", [](Settings& s) -> qint32& { return s.gDisplayUnit; }, 3, 0, 3),
        intRow(
            "SpeedUnit", [](Settings& s) -> qint32& { return s.gSpeedUnit; }, 1, 0, 1),
        intRow(
            "GraphStyle", [](Settings& s) -> qint32& { return s.gGraphStyle; }, 1, 0, 1),
        textRow("FilterString", &Settings::gFilterString),
        intRow(
            "RemoveFromListTime", [](Settings& s) -> qint32& { return s.gRemoveFromListTime; }, 30),
        intRow(
            "HiliteNewPacketTime", [](Settings& s) -> qint32& { return s.gHiliteNewPacketTime; },
            2),
        booleanRow("ResetStatsAtNewDay", &Settings::gResetStatsAtNewDay, true),
        booleanRow("StartAtLogon", &Settings::gStartAtLogon, true),
        booleanRow("CountIPv6", &Settings::gCountIPv6, false),
        {QStringLiteral("PlanAllowance"), [](const Settings&) { return QStringLiteral("0"); },
         [](Settings& s, const QString& text) {
             // Anything that is not a sensible number of bytes is no plan.
             s.gPlanAllowance = 0;
             const auto value = SettingsConversion::toDouble(text);
             if (!value || *value < 0 || *value > double(Settings::kLargestPlanAllowance))
                 return QStringLiteral("is not a number of bytes from 0 (no plan) to %1 (1 PiB)")
                     .arg(Settings::kLargestPlanAllowance);
             s.gPlanAllowance = qint64(std::llround(*value));
             return QString();
         },
         [](const Settings& s) { return QString::number(s.gPlanAllowance); }},
        {QStringLiteral("PlanStartDay"), [](const Settings&) { return QStringLiteral("1"); },
         [](Settings& s, const QString& text) {
             const auto value = SettingsConversion::toInt32(text);
             s.gPlanStartDay = value ? std::clamp(*value, 1, Settings::kLatestPlanStartDay) : 1;
             if (value && *value == s.gPlanStartDay)
                 return QString();
             return value && *value > Settings::kLatestPlanStartDay
                        ? QStringLiteral("is after the 28th, the last day every month has")
                        : QStringLiteral("is not a day from 1 to 28");
         },
         [](const Settings& s) { return QString::number(s.gPlanStartDay); }},
        {QStringLiteral("ChartSize"), [](const Settings&) { return QString(); },
         [](Settings& s, const QString& text) {
             s.gChartSize = QSize();
             if (text.trimmed().isEmpty())
                 return QString();
             const QStringList parts = text.trimmed().split(QLatin1Char('x'));
             bool w = false, h = false;
             const QSize size =
                 parts.size() == 2 ? QSize(parts[0].toInt(&w), parts[1].toInt(&h)) : QSize();
             if (!w || !h || size.width() < 1 || size.height() < 1 || size.width() > 32767 ||
                 size.height() > 32767)
                 return QStringLiteral("is not a width and a height in pixels such as 720x420");
             s.gChartSize = size;
             return QString();
         },
         [](const Settings& s) {
             return s.gChartSize.isValid() ? QStringLiteral("%1x%2")
                                                 .arg(s.gChartSize.width())
                                                 .arg(s.gChartSize.height())
                                           : QString();
         }},
    };
    return table;
}
} // namespace

Settings::Settings(QObject* parent) : QObject(parent) {
    setDefaults();
}

void Settings::setDefaults() {
    displayTCP = true;
    displayUDP = true;
    displayICMP = true;
    gInterfaceToWatch.clear();
    gDescOfInterfaceToWatch.clear();
    gBandwidth = kDefaultBandwidth;
    gCloseToTray = true;
    gStartMinimized = false;
    gDisplayUnit = 3;
    gSpeedUnit = 1;
    gGraphStyle = 1;
    gFilterString.clear();
    gRemoveFromListTime = 30;
    gHiliteNewPacketTime = 2;
    gResetStatsAtNewDay = true;
    gStartAtLogon = true;
    gCountIPv6 = false;
    gPlanAllowance = 0;
    gPlanStartDay = 1;
    gChartSize = QSize();
}

QString Settings::booleanText(bool value) {
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

QString Settings::bandwidthText(double value) {
    // Plain decimal digits, never an exponent ("100000", not "1e+05").
    return QString::number(value, 'f', QLocale::FloatingPointShortest);
}

QList<Settings::LoadError> Settings::loadSettings(const SettingsStore& store) {
    QList<LoadError> errors;
    for (const Row& row : rows()) {
        const QString text = store.get(kApp, kSec, row.key, row.defaultText(*this));
        const QString why = row.read(*this, text);
        if (!why.isEmpty()) {
            // Mostly the default takes the place of what cannot be used; a few values are
            // brought into their range instead (a plan's start day of 31 is day 28).
            const Settings defaults;
            const QString used = row.write(*this);
            errors.append({row.key, text,
                           QStringLiteral("The stored setting %1 = %2 %3; %4 %5 is used.")
                               .arg(quoted(row.key), quoted(text), why,
                                    used == row.write(defaults) ? QStringLiteral("its default")
                                                                : QStringLiteral("the value"),
                                    quoted(used))});
        }
    }
    return errors;
}

QStringList Settings::saveSettings(SettingsStore& store) const {
    QStringList failed;
    for (const Row& row : rows())
        if (!store.put(kApp, kSec, row.key, row.write(*this)))
            failed.append(row.key);
    return failed;
}

QString Settings::describe(const QList<LoadError>& errors) {
    QStringList lines;
    for (const LoadError& e : errors)
        lines.append(e.description);
    return lines.join(QStringLiteral("\r\n"));
}

QString Settings::filterRejected(const QString& filter, const QString& reason, bool stored) {
    constexpr int kShown = 200;
    const QString shown =
        filter.size() > kShown ? filter.left(kShown) + QStringLiteral("...") : filter;
    // libpcap's reasons come without a full stop; one that has its own keeps it.
    const bool stop = !reason.endsWith(QLatin1Char('.')) && !reason.endsWith(QLatin1Char('!'));
    return QStringLiteral("The %1capture filter \"%2\" was rejected: %3%4")
        .arg(stored ? QStringLiteral("stored ") : QString(), shown, reason,
             stop ? QStringLiteral(".") : QString());
}
