// A platform plugin of a local user's own: when Qt loads it into a program, it writes the
// capabilities it runs with (the "Cap" lines of /proc/self/status) to $QUELMINT_PROBE_OUT, then
// lets Qt find no usable platform in it. Shows that code a user slips into the window holds
// nothing more than that user.
#include <QObject>
#include <QtPlugin>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
struct Probe {
    Probe() {
        const char* out = std::getenv("QUELMINT_PROBE_OUT");
        if (out == nullptr)
            return;
        std::FILE* status = std::fopen("/proc/self/status", "r");
        std::FILE* file = std::fopen(out, "w");
        if (status != nullptr && file != nullptr) {
            char line[256];
            while (std::fgets(line, sizeof line, status) != nullptr)
                if (std::strncmp(line, "Cap", 3) == 0)
                    std::fputs(line, file);
        }
        if (status != nullptr)
            std::fclose(status);
        if (file != nullptr)
            std::fclose(file);
    }
} probe;
} // namespace

class CapProbePlugin : public QObject {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "org.qt-project.Qt.QPA.QPlatformIntegrationFactoryInterface.5.3" FILE
                          "capprobe.json")
};

#include "CapProbe.moc"
