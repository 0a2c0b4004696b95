#pragma once

#include <QByteArray>
#include <QLocale>
#include <QtGlobal>

#include <gtest/gtest.h>

/// When ctest runs a program again under another locale (QUELMINT_TEST_LOCALE, e.g. de_DE),
/// the program fails at once unless that locale is really in force, so a locale missing from
/// the machine never passes as a run in the C locale.
class LocaleCheck final : public ::testing::Environment {
public:
    void SetUp() override {
        const QString wanted = qEnvironmentVariable("QUELMINT_TEST_LOCALE");
        if (wanted.isEmpty())
            return;
        ASSERT_EQ(QLocale::system().name(), wanted)
            << "the locale is not installed here (tools/test generates it)";
    }
};

inline ::testing::Environment* const kLocaleCheck =
    ::testing::AddGlobalTestEnvironment(new LocaleCheck);
