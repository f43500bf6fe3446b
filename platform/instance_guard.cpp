#include "platform/instance_guard.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

std::string InstanceGuard::default_path()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::filesystem::path dir;
    if (runtime && runtime[0] == '/')
        dir = runtime;
    else {
        std::error_code error;
        dir = std::filesystem::temp_directory_path(error);
        if (error)
            dir = "/tmp";
    }
    return (dir / "VelmoraSemaphore").string();
}

InstanceGuard::InstanceGuard(const std::string& path)
{
    // O_NOFOLLOW: in a shared temporary directory a planted symbolic link
    // must not make us create or open some other file.
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd_ < 0)
        return;
    // In the shared temporary folder another user could plant the file and
    // hold its lock for ever, so that our saver never starts. Only a lock
    // file of our own decides; with any other we run without a guard.
    struct stat info { };
    if (::fstat(fd_, &info) != 0 || info.st_uid != ::geteuid()) {
        ::close(fd_);
        fd_ = -1;
        return;
    }
    int result;
    do
        result = ::flock(fd_, LOCK_EX | LOCK_NB);
    while (result != 0 && errno == EINTR);
    if (result == 0) {
        state_ = State::held;
        return;
    }
    state_ = errno == EWOULDBLOCK ? State::busy : State::unavailable;
    ::close(fd_);
    fd_ = -1;
}

InstanceGuard::~InstanceGuard()
{
    release();
}

void InstanceGuard::release()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

} // namespace velmora
