#pragma once

#include <QString>

/// The platform's per-user start-at-log-on list.
class Autostart {
public:
    virtual ~Autostart() = default;

    /// Writes (or rewrites) the entry named name that runs program at log-on; true when written.
    virtual bool registerEntry(const QString& name, const QString& program) = 0;
    /// The file name of the program as installed on this platform ("quelmint").
    virtual QString programFileName() const = 0;
};
