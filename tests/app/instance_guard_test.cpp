#include "platform/instance_guard.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace velmora;
namespace fs = std::filesystem;

namespace {

class InstanceGuardTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char name[] = "/tmp/velmora-guard-test-XXXXXX";
        ASSERT_TRUE(mkdtemp(name));
        dir = name;
        path = (dir / "VelmoraSemaphore").string();
    }
    void TearDown() override { fs::remove_all(dir); }

    fs::path dir;
    std::string path;
};

} // namespace

TEST_F(InstanceGuardTest, OnlyOneHolderAtATime)
{
    std::optional<InstanceGuard> first(std::in_place, path);
    EXPECT_EQ(first->state(), InstanceGuard::State::held);
    EXPECT_EQ(InstanceGuard(path).state(), InstanceGuard::State::busy);
    first->release();
    EXPECT_EQ(InstanceGuard(path).state(), InstanceGuard::State::held);
    // Ending the holder's life frees the lock as well.
    first.emplace(path);
    first.reset();
    EXPECT_EQ(InstanceGuard(path).state(), InstanceGuard::State::held);
}

TEST_F(InstanceGuardTest, KilledHolderReleasesTheLock)
{
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        InstanceGuard holder(path);
        const char state = holder.state() == InstanceGuard::State::held ? 'h' : 'x';
        if (write(ready[1], &state, 1) != 1)
            _exit(1);
        pause();
        _exit(0);
    }
    close(ready[1]);
    char state = 0;
    ASSERT_EQ(read(ready[0], &state, 1), 1);
    close(ready[0]);
    EXPECT_EQ(state, 'h');
    EXPECT_EQ(InstanceGuard(path).state(), InstanceGuard::State::busy);

    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(InstanceGuard(path).state(), InstanceGuard::State::held);
}

TEST_F(InstanceGuardTest, WithoutALockFileTheProgramGoesOnUnguarded)
{
    EXPECT_EQ(InstanceGuard((dir / "missing" / "VelmoraSemaphore").string()).state(),
        InstanceGuard::State::unavailable);
    // A planted link is never followed, so it cannot make us create or lock
    // some other file.
    const fs::path target = dir / "target";
    fs::create_symlink(target, path);
    EXPECT_EQ(InstanceGuard(path).state(), InstanceGuard::State::unavailable);
    EXPECT_FALSE(fs::exists(target));
}

TEST_F(InstanceGuardTest, LivesInTheRuntimeFolderElseTheTemporaryFolder)
{
    const char* saved_runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string runtime = saved_runtime ? saved_runtime : "";
    setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    EXPECT_EQ(InstanceGuard::default_path(), path);
    setenv("XDG_RUNTIME_DIR", "relative", 1);
    EXPECT_EQ(
        InstanceGuard::default_path(), (fs::temp_directory_path() / "VelmoraSemaphore").string());
    if (saved_runtime)
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    else
        unsetenv("XDG_RUNTIME_DIR");
}

TEST_F(InstanceGuardTest, ALockFileOfAnotherUserNeverKeepsTheSaverFromStarting)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to act as a second user";
    // Another user plants the file in the shared folder and holds its lock.
    const uid_t other = 65534;
    fs::permissions(dir, fs::perms::all | fs::perms::sticky_bit);
    const int planted = open(path.c_str(), O_RDWR | O_CREAT, 0666);
    ASSERT_GE(planted, 0);
    ASSERT_EQ(fchown(planted, other, other), 0);
    ASSERT_EQ(fchmod(planted, 0666), 0);
    close(planted);

    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int fd = setgid(other) == 0 && setuid(other) == 0 ? open(path.c_str(), O_RDWR) : -1;
        const char state = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0 ? 'h' : 'x';
        if (write(ready[1], &state, 1) != 1)
            _exit(1);
        pause();
        _exit(0);
    }
    close(ready[1]);
    char state = 0;
    ASSERT_EQ(read(ready[0], &state, 1), 1);
    close(ready[0]);
    EXPECT_EQ(state, 'h');

    EXPECT_EQ(InstanceGuard(path).state(), InstanceGuard::State::unavailable);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
}
