#include "platform/termination_signals.h"

#include <QSocketNotifier>
#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>

namespace velmora {

namespace {

    std::array<int, 2> pipe_fds { -1, -1 };
    constexpr std::array<int, 3> kSignals { SIGTERM, SIGINT, SIGUSR1 };
    // What arrived since the loop last looked; the pipe's byte only wakes
    // the loop, so a byte lost to a full pipe loses no request.
    volatile std::sig_atomic_t end_pending = 0;
    volatile std::sig_atomic_t restart_pending = 0;
    std::array<struct sigaction, kSignals.size()> previous {};

    void on_signal(int number)
    {
        const int saved = errno;
        if (number == SIGUSR1)
            restart_pending = 1;
        else
            end_pending = 1;
        const char byte = 1;
        // A full pipe already holds a wake-up; losing this byte loses nothing.
        [[maybe_unused]] const ssize_t written = write(pipe_fds[1], &byte, 1);
        errno = saved;
    }

} // namespace

TerminationSignals::TerminationSignals()
{
    if (pipe2(pipe_fds.data(), O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::system_error(errno, std::generic_category(), "pipe2");
    notifier_ = std::make_unique<QSocketNotifier>(pipe_fds[0], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &TerminationSignals::drain);
    struct sigaction action { };
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        sigaction(kSignals[i], &action, &previous[i]);
}

TerminationSignals::~TerminationSignals()
{
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        sigaction(kSignals[i], &previous[i], nullptr);
    notifier_.reset();
    for (int& fd : pipe_fds) {
        close(fd);
        fd = -1;
    }
}

void TerminationSignals::drain()
{
    char buffer[64];
    while (read(pipe_fds[0], buffer, sizeof buffer) > 0) { }
    const bool restart = restart_pending != 0;
    restart_pending = 0;
    if (end_pending != 0)
        emit received(); // an end makes a restart pointless
    else if (restart)
        emit restart_requested();
}

} // namespace velmora
