#include "platform/CaptureLibraryCheck.h"
#include "platform/PcapSupport.h"

#include <gtest/gtest.h>

TEST(CaptureLibraryCheck, VersionRules) {
    using Rule = CaptureLibraryCheck::Rule;
    struct Case {
        Rule rule;
        const char* text;
        bool accepted;
    };
    const Case cases[] = {
        {Rule::WinPcap, "3.0", false},
        {Rule::WinPcap, "3.0.0.18", false},
        {Rule::WinPcap, "3.1", true},
        {Rule::WinPcap, " 3.1.0.27 ", true},
        {Rule::WinPcap, "4.0", true},
        {Rule::WinPcap, "4.1.0.2980", true},
        {Rule::WinPcap, "2.9", false},
        {Rule::WinPcap, "10.0", true},
        {Rule::WinPcap, "4", false},
        {Rule::WinPcap, "", false},
        {Rule::WinPcap, "x.1", false},
        {Rule::LibPcap, "libpcap version 1.10.3 (with TPACKET_V3)", true},
        {Rule::LibPcap, "libpcap version 1.0.0", true},
        {Rule::LibPcap, "libpcap version 0.9.8", false},
        {Rule::LibPcap, "libpcap version 2.1", true},
        {Rule::LibPcap, "1.10.3", false},
        {Rule::LibPcap, "libpcap version", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CaptureLibraryCheck::accepts(c.rule, QString::fromLatin1(c.text)), c.accepted)
            << c.text;
        const QString text = QString::fromLatin1(c.text);
        EXPECT_EQ(
            CaptureLibraryCheck(c.rule, [text] { return std::optional<QString>(text); }).accepted(),
            c.accepted)
            << c.text;
    }
    // An absent or unreadable library is refused.
    EXPECT_FALSE(
        CaptureLibraryCheck(Rule::WinPcap, [] { return std::optional<QString>(); }).accepted());
}

TEST(CaptureLibraryCheck, TheRefusalNamesTheLibraryItChecked) {
    using Rule = CaptureLibraryCheck::Rule;
    const struct {
        Rule rule;
        const char* title;
        const char* names;   // the library and where it comes from
        const char* foreign; // the other platform's library, never named
    } cases[] = {
        {Rule::LibPcap, "libpcap library not found", "package libpcap0.8", "WinPCap"},
        {Rule::WinPcap, "WinPCap library not found", "install WinPCap", "libpcap"},
    };
    for (const auto& c : cases) {
        const CaptureLibraryCheck check(c.rule, [] { return std::optional<QString>(); });
        EXPECT_EQ(check.refusalTitle(), QString::fromLatin1(c.title));
        EXPECT_TRUE(check.refusalText().contains(QString::fromLatin1(c.names)))
            << check.refusalText().toStdString();
        EXPECT_FALSE(check.refusalText().contains(QString::fromLatin1(c.foreign)));
    }
    // The program's own check on this platform reads libpcap, and the linked one passes it.
    const CaptureLibraryCheck system = CaptureLibraryCheck::system();
    EXPECT_EQ(system.refusalTitle(), "libpcap library not found");
    EXPECT_TRUE(system.accepted()) << pcapsupport::libraryVersion().toStdString();
}
