// Prints what the stopwatch window costs: one refresh of its twelve figures (done once per
// batch of frames) and one 100 ms tick, in microseconds, as JSON. Runs offscreen.
#include "platform/SystemClock.h"
#include "shell/frmStopWatch.h"
#include "speed/Format.h"

#include <QApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    SystemClock clock;
    TrafficCounters counters;
    const DisplayUnits units;
    frmStopWatch window(clock, counters, units);
    window.openFromMainWindow();
    window.stopwatch().start();

    constexpr int kRounds = 20000;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < kRounds; ++i) {
        counters.add(Direction::Download, 1514, 1460, 54); // every refresh shows new figures
        counters.add(Direction::Upload, 66, 0, 66);
        window.updateStopwatchStats();
    }
    const double refreshUs = double(timer.nsecsElapsed()) / kRounds / 1000.0;
    timer.restart();
    for (int i = 0; i < kRounds; ++i) {
        counters.add(Direction::Download, 1514, 1460, 54);
        window.stopwatch().tick();
    }
    const double tickUs = double(timer.nsecsElapsed()) / kRounds / 1000.0;
    std::printf("{\"refresh_us\": %.2f, \"tick_us\": %.2f, \"rounds\": %d}\n", refreshUs, tickUs,
                kRounds);
    return 0;
}
