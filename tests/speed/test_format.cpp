#include "speed/Format.h"
#include "support/LocalText.h"
#include "support/LocaleCheck.h"

#include <gtest/gtest.h>

namespace {

struct BytesCase {
    int unit;
    double bytes;
    const char* text;
};

class FormatBytesTable : public ::testing::TestWithParam<BytesCase> {};

TEST_P(FormatBytesTable, Formats) {
    const BytesCase& c = GetParam();
    EXPECT_EQ(formatBytes(c.bytes, c.unit), local(c.text)) << c.unit << " " << c.bytes;
}

const double kKiB = 1024.0, kMiB = kKiB * 1024, kGiB = kMiB * 1024, kTiB = kGiB * 1024;

// clang-format off
const BytesCase kBytes[] = {
    {3, 0, "0 B"}, {3, 1, "1 B"}, {3, 1023, "1023 B"}, {3, 1023.4, "1023 B"}, {3, 1023.5, "1024 B"},
    {3, 1024, "1.00 K"}, {3, 1536, "1.50 K"}, {3, 1029, "1.00 K"}, {3, 1030, "1.01 K"},
    {3, kMiB - 1, "1024.00 K"}, {3, kMiB, "1.00 M"}, {3, 1.5 * kMiB, "1.50 M"},
    {3, kGiB - 1, "1024.00 M"}, {3, kGiB, "1.00 G"}, {3, 5 * kTiB, "5120.00 G"},
    {3, 1e18, "931322574.62 G"},
    {0, 0, "0"}, {0, 1234567, "1234567"}, {0, 2.5, "3"}, {0, 5 * kTiB, "5497558138880"},
    {1, 0, "0.00 K"}, {1, 5, "0.00 K"}, {1, 6, "0.01 K"}, {1, 1023, "1.00 K"}, {1, 1024, "1.00 K"},
    {1, kMiB, "1024.00 K"}, {1, kTiB, "1073741824.00 K"},
    {2, 0, "0.00 M"}, {2, 5242, "0.00 M"}, {2, 5243, "0.01 M"}, {2, kMiB, "1.00 M"},
    {2, kGiB, "1024.00 M"}, {2, 5 * kGiB, "5120.00 M"},
    {4, 1024, ""}, {-1, 1024, ""},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Units, FormatBytesTable, ::testing::ValuesIn(kBytes));

TEST(DisplayUnits, FormatInTheUnitsTheyHold) {
    DisplayUnits units;
    EXPECT_EQ(units, (DisplayUnits{3, 1})); // the defaults
    EXPECT_EQ(units.formatBytes(2048), local("2.00 K"));
    EXPECT_EQ(units.speedText(2048), local("2.00 KB/s"));
    units.bytes = 0;
    EXPECT_EQ(units.formatBytes(2048), QStringLiteral("2048"));
    units.bytes = 2;
    EXPECT_EQ(units.formatBytes(kMiB * 3), local("3.00 M"));
    units.speed = 0;
    EXPECT_EQ(units.speedText(2048), QStringLiteral("16 kbps"));
    units.speed = 7; // any non-zero unit is KB/s
    EXPECT_EQ(units.speedFigure(2048), local("2.00"));
}

TEST(Fixed, RoundsHalvesAwayFromZeroWithoutGrouping) {
    EXPECT_EQ(fixed(0.5, 0), QStringLiteral("1"));
    EXPECT_EQ(fixed(-0.5, 0), QStringLiteral("-1"));
    EXPECT_EQ(fixed(-0.001, 2), local("0.00"));
    EXPECT_EQ(fixed(0.125, 2), local("0.13"));
    EXPECT_EQ(fixed(1234567.891, 2), local("1234567.89"));
    EXPECT_EQ(fixed(0.07, 2), local("0.07"));
}

struct TimeCase {
    double interval;
    const char* text;
};

class FormatTimeTable : public ::testing::TestWithParam<TimeCase> {};

TEST_P(FormatTimeTable, Formats) {
    EXPECT_EQ(FormatTime(GetParam().interval), QString::fromLatin1(GetParam().text));
}

constexpr double sec(double s) {
    return s / 86400.0;
}

// clang-format off
const TimeCase kTimes[] = {
    {0, "00:00:00"}, {sec(1), "00:00:01"}, {sec(59), "00:00:59"}, {sec(60), "00:01:00"},
    {sec(3599), "00:59:59"}, {sec(3600), "01:00:00"}, {sec(86399), "23:59:59"},
    {1, "1 day 00:00:00"}, {1.5, "1 day 12:00:00"}, {2 + sec(5), "2 days 00:00:05"},
    {sec(86400 + 3 * 3600 + 56 * 60 + 34), "1 day 03:56:34"},
    {40 + sec(13 * 3600 + 14 * 60 + 15), "40 days 13:14:15"},
    {400 + sec(86399), "400 days 23:59:59"}, {400 + sec(1), "400 days 00:00:01"},
    {-0.5, "00:00:00"},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Durations, FormatTimeTable, ::testing::ValuesIn(kTimes));

TEST(FormatTime, EverySecondOfThreeDaysFromMilliseconds) {
    // Durations come from millisecond differences of date-times; every whole second must show
    // as itself however the division rounds: each differs from the second before, and these
    // are exact.
    const auto text = [](qint64 s) { return FormatTime(double(s * 1000) / 86400000.0); };
    const std::pair<qint64, const char*> exact[] = {
        {0, "00:00:00"},           {1, "00:00:01"},           {59, "00:00:59"},
        {60, "00:01:00"},          {3599, "00:59:59"},        {3600, "01:00:00"},
        {86399, "23:59:59"},       {86400, "1 day 00:00:00"}, {86401, "1 day 00:00:01"},
        {172799, "1 day 23:59:59"}, {172800, "2 days 00:00:00"}, {259199, "2 days 23:59:59"}};
    for (const auto& [s, t] : exact)
        EXPECT_EQ(text(s), QLatin1String(t)) << s;
    for (qint64 s = 1; s < 3 * 86400; ++s)
        ASSERT_NE(text(s), text(s - 1)) << s;
}

TEST(FormatTime, MillisecondsBeforeASecondNeverRoundUp) {
    // 19:59:59.998 and 299 days 23:59:59.999 still show the second they are in.
    EXPECT_EQ(FormatTime(71999998.0 / 86400000.0), QStringLiteral("19:59:59"));
    EXPECT_EQ(FormatTime((299.0 * 86400000.0 + 86399999.0) / 86400000.0),
              QStringLiteral("299 days 23:59:59"));
}

struct SpeedCase {
    double bytesPerSecond;
    const char* kbps;
    const char* kbs;
};

class SpeedTable : public ::testing::TestWithParam<SpeedCase> {};

TEST_P(SpeedTable, BothUnits) {
    const SpeedCase& c = GetParam();
    EXPECT_EQ(speedFigure(c.bytesPerSecond, 0), local(c.kbps));
    EXPECT_EQ(speedFigure(c.bytesPerSecond, 1), local(c.kbs));
    EXPECT_EQ(speedText(c.bytesPerSecond, 0), local(c.kbps) + QStringLiteral(" kbps"));
    EXPECT_EQ(speedText(c.bytesPerSecond, 1), local(c.kbs) + QStringLiteral(" KB/s"));
}

// clang-format off
const SpeedCase kSpeeds[] = {
    {0, "0", "0.00"}, {1536, "12", "1.50"}, {62.5, "1", "0.06"}, {62.4, "0", "0.06"},
    {1000000, "8000", "976.56"}, {125e6, "1000000", "122070.31"},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Speeds, SpeedTable, ::testing::ValuesIn(kSpeeds));

} // namespace
