#pragma once

#include <QString>

class Autostart;

/// Start at log-on: the entry named "Quelmint" runs the program file of the fixed name
/// (Autostart::programFileName) in the folder of the running program, whatever the running file
/// is called. Written at every orderly exit; nothing removes it.
class RunAtLogon final {
public:
    RunAtLogon() = delete;

    /// Name of the log-on entry.
    static constexpr char kEntryName[] = "Quelmint";

    /// The command the entry runs for a program in programFolder.
    static QString command(const Autostart& autostart, const QString& programFolder);
    /// Writes the entry for the running program; true when written. Errors are not reported.
    static bool registerRunAtLogon(Autostart& autostart);
    /// Writes the entry for a program in programFolder.
    static bool registerRunAtLogon(Autostart& autostart, const QString& programFolder);
};
