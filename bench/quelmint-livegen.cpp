// quelmint-livegen: sends UDP datagrams at a steady rate with a steady stream of new
// conversations, for the live packet-list benchmark.
//
//   quelmint-livegen --to A.B.C.D [--rate N] [--seconds S] [--keys-per-second K] [--payload P]
//                    [--port Q]
//
// Sends N datagrams a second (default 200,000) of P data bytes (default 18, so 60-byte frames)
// for S seconds (default 60) from one socket. In second s the datagrams cycle over the K
// destination ports 20000 + (s * K + j) % 40000, j = 0..K-1 (default K = 1,000): K new
// conversations a second. With --port Q every datagram goes to port Q instead. Prints one JSON line: {"sent": n, "seconds": t, "rate": n/t}.

#include <QByteArray>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption to(QStringLiteral("to"), QStringLiteral("Destination."),
                                QStringLiteral("A.B.C.D"));
    const QCommandLineOption rate(QStringLiteral("rate"), QStringLiteral("Datagrams a second."),
                                  QStringLiteral("N"), QStringLiteral("200000"));
    const QCommandLineOption seconds(QStringLiteral("seconds"), QStringLiteral("Duration."),
                                     QStringLiteral("S"), QStringLiteral("60"));
    const QCommandLineOption keys(QStringLiteral("keys-per-second"),
                                  QStringLiteral("New conversations a second."),
                                  QStringLiteral("K"), QStringLiteral("1000"));
    const QCommandLineOption payload(QStringLiteral("payload"), QStringLiteral("Data bytes."),
                                     QStringLiteral("P"), QStringLiteral("18"));
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("One port for all."),
                                  QStringLiteral("Q"), QStringLiteral("0"));
    parser.addOptions({to, rate, seconds, keys, payload, port});
    parser.process(app);
    const qint64 perSecond = parser.value(rate).toLongLong();
    const qint64 duration = parser.value(seconds).toLongLong();
    const int newKeys = parser.value(keys).toInt();
    const int bytes = parser.value(payload).toInt();
    const int onePort = parser.value(port).toInt();
    sockaddr_in dest = {};
    dest.sin_family = AF_INET;
    if (perSecond < 1 || duration < 1 || newKeys < 1 || newKeys > 40000 || bytes < 0 ||
        bytes > 1472 || onePort < 0 || onePort > 65535 ||
        ::inet_pton(AF_INET, parser.value(to).toLatin1().constData(), &dest.sin_addr) != 1) {
        std::fprintf(stderr, "quelmint-livegen: give --to A.B.C.D and sensible numbers\n");
        return 2;
    }
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) {
        std::perror("quelmint-livegen: socket");
        return 1;
    }
    int buffer = 4 << 20;
    ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);

    constexpr int kBatch = 64;
    const QByteArray data(bytes, 'L');
    std::vector<sockaddr_in> targets(kBatch, dest);
    std::vector<iovec> iov(kBatch);
    std::vector<mmsghdr> messages(kBatch);
    for (int i = 0; i < kBatch; ++i) {
        iov[std::size_t(i)] = {const_cast<char*>(data.constData()), std::size_t(bytes)};
        messages[std::size_t(i)] = {};
        messages[std::size_t(i)].msg_hdr.msg_name = &targets[std::size_t(i)];
        messages[std::size_t(i)].msg_hdr.msg_namelen = sizeof(sockaddr_in);
        messages[std::size_t(i)].msg_hdr.msg_iov = &iov[std::size_t(i)];
        messages[std::size_t(i)].msg_hdr.msg_iovlen = 1;
    }
    QElapsedTimer clock;
    clock.start();
    qint64 sent = 0, j = 0;
    const qint64 total = perSecond * duration;
    while (sent < total) {
        const qint64 elapsedNs = clock.nsecsElapsed();
        const qint64 due = std::min<qint64>(total, elapsedNs * perSecond / 1000000000);
        if (sent >= due) {
            QThread::usleep(100);
            continue;
        }
        const qint64 second = elapsedNs / 1000000000;
        const int n = int(std::min<qint64>(kBatch, due - sent));
        for (int i = 0; i < n; ++i, ++j)
            targets[std::size_t(i)].sin_port =
                htons(onePort > 0 ? quint16(onePort)
                                  : quint16(20000 + (second * newKeys + j % newKeys) % 40000));
        const int done = ::sendmmsg(fd, messages.data(), unsigned(n), 0);
        if (done > 0)
            sent += done;
        else
            QThread::usleep(50); // the socket buffer is full: let the kernel drain it
    }
    const double took = double(clock.nsecsElapsed()) / 1e9;
    ::close(fd);
    std::printf("{\"sent\": %lld, \"seconds\": %.3f, \"rate\": %.0f}\n",
                static_cast<long long>(sent), took, double(sent) / took);
    return 0;
}
