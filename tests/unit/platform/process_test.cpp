#include "platform/process.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>

namespace {

TEST(InstanceLock, IsHeldUntilTheHoldingProcessEndsEvenByKill9) {
    const std::string name = "KELVARA_TEST_MUTEX_" + std::to_string(getpid());
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    if (child == 0) {
        const char answer = createInstanceLock(name) ? 'y' : 'n';
        (void)!write(ready[1], &answer, 1);
        pause();
        _exit(0);
    }
    char answer = 0;
    ASSERT_EQ(read(ready[0], &answer, 1), 1);
    EXPECT_EQ(answer, 'y');
    EXPECT_FALSE(createInstanceLock(name));
    EXPECT_TRUE(createInstanceLock(name + "_OTHER")); // another name is another lock
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_TRUE(createInstanceLock(name));
    EXPECT_FALSE(createInstanceLock(name)); // and now this process holds it
    close(ready[0]);
    close(ready[1]);
}

TEST(InstanceLock, IsOnePerXDisplay) {
    const std::string name = "KELVARA_TEST_DISPLAY_" + std::to_string(getpid());
    unsetenv("WAYLAND_DISPLAY"); // a Wayland session keys it on the compositor instead
    setenv("DISPLAY", ":901", 1);
    ASSERT_TRUE(createInstanceLock(name));
    EXPECT_FALSE(createInstanceLock(name));
    setenv("DISPLAY", ":902", 1); // another session of the same user
    EXPECT_TRUE(createInstanceLock(name));
    unsetenv("DISPLAY");
    EXPECT_TRUE(createInstanceLock(name));
}

TEST(InstanceLock, OnWaylandIsOnePerCompositorWhateverItsXWaylandDisplay) {
    const std::string name = "KELVARA_TEST_WAYLAND_" + std::to_string(getpid());
    setenv("XDG_RUNTIME_DIR", "/run/user/901", 1);
    setenv("WAYLAND_DISPLAY", "wayland-1", 1);
    setenv("DISPLAY", ":901", 1);
    ASSERT_TRUE(createInstanceLock(name));
    setenv("DISPLAY", ":902", 1); // the settings dialog on the session's XWayland: the same one
    EXPECT_FALSE(createInstanceLock(name));
    setenv("WAYLAND_DISPLAY", "/run/user/901/wayland-1", 1); // the same socket, named in full
    EXPECT_FALSE(createInstanceLock(name));
    setenv("XDG_RUNTIME_DIR", "/run/user/902", 1); // wayland-1 of another session
    setenv("WAYLAND_DISPLAY", "wayland-1", 1);
    EXPECT_TRUE(createInstanceLock(name));
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("XDG_RUNTIME_DIR");
    unsetenv("DISPLAY");
}

TEST(InstanceLock, IsNotInheritedByChildPrograms) {
    const std::string name = "KELVARA_TEST_EXEC_" + std::to_string(getpid());
    ASSERT_TRUE(createInstanceLock(name));
    // A child that execs keeps no descriptor of ours: count its open descriptors that are
    // sockets named after the lock.
    const std::string command = "for f in /proc/self/fd/*; do readlink $f; done | grep -c socket";
    FILE* p = popen(command.c_str(), "r");
    ASSERT_NE(p, nullptr);
    int sockets = -1;
    EXPECT_EQ(fscanf(p, "%d", &sockets), 1);
    pclose(p);
    EXPECT_EQ(sockets, 0);
}

TEST(ProcessServices, AnswerSensibly) {
    EXPECT_NE(executablePath().find("process_test"), std::string::npos);
    EXPECT_GT(totalPhysicalMemory(), uint64_t{16} << 20);
    EXPECT_FALSE(setCurrentDirectory("/nonexistent/kelvara"));
    const uint32_t before = tickCount();
    sleepMilliseconds(20);
    const uint32_t elapsed = tickCount() - before; // unsigned: right across a wrap too
    EXPECT_GE(elapsed, 20u);
    EXPECT_LT(elapsed, 10000u);
    setHighPriority(); // refused without privileges, which must not matter
}

} // namespace
