#include "shell/Form1.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

namespace {
bool haveDisplay() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform != nullptr && *platform != '\0')
        return true; // the caller chose a platform (offscreen, xcb, wayland)
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x != nullptr && *x != '\0') || (wayland != nullptr && *wayland != '\0');
}
} // namespace

int main(int argc, char** argv) {
    if (!haveDisplay()) {
        std::fprintf(stderr, "quelmint: no display found (neither DISPLAY nor WAYLAND_DISPLAY is "
                             "set); start it from a desktop session.\n");
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quelmint"));
    Form1 window;
    window.show();
    return QApplication::exec();
}
