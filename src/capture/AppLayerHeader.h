#pragma once

#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

/// Measurement of the HTTP header at the start of a TCP payload. Pure functions over the frame's
/// bytes: `buf` holds `len` readable bytes, index = offset in the frame. Nothing outside
/// buf[0 .. len - 1] is ever read. Bytes are single-byte characters (Windows-1252).
namespace applayer {

/// How the start of a TCP payload was classified.
enum class HeaderKind : quint8 {
    NotHttp,      ///< no known request method or status line: no header bytes
    WholePayload, ///< a request without body, or no blank line in this frame: all header
    BlankLine,    ///< the header ends at a blank line found in this frame
};

/// Result of scanHeader().
struct HeaderScan {
    HeaderKind kind = HeaderKind::NotHttp;
    qint64 size = 0; ///< header bytes: 0, the readable payload, or up to the blank line
};

/// Classifies the payload buf[startPos .. payloadEnd - 1] and measures its header.
/// The blank-line search stays inside the payload, so size never exceeds payloadEnd - startPos.
HeaderScan scanHeader(const unsigned char* buf, qint64 payloadEnd, qint64 startPos);

} // namespace applayer

/// Header bytes at the start of the TCP payload that begins at startPos; the last `padding`
/// bytes of buf are link-layer padding and never part of the payload. Never negative, never
/// more than the payload.
qint64 getAppLayerHeaderSize(const unsigned char* buf, qint64 len, qint64 startPos, qint64 padding);

/// The longest text bytesToText gives: the largest frame libpcap captures.
inline constexpr qint64 kMaxTextCount = 262144;

/// Exactly `count` characters (at most kMaxTextCount): buf[startPos ...] as Windows-1252,
/// character 0 outside the buffer. Safe for every argument.
QString bytesToText(const unsigned char* buf, qint64 len, qint64 startPos, qint64 count);

/// Offset relative to startPos of the first occurrence of pattern in the window
/// buf[startPos .. startPos + length - 1] (to the end of buf when length is 0 or the window
/// would pass it), or -1. Safe for every argument. Without caseSensitive, "a".."z" compare equal to "A".."Z" on both sides.
qint64 findPattern(const unsigned char* buf, qint64 len, QByteArrayView pattern, bool caseSensitive,
                   qint64 startPos, qint64 length);

/// As above with a text pattern, converted to Windows-1252 bytes.
qint64 findPattern(const unsigned char* buf, qint64 len, const QString& pattern, bool caseSensitive,
                   qint64 startPos, qint64 length);
