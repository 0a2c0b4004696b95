// Cost of the graph on the window's thread: one sample (scroll, plot, meter, figure) and the
// ten copies of both images to the screen that follow each second, at the window's sizes.
//
//   quelmint-graphbench [--seconds N] [--graph-style 0|1] [--every-tick]
//
// Prints one JSON line with the thread CPU time per simulated second, split into drawing and
// copying. Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise (xcb under
// xvfb-run measures the copies to an X server as well).
#include "shell/PictureBox.h"
#include "speed/Format.h"
#include "speed/TrafficGraph.h"

#include <QApplication>
#include <QStringList>

#include <cstdio>
#include <ctime>

namespace {
double threadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}
} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int seconds = 600;
    int style = 1;
    // --every-tick repaints both pictures on every tick, changed or not.
    const bool everyTick = QCoreApplication::arguments().contains(QStringLiteral("--every-tick"));
    const QStringList args = QCoreApplication::arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == QStringLiteral("--seconds"))
            seconds = std::max(1, args[i + 1].toInt());
        else if (args[i] == QStringLiteral("--graph-style"))
            style = args[i + 1].toInt() == 0 ? 0 : 1;
    }

    // The window's pictures: the chart 226 x 63 with its border, the meter 72 x 63.
    QWidget window;
    window.resize(349, 120);
    PictureBox chart(TrafficGraph::kBorder, &window);
    chart.setGeometry(6, 22, 226, TrafficGraph::kPictureHeight);
    PictureBox meter(0, &window);
    meter.setGeometry(240, 22, TrafficGraph::kMeterWidth, TrafficGraph::kPictureHeight);
    window.show();
    QCoreApplication::processEvents();

    TrafficGraph graph(chart.width());
    graph.gGraphStyle = style;
    chart.setImage(&graph.graphImage());
    meter.setImage(&graph.meterImage());

    double drawing = 0, copying = 0;
    for (int s = 0; s < seconds; ++s) {
        // A speed that wanders over the whole scale and beyond.
        const double speed = double((s * 7919) % 60000);
        const double t0 = threadSeconds();
        graph.scroll();
        graph.plot(speed, speedFigure(speed, 1));
        const double t1 = threadSeconds();
        // As the window's tick does it: both pictures marked, one paint and flush of the window.
        for (int tick = 0; tick < 10; ++tick) {
            if (everyTick) {
                chart.update();
                meter.update();
            } else {
                chart.refresh();
                meter.refresh();
            }
            QCoreApplication::sendPostedEvents(&window, QEvent::UpdateRequest);
        }
        const double t2 = threadSeconds();
        drawing += t1 - t0;
        copying += t2 - t1;
    }
    std::printf("{\"seconds\": %d, \"style\": %d, \"everyTick\": %s, \"drawUsPerSecond\": %.1f, "
                "\"copyUsPerSecond\": %.1f, \"totalUsPerSecond\": %.1f, \"platform\": \"%s\"}\n",
                seconds, style, everyTick ? "true" : "false", drawing / seconds * 1e6,
                copying / seconds * 1e6, (drawing + copying) / seconds * 1e6,
                QGuiApplication::platformName().toLocal8Bit().constData());
    return 0;
}
