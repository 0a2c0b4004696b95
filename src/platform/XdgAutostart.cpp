#include "platform/XdgAutostart.h"

#include <QDir>
#include <QFile>
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

QString XdgAutostart::entryPath(const QString& name) const {
    return folder() + u'/' + name + QStringLiteral(".desktop");
}

bool XdgAutostart::disabledByUser(const QByteArray& desktopFile) {
    // Keys of the main group only; a value may carry blanks around the "=".
    bool mainGroup = false;
    for (const QByteArray& raw : desktopFile.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith('[')) {
            mainGroup = line == "[Desktop Entry]";
            continue;
        }
        const int eq = line.indexOf('=');
        if (!mainGroup || eq < 0)
            continue;
        const QByteArray key = line.left(eq).trimmed();
        const QByteArray value = line.mid(eq + 1).trimmed();
        if ((key == "Hidden" && value == "true") ||
            (key == "X-GNOME-Autostart-enabled" && value == "false"))
            return true;
    }
    return false;
}

bool XdgAutostart::removeEntry(const QString& name) {
    const QString path = entryPath(name);
    return !QFile::exists(path) || QFile::remove(path);
}

bool XdgAutostart::registerEntry(const QString& name, const QString& program) {
    const QString dir = folder();
    if (!QDir().mkpath(dir))
        return false;
    QFile existing(entryPath(name));
    if (existing.open(QIODevice::ReadOnly) && disabledByUser(existing.read(1 << 20)))
        return false; // the user's choice in the desktop stands
    existing.close();
    QSaveFile file(entryPath(name));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray text = desktopEntry(name, program);
    if (file.write(text) != text.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
