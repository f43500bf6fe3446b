#pragma once

#include <string>

namespace velmora {

// Keeps a second copy of the saver from running in the preview, configure
// and run modes. The guard is an exclusive lock on a file named
// "VelmoraSemaphore" in the user's runtime directory. The kernel drops the
// lock when the holding process ends in any way, so a crashed or killed
// saver never locks the next one out (a named semaphore would outlive it).
class InstanceGuard {
public:
    enum class State {
        held, // this process is the only instance
        busy, // another process holds the lock
        unavailable, // no lock file of our own could be opened: run without a guard
    };

    // Where the lock lives: $XDG_RUNTIME_DIR, else the temporary directory.
    static std::string default_path();

    explicit InstanceGuard(const std::string& path = default_path());
    ~InstanceGuard();
    InstanceGuard(const InstanceGuard&) = delete;
    InstanceGuard& operator=(const InstanceGuard&) = delete;

    State state() const { return state_; }
    // Gives the lock up before the process ends.
    void release();

private:
    int fd_ = -1;
    State state_ = State::unavailable;
};

} // namespace velmora
