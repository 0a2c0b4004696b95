#include "platform/QHostInfoResolver.h"

#include <QHostInfo>

void QHostInfoResolver::lookUp(quint32 address) {
    const QString dotted = QStringLiteral("%1.%2.%3.%4")
                               .arg(address >> 24)
                               .arg((address >> 16) & 0xFF)
                               .arg((address >> 8) & 0xFF)
                               .arg(address & 0xFF);
    QHostInfo::lookupHost(dotted, &context_, [this, address, dotted](const QHostInfo& info) {
        const QString name = info.hostName();
        // Without a reverse entry the resolver gives the address text back.
        if (info.error() != QHostInfo::NoError || name.isEmpty() || name == dotted) {
            answer(address, std::nullopt);
            return;
        }
        // The system's bytes come as Latin-1; give them back unchanged.
        bool latin1 = true;
        for (QChar c : name)
            latin1 = latin1 && c.unicode() <= 0xFF;
        answer(address, latin1 ? name.toLatin1() : name.toUtf8());
    });
}
