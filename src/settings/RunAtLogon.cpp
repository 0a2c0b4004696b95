#include "settings/RunAtLogon.h"

#include "platform/Autostart.h"

#include <QCoreApplication>
#include <QDir>

QString RunAtLogon::command(const Autostart& autostart, const QString& programFolder) {
    return QDir::toNativeSeparators(programFolder + u'/' + autostart.programFileName());
}

bool RunAtLogon::registerRunAtLogon(Autostart& autostart) {
    return registerRunAtLogon(autostart, QCoreApplication::applicationDirPath());
}

bool RunAtLogon::registerRunAtLogon(Autostart& autostart, const QString& programFolder) {
    if (programFolder.isEmpty())
        return false;
    return autostart.registerEntry(QString::fromLatin1(kEntryName),
                                   command(autostart, programFolder));
}

bool RunAtLogon::apply(Autostart& autostart, const QString& programFolder, bool startAtLogon) {
    if (!startAtLogon)
        return autostart.removeEntry(QString::fromLatin1(kEntryName));
    return registerRunAtLogon(autostart, programFolder);
}
