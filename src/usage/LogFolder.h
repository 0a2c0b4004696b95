#pragma once

#include <QString>

class FileSystem;

/// Where the usage log files live.
class LogFolder final {
public:
    LogFolder() = delete;

    /// "Usage Logs" in the program's folder when it exists or can be created and written there;
    /// otherwise "Usage Logs" in the per-user application data folder (created when missing).
    /// An installed program (in a system folder such as /usr/bin) always uses the per-user one.
    static QString locate(FileSystem& fs);
    /// The same choice between two given parent folders.
    static QString choose(FileSystem& fs, const QString& programFolder,
                          const QString& appDataFolder);
    /// The folder choose() would take, found without creating or writing anything (for a reader
    /// while the program may run): the one beside the program when it exists there.
    static QString existing(const FileSystem& fs, const QString& programFolder,
                            const QString& appDataFolder);
    /// True for the system's program folders (/usr and below, /bin, /sbin): they belong to the
    /// package manager and never hold user data, even when the running user could write there.
    static bool isSystemFolder(const QString& folder);
    /// True when the folder exists (or was created) and a file can be written in it.
    static bool usable(FileSystem& fs, const QString& folder);
};
