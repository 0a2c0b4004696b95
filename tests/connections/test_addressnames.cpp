// Address texts for the packet list: the cache key, dotted text with names off, one
// non-blocking lookup per address with names on (answered late, never, or with no name), and
// what is kept of a host name.

#include "connections/AddressNames.h"
#include "platform/fakes/FakeHostNameResolver.h"

#include <gtest/gtest.h>

namespace {

constexpr quint32 addr(quint8 a, quint8 b, quint8 c, quint8 d) {
    return (quint32(a) << 24) | (quint32(b) << 16) | (quint32(c) << 8) | quint32(d);
}

struct KeyCase {
    quint8 b1, b2, b3, b4;
    qint32 key;
    const char* dotted;
};

TEST(AddressNames, CacheKeysAndDottedTexts) {
    const KeyCase cases[] = {
        {192, 168, 1, 10, 167880896, "192.168.1.10"}, {127, 0, 0, 1, 16777343, "127.0.0.1"},
        {10, 0, 0, 200, -939524086, "10.0.0.200"},    {0, 0, 0, 0, 0, "0.0.0.0"},
        {255, 255, 255, 255, -1, "255.255.255.255"},
    };
    for (const KeyCase& c : cases) {
        EXPECT_EQ(AddressNames::cacheKey(c.b1, c.b2, c.b3, c.b4), c.key) << c.dotted;
        EXPECT_EQ(AddressNames::cacheKey(addr(c.b1, c.b2, c.b3, c.b4)), c.key) << c.dotted;
        EXPECT_EQ(AddressNames::dottedText(addr(c.b1, c.b2, c.b3, c.b4)), c.dotted);
    }
}

TEST(AddressNames, NamesOffGivesDottedTextAndLeavesTheCacheAlone) {
    FakeHostNameResolver resolver;
    AddressNames names(&resolver);
    names.setResolveNames(true);
    names.getNameFromAddress(192, 168, 1, 10);
    resolver.reply(addr(192, 168, 1, 10), QByteArray("router.lan"));
    ASSERT_EQ(names.cacheSize(), 1);
    names.setResolveNames(false);
    EXPECT_EQ(names.getNameFromAddress(192, 168, 1, 10), "192.168.1.10");
    EXPECT_EQ(names.getNameFromAddress(10, 0, 0, 7), "10.0.0.7");
    // Every address keeps its own text: a /22, twice.
    for (int pass = 0; pass < 2; ++pass)
        for (int i = 0; i < 1024; ++i)
            ASSERT_EQ(names.getNameFromAddress(10, 0, quint8(i >> 8), quint8(i)),
                      QStringLiteral("10.0.%1.%2").arg(i >> 8).arg(i & 255));
    EXPECT_EQ(names.getNameFromAddress(192, 168, 1, 10), "192.168.1.10");
    EXPECT_EQ(names.cacheSize(), 1);
    EXPECT_EQ(resolver.asked.size(), 1);
    // Back on: the name is still there, not asked again.
    names.setResolveNames(true);
    EXPECT_EQ(names.getNameFromAddress(192, 168, 1, 10), "router.lan");
    EXPECT_EQ(resolver.asked.size(), 1);
}

TEST(AddressNames, DottedUntilTheAnswerThenTheNameAndOneLookupOnly) {
    FakeHostNameResolver resolver;
    AddressNames names(&resolver);
    names.setResolveNames(true);
    const quint32 a = addr(10, 0, 0, 200);
    EXPECT_EQ(names.getNameFromAddress(a), "10.0.0.200");
    EXPECT_EQ(names.getNameFromAddress(a), "10.0.0.200");
    EXPECT_EQ(resolver.asked, QList<IpAddress>({IpAddress::v4(a)}));
    resolver.reply(a, QByteArray("peer.example"));
    EXPECT_EQ(names.getNameFromAddress(a), "peer.example");
    EXPECT_EQ(names.cached(-939524086), QString("peer.example"));
    EXPECT_EQ(resolver.asked.size(), 1);
}

TEST(AddressNames, Ipv6IsItsShortTextUntilTheAnswer) {
    FakeHostNameResolver resolver;
    AddressNames names(&resolver);
    const IpAddress a = *IpAddress::parse(u"FD00:0077:0:0::1");
    EXPECT_EQ(names.getNameFromAddress(a), "fd00:77::1");
    EXPECT_TRUE(resolver.asked.isEmpty());
    names.setResolveNames(true);
    EXPECT_EQ(names.getNameFromAddress(a), "fd00:77::1");
    resolver.reply(a, QByteArray("six.example"));
    EXPECT_EQ(names.getNameFromAddress(a), "six.example");
    EXPECT_EQ(resolver.asked, QList<IpAddress>({a}));
}

TEST(AddressNames, NoNameIsRememberedAsDottedText) {
    FakeHostNameResolver resolver;
    AddressNames names(&resolver);
    names.setResolveNames(true);
    const quint32 a = addr(10, 231, 90, 9);
    names.getNameFromAddress(a);
    resolver.reply(a, std::nullopt);
    EXPECT_EQ(names.getNameFromAddress(a), "10.231.90.9");
    EXPECT_EQ(names.cached(AddressNames::cacheKey(10, 231, 90, 9)), QString("10.231.90.9"));
    // A later answer (a lookup we did not start) changes nothing.
    resolver.reply(a, QByteArray("late.example"));
    EXPECT_EQ(names.getNameFromAddress(a), "10.231.90.9");
    EXPECT_EQ(resolver.asked.size(), 1);
}

TEST(AddressNames, ResolverThatNeverAnswersIsAskedOnceAndBoundsOutstandingLookups) {
    FakeHostNameResolver resolver;
    AddressNames names(&resolver);
    names.setResolveNames(true);
    for (int round = 0; round < 3; ++round)
        for (int i = 0; i < 100; ++i)
            EXPECT_EQ(names.getNameFromAddress(addr(10, 9, 0, quint8(i))),
                      QStringLiteral("10.9.0.%1").arg(i));
    EXPECT_EQ(resolver.asked.size(), AddressNames::kMaxInFlight);
    EXPECT_EQ(QSet<IpAddress>(resolver.asked.begin(), resolver.asked.end()).size(),
              resolver.asked.size());
    // Answers free the way for the addresses that waited, each asked once.
    const QList<IpAddress> first = resolver.asked;
    for (const IpAddress& a : first)
        resolver.reply(a, std::nullopt);
    for (int i = 0; i < 100; ++i)
        names.getNameFromAddress(addr(10, 9, 0, quint8(i)));
    EXPECT_EQ(resolver.asked.size(), 2 * AddressNames::kMaxInFlight);
    EXPECT_EQ(QSet<IpAddress>(resolver.asked.begin(), resolver.asked.end()).size(),
              resolver.asked.size());
}

TEST(AddressNames, AnswerArrivingWhileNamesAreOffIsKept) {
    FakeHostNameResolver resolver;
    AddressNames names(&resolver);
    names.setResolveNames(true);
    names.getNameFromAddress(10, 0, 0, 1);
    names.setResolveNames(false);
    resolver.reply(addr(10, 0, 0, 1), QByteArray("one.example"));
    EXPECT_EQ(names.getNameFromAddress(10, 0, 0, 1), "10.0.0.1");
    names.setResolveNames(true);
    EXPECT_EQ(names.getNameFromAddress(10, 0, 0, 1), "one.example");
    EXPECT_EQ(resolver.asked.size(), 1);
}

TEST(AddressNames, WithoutResolverEverythingStaysDotted) {
    AddressNames names(nullptr);
    names.setResolveNames(true);
    EXPECT_EQ(names.getNameFromAddress(192, 168, 1, 10), "192.168.1.10");
}

// The list's key compares ShownAddresses: they must be equal exactly when the texts are.
struct SameKeyCase {
    const char* name;
    quint32 a, b;
    std::optional<QByteArray> nameOfA, nameOfB;
    bool same;
};

TEST(AddressNames, ShownAddressesAreEqualExactlyWhenTheirTextsAre) {
    const SameKeyCase cases[] = {
        {"one name for two addresses", addr(10, 0, 0, 1), addr(10, 0, 0, 2), "www.example",
         "www.example", true},
        {"names differing in case", addr(10, 0, 0, 1), addr(10, 0, 0, 2), "Www.example",
         "www.example", false},
        {"a name that is another address's text", addr(10, 0, 0, 1), addr(10, 0, 0, 2), "10.0.0.2",
         std::nullopt, true},
        {"a name that is not quite its text", addr(10, 0, 0, 1), addr(10, 0, 0, 2), "010.0.0.2",
         std::nullopt, false},
        {"no name is the address itself", addr(10, 0, 0, 1), addr(10, 0, 0, 1), std::nullopt,
         std::nullopt, true},
        {"different addresses without names", addr(10, 0, 0, 1), addr(10, 0, 0, 2), std::nullopt,
         std::nullopt, false},
    };
    for (const SameKeyCase& c : cases) {
        FakeHostNameResolver resolver;
        AddressNames names(&resolver);
        names.setResolveNames(true);
        const ShownAddress before = names.shown(c.a);
        names.shown(c.b);
        resolver.reply(c.a, c.nameOfA);
        if (c.b != c.a)
            resolver.reply(c.b, c.nameOfB);
        const ShownAddress a = names.shown(c.a), b = names.shown(c.b);
        EXPECT_EQ(a == b, c.same) << c.name;
        EXPECT_EQ(names.text(a) == names.text(b), c.same) << c.name;
        // The number changes when a name arrives, and only then.
        EXPECT_EQ(a == before, !c.nameOfA.has_value()) << c.name;
    }
    // IPv6: the address itself until its answer, then the name it shares with an IPv4 address.
    FakeHostNameResolver resolver;
    AddressNames names(&resolver);
    const IpAddress six = *IpAddress::parse(u"fd00:77::1");
    EXPECT_EQ(names.shown(six), ShownAddress::of(six));
    EXPECT_NE(names.shown(six), names.shown(IpAddress::v4(addr(0, 0, 0, 1))));
    names.setResolveNames(true);
    names.shown(six);
    names.shown(addr(10, 0, 0, 9));
    resolver.reply(six, QByteArray("dual.example"));
    resolver.reply(addr(10, 0, 0, 9), QByteArray("dual.example"));
    EXPECT_EQ(names.shown(six), names.shown(addr(10, 0, 0, 9)));
    EXPECT_EQ(names.text(names.shown(six)), "dual.example");
}

struct NameCase {
    const char* name;
    QByteArray bytes;
    QString expected;
};

TEST(AddressNames, WhatIsKeptOfAHostName) {
    const QByteArray a300(300, 'a');
    const QByteArray a255(255, 'a');
    const NameCase cases[] = {
        {"plain", "host.example", "host.example"},
        {"up to the NUL", QByteArray("abc\0def", 7), "abc"},
        {"cut at 256 bytes", a300, QString(256, QLatin1Char('a'))},
        {"a character across the cut is dropped", a255 + "\xc3\xa9" + "zz",
         QString(255, QLatin1Char('a'))},
        {"a character ending at the cut is kept", QByteArray(254, 'a') + "\xc3\xa9" + "zz",
         QString(254, QLatin1Char('a')) + QChar(0xE9)},
        {"not valid text", "\xff\xfe", QString(2, QChar(0xFFFD))},
        {"UTF-8",
         "m\xc3\xbc"
         "ller.example",
         QString::fromUtf8("m\xc3\xbcller.example")},
    };
    for (const NameCase& c : cases)
        EXPECT_EQ(AddressNames::nameFromBytes(c.bytes), c.expected) << c.name;
}

TEST(AddressNames, EmptyOrInvalidNamesShowDottedText) {
    FakeHostNameResolver resolver;
    AddressNames names(&resolver);
    names.setResolveNames(true);
    names.getNameFromAddress(10, 0, 0, 3);
    resolver.reply(addr(10, 0, 0, 3), QByteArray("\0abc", 4));
    EXPECT_EQ(names.getNameFromAddress(10, 0, 0, 3), "10.0.0.3");
    names.getNameFromAddress(10, 0, 0, 4);
    resolver.reply(addr(10, 0, 0, 4), QByteArray("\xff"));
    EXPECT_EQ(names.getNameFromAddress(10, 0, 0, 4), QString(QChar(0xFFFD)));
}

} // namespace
