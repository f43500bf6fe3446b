#pragma once

// The peak memory a piece of work makes a process touch, measured in a
// child process so that what the test program did before does not count.

#include <functional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace velmora::test {

// Runs `work` in a forked child (exceptions ignored) and returns the child's
// peak resident memory in MiB, or -1 when it could not be measured. Only for
// programs without threads of their own (the core test programs).
inline long peak_mib_of(const std::function<void()>& work)
{
    int channel[2];
    if (pipe(channel) != 0)
        return -1;
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        try {
            work();
        } catch (...) {
        }
        rusage usage {};
        getrusage(RUSAGE_SELF, &usage);
        const long kib = usage.ru_maxrss;
        [[maybe_unused]] const auto written = write(channel[1], &kib, sizeof kib);
        _exit(0);
    }
    close(channel[1]);
    long kib = -1;
    if (child < 0 || read(channel[0], &kib, sizeof kib) != sizeof kib)
        kib = -1;
    close(channel[0]);
    if (child > 0)
        waitpid(child, nullptr, 0);
    return kib < 0 ? -1 : kib / 1024;
}

} // namespace velmora::test
