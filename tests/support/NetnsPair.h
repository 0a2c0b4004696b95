#pragma once

#include <QString>
#include <QStringList>

#include "support/Skip.h"

/// Two network namespaces of a test's own, joined by a veth pair, with private addresses.
/// Namespace A holds adapter nameA() with addressA(), namespace B adapter nameB() with
/// addressB(). Everything is removed on destruction (and stale leftovers of the same tag
/// on construction). Needs root; see canRun().
class NetnsPair final {
public:
    /// tag: 1..6 letters or digits, unique per test program; subnet: third octet of 10.231.x.0/24.
    NetnsPair(const QString& tag, int subnet);
    ~NetnsPair();
    NetnsPair(const NetnsPair&) = delete;
    NetnsPair& operator=(const NetnsPair&) = delete;

    /// Empty when the pair can be made here and the programs are installed, else why not.
    static QString whyNot(const QStringList& programs = {});

    /// True when set-up succeeded.
    bool ok() const { return ok_; }
    QString nsA() const { return QStringLiteral("qm-%1-a").arg(tag_); }
    QString nsB() const { return QStringLiteral("qm-%1-b").arg(tag_); }
    QString nameA() const { return QStringLiteral("qm%1a").arg(tag_); }
    QString nameB() const { return QStringLiteral("qm%1b").arg(tag_); }
    QString addressA() const { return QStringLiteral("10.231.%1.1").arg(subnet_); }
    QString addressB() const { return QStringLiteral("10.231.%1.2").arg(subnet_); }

    /// Runs a program inside namespace A or B and waits; returns its exit code (-1 on failure).
    int runInA(const QStringList& command, int timeoutMs = 30000, QByteArray* out = nullptr) const;
    int runInB(const QStringList& command, int timeoutMs = 30000, QByteArray* out = nullptr) const;

    /// Deletes the veth pair (both ends vanish).
    bool deleteVeth();
    /// Creates the veth pair again; with addresses unless withAddress is false.
    bool createVeth(bool withAddress = true);
    /// Adds addressA() to nameA() (after createVeth(false)).
    bool addAddressA();
    /// Makes the link carry nothing but what the test sends: no IPv6 (neighbour discovery,
    /// router solicitations) and each side's neighbour known for good (no ARP).
    bool quiet();

private:
    int run(const QString& ns, const QStringList& command, int timeoutMs, QByteArray* out) const;
    void removeAll();

    QString tag_;
    int subnet_;
    bool ok_ = false;
};

/// Skips the test (in a test body or SetUp) when NetnsPair::whyNot(programs) says why.
#define SKIP_WITHOUT_NETNS(...)                                                                    \
    if (const QString whyNot_ = NetnsPair::whyNot({__VA_ARGS__}); !whyNot_.isEmpty()) {            \
        SKIP_OR_FAIL(whyNot_.toStdString());                                                       \
    }

/// Moves the calling thread into a network namespace for its lifetime, and back afterwards.
class NetnsEnter final {
public:
    explicit NetnsEnter(const QString& ns);
    ~NetnsEnter();
    NetnsEnter(const NetnsEnter&) = delete;
    NetnsEnter& operator=(const NetnsEnter&) = delete;
    bool ok() const { return ok_; }

private:
    int original_ = -1;
    bool ok_ = false;
};

/// A UDP socket bound in a namespace, so datagrams to it are taken in (no port-unreachable
/// replies that would count as upload). Closed on destruction.
class UdpSink final {
public:
    UdpSink(const QString& ns, quint16 port);
    ~UdpSink();
    UdpSink(const UdpSink&) = delete;
    UdpSink& operator=(const UdpSink&) = delete;
    bool ok() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};
