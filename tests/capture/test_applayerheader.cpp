#include "capture/AppLayerHeader.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace {

/// A frame-like buffer: `front` bytes before the payload, then the payload, then padding.
struct Buffer {
    std::vector<unsigned char> bytes;
    qint64 start = 0;
    qint64 padding = 0;

    Buffer(const QByteArray& payload, int front = 54, const QByteArray& pad = {}) {
        bytes.assign(std::size_t(front), 0xEE);
        bytes.insert(bytes.end(), payload.begin(), payload.end());
        bytes.insert(bytes.end(), pad.begin(), pad.end());
        start = front;
        padding = pad.size();
    }
    qint64 size() const { return qint64(bytes.size()); }
    qint64 header() const { return getAppLayerHeaderSize(bytes.data(), size(), start, padding); }
};

struct ShapeCase {
    const char* name;
    QByteArray payload;
    QByteArray padding;
    qint64 header;
};

class HeaderShapes : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(HeaderShapes, MeasuresHeader) {
    const ShapeCase& c = GetParam();
    Buffer b(c.payload, 54, c.padding);
    const qint64 h = b.header();
    EXPECT_EQ(h, c.header);
    EXPECT_GE(h, 0);
    EXPECT_LE(h, c.payload.size());
}

// clang-format off
const ShapeCase kShapes[] = {
    {"GetRequestOf37Bytes", "GET /x HTTP/1.1\r\nHost: ab.example\r\n\r\n", {}, 37},
    {"ResponseLfCrLfAt16", "HTTP/1.1 200 OK\r\n\r\nhello", {}, 19},
    {"ResponseContinuingBody", "ody of the page <html>", {}, 0},
    {"LowerCaseGet", "get / HTTP/1.1\r\n\r\n", {}, 0},
    {"PostWithLfLf", "POST /f HTTP/1.0\n\nabc", {}, 18},
    {"ResponseWithoutBlankLine", "HTTP/1.1 200 OK\r\nServer: x\r\n", {}, 28},
    {"EmptyPayload", "", {}, 0},
    {"EmptyPayloadWithPadding", "", QByteArray(6, '\0'), 0},
    // Requests without a body: bytes after the blank line (a pipelined request) are header too.
    {"GetIsWholePayload", "GET / HTTP/1.1\r\n\r\nGET /b HTTP/1.1\r\n\r\n", {}, 37},
    {"HeadIsWholePayload", "HEAD / HTTP/1.1\r\n\r\nxyz", {}, 22},
    {"HeadWithLfLfIsWholePayload", "HEAD / HTTP/1.0\n\nabcde", {}, 22},
    {"TraceIsWholePayload", "TRACE / HTTP/1.1\r\n\r\nxx", {}, 22},
    {"OptionsIsWholePayload", "OPTIONS * HTTP/1.1\r\n\r\nabcd", {}, 26},
    {"DeleteIsWholePayload", "DELETE /a HTTP/1.1\r\n\r\n0123456789", {}, 32},
    {"PutEndsAtBlankLine", "PUT /a HTTP/1.1\r\n\r\nbody", {}, 19},
    {"MethodWithoutBlankIsNotHttp", "GETX / HTTP/1.1", {}, 0},
    {"PrefixLongerThanPayload", "POST", {}, 0},
    {"PaddingExcludedFromWholePayload", "GET / HTTP/1.0\r\n", QByteArray(4, '\0'), 16},
    {"BlankLineOnlyInPaddingIsIgnored", "HTTP/1.1 200", QByteArray("\n\r\n\0\0\0", 6), 12},
    {"LfCrLfPreferredOverEarlierLfLf", "POST / HTTP/1.0\n\nX\r\n\r\nbody", {}, 22},
    {"HttpOnAnyPort", "HTTP/1.0 404 Not Found\r\n\r\n", {}, 26},
    {"Latin1BytesInHeader", "HTTP/1.1 200 \xC4\xD6\r\n\r\n\xFF", {}, 19},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Payloads, HeaderShapes, ::testing::ValuesIn(kShapes),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(AppLayerHeader, StartPastTheEndGivesNothing) {
    Buffer b("GET / ");
    EXPECT_EQ(getAppLayerHeaderSize(b.bytes.data(), b.size(), b.size() + 10, 0), 0);
    EXPECT_EQ(getAppLayerHeaderSize(b.bytes.data(), b.size(), -1, 0), 0);
    // Padding larger than the payload never gives a negative size.
    EXPECT_EQ(getAppLayerHeaderSize(b.bytes.data(), b.size(), b.start, 100), 0);
}

TEST(AppLayerHeader, ScanReportsKind) {
    Buffer get("GET / HTTP/1.1\r\n\r\n");
    EXPECT_EQ(applayer::scanHeader(get.bytes.data(), get.size(), get.start).kind,
              applayer::HeaderKind::WholePayload);
    Buffer response("HTTP/1.1 200 OK\r\n\r\nabc");
    const auto scan = applayer::scanHeader(response.bytes.data(), response.size(), response.start);
    EXPECT_EQ(scan.kind, applayer::HeaderKind::BlankLine);
    EXPECT_EQ(scan.size, 19);
    Buffer body("abc");
    EXPECT_EQ(applayer::scanHeader(body.bytes.data(), body.size(), body.start).kind,
              applayer::HeaderKind::NotHttp);
}

TEST(BytesToText, ExactCountWithZeroCharactersBeyondTheEnd) {
    const unsigned char buf[] = {'H', 'T', 0xE9, 'P'};
    const QString s = bytesToText(buf, 4, 1, 8);
    ASSERT_EQ(s.size(), 8);
    EXPECT_EQ(s.left(3), QString::fromLatin1("T\xE9P"));
    for (int i = 3; i < 8; ++i)
        EXPECT_EQ(s.at(i), QChar(0)) << i;
    EXPECT_EQ(bytesToText(buf, 4, 10, 3), QString(3, QChar(0)));
    EXPECT_TRUE(bytesToText(buf, 4, 0, 0).isEmpty());
    const unsigned char high[] = {0x80, 0x81, 0x9F};
    EXPECT_EQ(bytesToText(high, 3, 0, 3), QStringView(u"\u20AC\u0081\u0178").toString());
}

struct FindCase {
    const char* name;
    QByteArray haystack;
    QString pattern;
    bool caseSensitive;
    qint64 start, length, expected;
};

class FindPatternTable : public ::testing::TestWithParam<FindCase> {};

TEST_P(FindPatternTable, Finds) {
    const FindCase& c = GetParam();
    const auto* buf = reinterpret_cast<const unsigned char*>(c.haystack.constData());
    EXPECT_EQ(findPattern(buf, c.haystack.size(), c.pattern, c.caseSensitive, c.start, c.length),
              c.expected);
}

// clang-format off
const FindCase kFinds[] = {
    {"FirstMatchRelativeToStart", "xxabcabc", "abc", true, 1, 0, 1},
    {"NoMatch", "abcdef", "xyz", true, 0, 0, -1},
    {"CaseSensitiveMisses", "xxABC", "abc", true, 0, 0, -1},
    {"CaseInsensitiveMatchesUpper", "xxABC", "abc", false, 0, 0, 2},
    {"CaseInsensitiveMatchesLower", "xxabc", "ABC", false, 0, 0, 2},
    {"CaseRuleOnlyForAsciiLetters", "x\xE9", QString::fromLatin1("\xC9"), false, 0, 0, -1},
    {"Latin1Pattern", "x\xE9y", QString::fromLatin1("\xE9y"), true, 0, 0, 1},
    {"Windows1252Pattern", "x\x80y", QStringView(u"\u20ACy").toString(), true, 0, 0, 1},
    {"WindowEndsTheSearch", "abcdef", "def", true, 0, 5, -1},
    {"WindowJustHoldsMatch", "abcdef", "def", true, 0, 6, 3},
    {"WindowFromStart", "abcdefdef", "def", true, 4, 5, 2},
    {"LengthPastEndUsesEnd", "abcdef", "ef", true, 2, 100, 2},
    {"PatternRunningPastEnd", "abcde", "efg", true, 0, 0, -1},
    {"StartPastEnd", "abc", "a", true, 5, 0, -1},
    {"LfCrLf", "HTTP/1.1 200 OK\r\n\r\nhi", "\n\r\n", true, 0, 0, 16},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Patterns, FindPatternTable, ::testing::ValuesIn(kFinds),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace

TEST(ExtremeArguments, BytesToTextAndFindPatternStaySafe) {
    const unsigned char buf[] = {'x', 'x', 'a', 'b', 'c'};
    constexpr qint64 kMax = std::numeric_limits<qint64>::max();
    constexpr qint64 kMin = std::numeric_limits<qint64>::min();
    struct TextCase {
        const char* name;
        qint64 len, start, count;
        qint64 size;
        QByteArray head; // the leading characters; the rest are character 0
    };
    const TextCase texts[] = {
        {"huge count", 5, 2, kMax, 262144, "abc"},
        {"start near the limit", 5, kMax - 1, 3, 3, ""},
        {"start at the lowest", 5, kMin, 3, 3, ""},
        {"start at the lowest, huge count", 5, kMin, kMax, 262144, ""},
        {"start before the buffer", 5, -2, 4, 4, QByteArray("\0\0xx", 4)},
        {"negative length", kMin, 0, 2, 2, ""},
    };
    for (const TextCase& c : texts) {
        SCOPED_TRACE(c.name);
        const QString s = bytesToText(buf, c.len, c.start, c.count);
        ASSERT_EQ(s.size(), c.size);
        for (qsizetype i = 0; i < s.size(); ++i)
            ASSERT_EQ(s.at(i).unicode(), i < c.head.size() ? uchar(c.head.at(i)) : 0) << i;
    }
    struct FindCase {
        const char* name;
        qint64 len, start, length, expected;
    };
    const FindCase finds[] = {
        {"length at the limit", 5, 2, kMax, 0},
        {"length at the limit from 0", 5, 0, kMax, 2},
        {"start near the limit", 5, kMax - 1, 3, -1},
        {"start at the lowest", 5, kMin, kMax, -1},
        {"negative length is to the end", 5, 1, kMin, 1},
        {"negative buffer length", kMin, 0, 0, -1},
    };
    for (const FindCase& c : finds)
        EXPECT_EQ(findPattern(buf, c.len, QByteArrayView("abc"), true, c.start, c.length),
                  c.expected)
            << c.name;
}
