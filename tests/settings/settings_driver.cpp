// A small program for tests that need real processes: the single-instance rule, the log-on
// entry and the per-user settings file.
//
//   settings_driver instance <folder> [seconds]   primary: prints "primary", then "raise" per
//                                                 request, for up to seconds; otherwise hands
//                                                 over, prints "handed-over" and ends
//   settings_driver autostart                     writes the log-on entry, prints "written"
//   settings_driver dump                          loads the per-user settings, prints the file
//                                                 name, then Key=Text lines and "error Key" lines
//   settings_driver change exit                   loads, changes Bandwidth and FilterString in
//                                                 memory, then saves and exits
//   settings_driver change loop                   loads, then saves two sets of values in turn
//                                                 until killed; prints "saved" after the first

#include "platform/LocalSingleInstance.h"
#include "platform/QSettingsStore.h"
#include "platform/XdgAutostart.h"
#include "platform/fakes/FakeSettingsStore.h"
#include "settings/RunAtLogon.h"
#include "settings/Settings.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

namespace {
void say(const QString& line) {
    std::fputs(qPrintable(line + u'\n'), stdout);
    std::fflush(stdout);
}

int instance(const QStringList& args) {
    LocalSingleInstance single(args.value(2));
    const int seconds = args.size() > 3 ? args[3].toInt() : 60;
    if (!single.tryBecomePrimary()) {
        if (single.activatePrevious()) {
            say(QStringLiteral("handed-over"));
            return 0;
        }
    }
    say(QStringLiteral("primary"));
    single.setRaiseHandler([] { say(QStringLiteral("raise")); });
    QTimer::singleShot(seconds * 1000, qApp, &QCoreApplication::quit);
    return QCoreApplication::exec();
}

int dump() {
    QSettingsStore store;
    Settings settings;
    const auto errors = settings.loadSettings(store);
    say(store.fileName(QStringLiteral("Quelmint")));
    FakeSettingsStore texts;
    settings.saveSettings(texts);
    for (auto it = texts.values.cbegin(); it != texts.values.cend(); ++it)
        say(it.key().section(u'/', 2) + u'=' + it.value());
    for (const auto& e : errors)
        say(QStringLiteral("error ") + e.key);
    return 0;
}

int change(const QString& how) {
    QSettingsStore store;
    Settings settings;
    settings.loadSettings(store);
    settings.gBandwidth = 96000;
    settings.gFilterString = QStringLiteral("udp port 53");
    if (how != QLatin1String("loop"))
        return settings.saveSettings(store).isEmpty() ? 0 : 1;
    for (int round = 0;; ++round) {
        const bool first = round % 2 == 0;
        settings.gBandwidth = first ? 96000 : 1000;
        settings.gFilterString = first ? QStringLiteral("udp port 53") : QStringLiteral("tcp");
        settings.gRemoveFromListTime = first ? 10 : 20;
        if (!settings.saveSettings(store).isEmpty())
            return 1;
        if (round == 0)
            say(QStringLiteral("saved"));
    }
}
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const QString command = args.value(1);
    if (command == QLatin1String("instance"))
        return instance(args);
    if (command == QLatin1String("autostart")) {
        XdgAutostart autostart;
        const bool written = RunAtLogon::registerRunAtLogon(autostart);
        say(written ? QStringLiteral("written") : QStringLiteral("failed"));
        return written ? 0 : 1;
    }
    if (command == QLatin1String("dump"))
        return dump();
    if (command == QLatin1String("change"))
        return change(args.value(2));
    say(QStringLiteral("unknown command"));
    return 2;
}
