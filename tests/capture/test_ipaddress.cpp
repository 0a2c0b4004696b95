// Addresses as numbers and as the text users see: canonical IPv4, RFC 5952 IPv6.
#include "platform/IpAddress.h"

#include <gtest/gtest.h>

namespace {

TEST(IpAddress, ReadsAndWritesTheFormsUsersSee) {
    struct Case {
        const char* input;
        int family;       // 0: refused
        const char* text; // as shown
    };
    const Case cases[] = {
        {"10.0.0.1", 4, "10.0.0.1"},
        {"255.255.255.255", 4, "255.255.255.255"},
        {"0.0.0.0", 4, "0.0.0.0"},
        {"010.0.0.1", 0, ""},
        {"10.0.0", 0, ""},
        {"10.0.0.1.2", 0, ""},
        {"10.0.0.256", 0, ""},
        {"10.0.0.-1", 0, ""},
        {"10.0..1", 0, ""},
        {"", 0, ""},
        {"fd00:77::1", 6, "fd00:77::1"},
        {"FD00:0077:0000:0000:0000:0000:0000:0001", 6, "fd00:77::1"},
        {"2001:db8:0:0:1:0:0:1", 6, "2001:db8::1:0:0:1"},    // the first of two equal runs
        {"2001:db8:0:1:1:1:1:1", 6, "2001:db8:0:1:1:1:1:1"}, // a single 0 stays
        {"2001:0:0:1:0:0:0:1", 6, "2001:0:0:1::1"},          // the longest run
        {"::", 6, "::"},
        {"::1", 6, "::1"},
        {"fe80::1", 6, "fe80::1"},
        {"::ffff:192.0.2.1", 6, "::ffff:192.0.2.1"},
        {"fd00::77::1", 0, ""},
        {"fd00:77::g", 0, ""},
        {"fd00:77::1%eth0", 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        const std::optional<IpAddress> a = IpAddress::parse(QString::fromLatin1(c.input));
        ASSERT_EQ(a.has_value(), c.family != 0);
        if (!a)
            continue;
        EXPECT_EQ(a->family(), c.family);
        EXPECT_EQ(a->text(), QString::fromLatin1(c.text));
        // The text reads back as the same address.
        EXPECT_EQ(IpAddress::parse(a->text()), a);
    }
}

TEST(IpAddress, NumbersCompareAndHashByFamilyAndValue) {
    const IpAddress v4 = IpAddress::v4(0x0A000001);
    std::array<quint8, 16> bytes{};
    bytes[15] = 1;
    bytes[0] = 0xfd;
    const IpAddress v6 = IpAddress::v6(bytes);
    EXPECT_EQ(v6.ipv6Bytes(), bytes);
    EXPECT_EQ(v4, *IpAddress::parse(u"10.0.0.1"));
    EXPECT_EQ(v6, *IpAddress::parse(u"fd00::1"));
    EXPECT_NE(v4, v6);
    // ::10.0.0.1 holds the same low bits as 10.0.0.1 and is still another address.
    bytes.fill(0);
    bytes[12] = 10;
    bytes[15] = 1;
    EXPECT_NE(IpAddress::v6(bytes), v4);
    EXPECT_NE(qHash(IpAddress::v6(bytes)), qHash(v4));
    EXPECT_TRUE(IpAddress().isNull());
    EXPECT_EQ(IpAddress().text(), QString());
}

} // namespace
