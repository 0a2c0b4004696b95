#pragma once

#include <QString>

class Autostart;

/// Start at log-on: the entry named "Quelmint" runs the program file of the fixed name
/// (Autostart::programFileName) in the folder of the running program, whatever the running file
/// is called. At every orderly exit it is written while the setting "Start at log-on" is on
/// (an entry the user disabled in the desktop stays as it is) and removed while it is off.
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
    /// The exit's step: writes the entry when startAtLogon, else removes it; true when done.
    static bool apply(Autostart& autostart, const QString& programFolder, bool startAtLogon);
};
