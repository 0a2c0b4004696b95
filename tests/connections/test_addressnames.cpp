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
    // Addresses that share a remembered text's slot keep their own texts: a /22, twice.
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
