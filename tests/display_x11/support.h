#pragma once

// What the saver tests on a private X server share: ending the programs
// they start and cutting pieces out of the screen they read back.

#include "imaging/bitmap.h"

#include <chrono>
#include <csignal>
#include <optional>
#include <sys/wait.h>
#include <thread>

namespace velmora::test {

// Waits up to `limit` for the process to end; its exit status (128 + the
// signal when a signal ended it), or nothing. The process is looked at at
// least once, so a limit of 0 asks whether it has ended already.
inline std::optional<int> wait_for_exit(pid_t pid, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (std::chrono::steady_clock::now() >= end)
            return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

// Ends the process: SIGTERM, then SIGKILL after three seconds.
inline void stop(pid_t pid)
{
    if (pid <= 0)
        return;
    kill(pid, SIGTERM);
    if (!wait_for_exit(pid, std::chrono::seconds(3))) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
}

// The w x h pixels of `b` from (x, y).
inline Bitmap crop(const Bitmap& b, int x, int y, int w, int h)
{
    Bitmap out(w, h);
    draw_rect(out, 0, 0, b, x, y, w, h);
    return out;
}

} // namespace velmora::test
