#pragma once

#include <QString>
#include <QtGlobal>

#include <gtest/gtest.h>
#include <unistd.h>

/// True when the suite runs in CI as root: then every tool a test needs has been installed by
/// tools/test, so a missing one is a fault of the set-up, not a reason to skip.
inline bool mustNotSkip() {
    return qEnvironmentVariable("CI") == QLatin1String("true") && ::geteuid() == 0;
}

/// Skips the test with the reason, or fails it where nothing may be skipped (see mustNotSkip).
/// ctest reports a program whose output holds a skip as skipped.
#define SKIP_OR_FAIL(why)                                                                          \
    do {                                                                                           \
        if (mustNotSkip())                                                                         \
            FAIL() << "would skip in CI as root: " << (why);                                       \
        else                                                                                       \
            GTEST_SKIP() << (why);                                                                 \
    } while (false)
