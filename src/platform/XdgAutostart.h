#pragma once

#include "platform/Autostart.h"

/// Log-on entries as XDG autostart desktop files: $XDG_CONFIG_HOME/autostart/<name>.desktop
/// (default ~/.config/autostart), written atomically. An entry the user disabled in the desktop
/// (Hidden=true, or X-GNOME-Autostart-enabled=false) is not rewritten.
class XdgAutostart final : public Autostart {
    Q_DISABLE_COPY_MOVE(XdgAutostart)

public:
    /// Uses the user's configuration folder as it is at each call.
    XdgAutostart() = default;
    /// Uses an explicit autostart folder instead (for tests).
    explicit XdgAutostart(const QString& folder) : folder_(folder) {}

    bool registerEntry(const QString& name, const QString& program) override;
    bool removeEntry(const QString& name) override;
    /// True when a desktop file's text says the user disabled the entry.
    static bool disabledByUser(const QByteArray& desktopFile);
    QString programFileName() const override { return QStringLiteral("quelmint"); }

    /// The folder the entries go to.
    QString folder() const;
    /// The desktop file's text for an entry.
    static QByteArray desktopEntry(const QString& name, const QString& program);
    /// The Exec value that runs program without arguments, quoted and escaped as desktop files
    /// require.
    static QString execValue(const QString& program);

private:
    QString entryPath(const QString& name) const;

    QString folder_;
};
