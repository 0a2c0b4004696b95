// The notification icon on a real display, driven line by line on standard input:
//   "add <picture> <tip>", "modify <picture> <tip>", "remove", "available", "tooltip", "quit".
// In a tip, the four characters \r\n stand for a line break. Each command is answered with
// "done <command>" once it has taken effect, "available" with "available 0|1", "tooltip" with
// "tooltip <1 shown, else 0> <its text, line breaks as \n>"; mouse messages from the icon are
// printed as "mouse <message>". At start it prints "display <DISPLAY> <XAUTHORITY>" so that
// the test can look at the same screen.

#include "platform/gui/QtTrayIcon.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QToolTip>

#include <cstdio>
#include <unistd.h>

namespace {
void say(const QByteArray& line) {
    std::fputs(line.constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}
} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QtTrayIcon icon;
    icon.setMouseHandler([](int message) { say("mouse " + QByteArray::number(message)); });
    say("display " + qgetenv("DISPLAY") + " " + qgetenv("XAUTHORITY"));

    QByteArray pending;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buffer[4096];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            app.quit(); // the test has gone
            return;
        }
        pending.append(buffer, n);
        for (qsizetype end = pending.indexOf('\n'); end >= 0; end = pending.indexOf('\n')) {
            const QString line = QString::fromUtf8(pending.left(end).trimmed());
            pending.remove(0, end + 1);
            const QString command = line.section(QLatin1Char(' '), 0, 0);
            const int picture = line.section(QLatin1Char(' '), 1, 1).toInt();
            QString tip = line.section(QLatin1Char(' '), 2);
            tip.replace(QLatin1String("\\r\\n"), QLatin1String("\r\n"));
            if (command == "add")
                icon.add(picture, tip);
            else if (command == "modify")
                icon.modify(picture, tip);
            else if (command == "remove")
                icon.remove();
            else if (command == "available") {
                say(icon.isAvailable() ? "available 1" : "available 0");
                continue;
            } else if (command == QLatin1String("tooltip")) {
                QString text = QToolTip::text();
                text.replace(QLatin1Char('\n'), QLatin1String("\\n"));
                say("tooltip " + QByteArray(QToolTip::isVisible() ? "1 " : "0 ") + text.toUtf8());
                continue;
            } else if (command == "quit") {
                app.quit();
                return;
            }
            say("done " + command.toUtf8());
        }
    });
    return app.exec();
}
