#pragma once

#include <functional>

/// One running instance of the program per user.
class SingleInstance {
public:
    virtual ~SingleInstance() = default;

    /// Takes the per-user lock; true when this process is now the one instance. A lock left by a
    /// crashed instance does not count.
    virtual bool tryBecomePrimary() = 0;
    /// In a process that is not primary: asks the running instance to restore and raise its main
    /// window. True: the caller ends now without showing anything. False: the other instance has
    /// gone meanwhile and this process has become the primary; start-up goes on.
    virtual bool activatePrevious() = 0;
    /// In the primary: what to run when another start asks for the main window.
    virtual void setRaiseHandler(std::function<void()> handler) = 0;
};
