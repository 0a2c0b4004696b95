#pragma once

#include "support/TestApp.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <functional>

/// One QApplication for the whole test program (widgets need it, notifiers need an event loop).
inline void ensureApplication() {
    ensureApp<QApplication>();
}

/// Runs the event loop until the condition holds or the time is up; returns the condition.
inline bool waitUntil(const std::function<bool()>& condition, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

/// Runs the event loop for a while.
inline void spin(int ms) {
    waitUntil([] { return false; }, ms);
}
