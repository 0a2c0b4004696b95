#pragma once

#include <QString>

/// The platform's per-user start-at-log-on list.
class Autostart {
public:
    virtual ~Autostart() = default;

    /// Writes (or rewrites) the entry named name that runs program at log-on; true when written.
    /// An entry the user disabled in the desktop is left as it is (false).
    virtual bool registerEntry(const QString& name, const QString& program) = 0;
    /// Removes the entry named name; true when there is none afterwards.
    virtual bool removeEntry(const QString& name) = 0;
    /// The file name of the program as installed on this platform ("quelmint").
    virtual QString programFileName() const = 0;
};
