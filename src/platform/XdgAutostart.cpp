#include "platform/XdgAutostart.h"

#include <QDir>
#include <QSaveFile>
#include <QStandardPaths>

QString XdgAutostart::folder() const {
    if (!folder_.isEmpty())
        return folder_;
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart");
}

QString XdgAutostart::execValue(const QString& program) {
    // Arguments with blanks or reserved characters are double-quoted, and inside the quotes ",
    // `, $ and \ take a backslash; a literal % is doubled. The value as a whole is a desktop
    // file string, where a backslash is written twice.
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool quote = false;
    for (QChar c : program)
        if (reserved.contains(c))
            quote = true;
    QString arg;
    for (QChar c : program) {
        if (quote && (c == u'"' || c == u'`' || c == u'$' || c == u'\\'))
            arg += u'\\';
        arg += c;
        if (c == u'%')
            arg += u'%';
    }
    if (quote)
        arg = u'"' + arg + u'"';
    arg.replace(QStringLiteral("\\"), QStringLiteral("\\\\"));
    return arg;
}

QByteArray XdgAutostart::desktopEntry(const QString& name, const QString& program) {
    QString text;
    text += QStringLiteral("[Desktop Entry]\n");
    text += QStringLiteral("Type=Application\n");
    text += QStringLiteral("Name=") + name + u'\n';
    text += QStringLiteral("Comment=Network traffic monitor\n");
    text += QStringLiteral("Exec=") + execValue(program) + u'\n';
    text += QStringLiteral("Terminal=false\n");
    text += QStringLiteral("X-GNOME-Autostart-enabled=true\n");
    return text.toUtf8();
}

bool XdgAutostart::registerEntry(const QString& name, const QString& program) {
    const QString dir = folder();
    if (!QDir().mkpath(dir))
        return false;
    QSaveFile file(dir + u'/' + name + QStringLiteral(".desktop"));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray text = desktopEntry(name, program);
    if (file.write(text) != text.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
