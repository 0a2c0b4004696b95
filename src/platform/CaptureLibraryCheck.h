#pragma once

#include <QString>

#include <functional>
#include <optional>

/// The start-up test of the packet-capture library's version.
class CaptureLibraryCheck final {
public:
    /// Which library the version text comes from.
    enum class Rule {
        LibPcap, ///< "libpcap version 1.10.3 (with TPACKET_V3)": 1.0 or later is accepted
        WinPcap  ///< a file version such as "4.1.0.2980": 3.1 or later is accepted
    };
    /// Reads the version text; nullopt when the library is absent or its version unreadable.
    using VersionSource = std::function<std::optional<QString>()>;

    /// The check of the platform the program is built for, reading the library in use.
    static CaptureLibraryCheck system();

    CaptureLibraryCheck(Rule rule, VersionSource source)
        : rule_(rule), source_(std::move(source)) {}

    /// True when the library is present and recent enough.
    bool accepted() const;

    /// Judges one version text by a rule. A text that does not give two numbers is refused.
    static bool accepts(Rule rule, const QString& versionText);

    /// Title of the refusal box: names the library this check reads.
    QString refusalTitle() const { return refusalTitle(rule_); }
    /// Text of the refusal box: the library needed and where it comes from.
    QString refusalText() const { return refusalText(rule_); }
    static QString refusalTitle(Rule rule);
    static QString refusalText(Rule rule);

private:
    Rule rule_;
    VersionSource source_;
};
