#include "capture/AppLayerHeader.h"

#include <cstring>

namespace {

inline unsigned char upper(unsigned char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 32) : c;
}

/// Characters of bytes 0x80..0x9F in the Windows-1252 code page; the five bytes it leaves
/// undefined keep their own code.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

inline char16_t fromWindows1252(unsigned char c) {
    return (c >= 0x80 && c <= 0x9F) ? kWindows1252High[c - 0x80] : char16_t(c);
}

/// The Windows-1252 byte of a character; '?' for characters the code page lacks.
unsigned char toWindows1252(char16_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return static_cast<unsigned char>(c);
    for (int i = 0; i < 32; ++i)
        if (kWindows1252High[i] == c)
            return static_cast<unsigned char>(0x80 + i);
    return '?';
}

/// True when the payload at buf[start ..] begins with the literal; bytes past `end` never match.
template <std::size_t N>
inline bool startsWith(const unsigned char* buf, qint64 end, qint64 start, const char (&lit)[N]) {
    constexpr qint64 n = N - 1;
    return end - start >= n && std::memcmp(buf + start, lit, n) == 0;
}

} // namespace

namespace applayer {

HeaderScan scanHeader(const unsigned char* buf, qint64 payloadEnd, qint64 startPos) {
    HeaderScan scan;
    if (buf == nullptr || startPos < 0 || payloadEnd <= startPos)
        return scan; // an empty payload is never HTTP
    const qint64 whole = payloadEnd - startPos;

    bool blankLineEnds = false;
    if (startsWith(buf, payloadEnd, startPos, "HTTP/")) {
        blankLineEnds = true;
    } else if (startsWith(buf, payloadEnd, startPos, "GET ") ||
               startsWith(buf, payloadEnd, startPos, "HEAD ") ||
               startsWith(buf, payloadEnd, startPos, "TRACE ") ||
               startsWith(buf, payloadEnd, startPos, "OPTIONS ") ||
               startsWith(buf, payloadEnd, startPos, "DELETE ")) {
        scan.kind = HeaderKind::WholePayload;
        scan.size = whole;
        return scan;
    } else if (startsWith(buf, payloadEnd, startPos, "POST ") ||
               startsWith(buf, payloadEnd, startPos, "PUT ")) {
        blankLineEnds = true;
    }
    if (!blankLineEnds)
        return scan;

    static constexpr unsigned char kLfCrLf[] = {'\n', '\r', '\n'};
    static constexpr unsigned char kLfLf[] = {'\n', '\n'};
    qint64 p = findPattern(buf, payloadEnd, QByteArrayView(kLfCrLf, 3), true, startPos, 0);
    qint64 separator = 3;
    if (p < 0) {
        p = findPattern(buf, payloadEnd, QByteArrayView(kLfLf, 2), true, startPos, 0);
        separator = 2;
    }
    if (p < 0) {
        scan.kind = HeaderKind::WholePayload;
        scan.size = whole;
    } else {
        scan.kind = HeaderKind::BlankLine;
        scan.size = qMin(p + separator, whole);
    }
    return scan;
}

} // namespace applayer

qint64 getAppLayerHeaderSize(const unsigned char* buf, qint64 len, qint64 startPos,
                             qint64 padding) {
    const qint64 payloadEnd = len - qMax<qint64>(padding, 0);
    return applayer::scanHeader(buf, payloadEnd, startPos).size;
}

QString bytesToText(const unsigned char* buf, qint64 len, qint64 startPos, qint64 count) {
    if (count <= 0)
        return {};
    count = qMin(count, kMaxTextCount);
    QString text(count, QChar(0));
    if (buf == nullptr || len <= 0 || startPos >= len)
        return text;
    // Neither startPos + k nor len - startPos may overflow: both are formed only in range.
    qint64 k = 0;
    if (startPos < 0) {
        if (startPos <= -count)
            return text; // the whole text lies before the buffer
        k = -startPos;
    }
    for (; k < count; ++k) {
        const qint64 i = startPos + k; // 0 <= i here
        if (i >= len)
            break;
        text[k] = QChar(fromWindows1252(buf[i]));
    }
    return text;
}

qint64 findPattern(const unsigned char* buf, qint64 len, QByteArrayView pattern, bool caseSensitive,
                   qint64 startPos, qint64 length) {
    if (buf == nullptr || startPos < 0 || len <= 0 || startPos >= len)
        return -1;
    qint64 windowEnd = len - 1;
    // The window's last byte, startPos + length - 1, formed without overflow.
    if (length > 0 && length - 1 < windowEnd - startPos)
        windowEnd = startPos + (length - 1);
    const auto* pat = reinterpret_cast<const unsigned char*>(pattern.data());
    const qint64 n = pattern.size();
    if (n > windowEnd - startPos + 1)
        return -1; // the pattern is longer than the window
    for (qint64 i = startPos; i <= windowEnd - n + 1; ++i) {
        qint64 j = 0;
        for (; j < n; ++j) {
            const unsigned char a = buf[i + j];
            const unsigned char b = pat[j];
            if (caseSensitive ? a != b : upper(a) != upper(b))
                break;
        }
        if (j == n)
            return i - startPos;
    }
    return -1;
}

qint64 findPattern(const unsigned char* buf, qint64 len, const QString& pattern, bool caseSensitive,
                   qint64 startPos, qint64 length) {
    QByteArray bytes(pattern.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < pattern.size(); ++i)
        bytes[i] = static_cast<char>(toWindows1252(pattern.at(i).unicode()));
    return findPattern(buf, len, QByteArrayView(bytes), caseSensitive, startPos, length);
}
