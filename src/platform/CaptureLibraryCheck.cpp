#include "platform/CaptureLibraryCheck.h"

#include "platform/PcapSupport.h"

#include <QRegularExpression>

namespace {
// Major and minor of the first "a.b" in the text, or nullopt.
std::optional<std::pair<int, int>> majorMinor(const QString& text) {
    static const QRegularExpression number(QStringLiteral("^(\\d+)\\.(\\d+)"));
    const QRegularExpressionMatch m = number.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    bool okMajor = false, okMinor = false;
    const int major = m.captured(1).toInt(&okMajor);
    const int minor = m.captured(2).toInt(&okMinor);
    if (!okMajor || !okMinor)
        return std::nullopt;
    return std::make_pair(major, minor);
}
} // namespace

CaptureLibraryCheck CaptureLibraryCheck::system() {
#ifdef _WIN32
    // The version text of wpcap.dll in the system folder would be read here.
    return CaptureLibraryCheck(Rule::WinPcap, [] { return std::optional<QString>(); });
#else
    return CaptureLibraryCheck(
        Rule::LibPcap, [] { return std::optional<QString>(pcapsupport::libraryVersion()); });
#endif
}

bool CaptureLibraryCheck::accepted() const {
    const std::optional<QString> text = source_ ? source_() : std::nullopt;
    return text && accepts(rule_, *text);
}

bool CaptureLibraryCheck::accepts(Rule rule, const QString& versionText) {
    QString text = versionText.trimmed();
    if (rule == Rule::LibPcap) {
        static const QRegularExpression prefix(QStringLiteral("^libpcap version\\s+"),
                                               QRegularExpression::CaseInsensitiveOption);
        const QRegularExpressionMatch m = prefix.match(text);
        if (!m.hasMatch())
            return false;
        text = text.mid(m.capturedLength());
        const auto v = majorMinor(text);
        return v && v->first >= 1;
    }
    const auto v = majorMinor(text);
    return v && (v->first > 3 || (v->first == 3 && v->second >= 1));
}

QString CaptureLibraryCheck::refusalTitle(Rule rule) {
    if (rule == Rule::LibPcap)
        return QStringLiteral("libpcap library not found");
    return QStringLiteral("WinPCap library not found");
}

QString CaptureLibraryCheck::refusalText(Rule rule) {
    if (rule == Rule::LibPcap)
        return QStringLiteral("The packet-capture library libpcap, version 1.0 or later, is "
                              "required to run this utility.\r\n"
                              "Please install the package libpcap0.8 "
                              "(for example: sudo apt install libpcap0.8).");
    return QStringLiteral("WinPCap library is required to run this utility.\r\n"
                          "Please install WinPCap from installation folder of Quelmint.");
}
