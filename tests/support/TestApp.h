#pragma once

#include <QCoreApplication>

/// Creates the one application object of the test program if there is none yet (widgets need
/// QApplication, notifiers and timers an event loop). It is never destroyed: widgets' statics
/// may outlive a static application object.
template <typename App> void ensureApp() {
    static int argc = 1;
    static char name[] = "quelmint-test";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance() == nullptr)
        new App(argc, argv);
}

#include <gtest/gtest.h>

/// Makes the application before the first test: ::testing::AddGlobalTestEnvironment(new
/// AppEnvironment<QCoreApplication>).
template <typename App> class AppEnvironment : public ::testing::Environment {
public:
    void SetUp() override { ensureApp<App>(); }
};
