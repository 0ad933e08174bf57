// Process and system services on POSIX (Linux): the instance lock as an abstract-namespace Unix
// socket, /proc/self/exe, chdir, setpriority, nanosleep, sysinfo and CLOCK_MONOTONIC.
#include "platform/process.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/sysinfo.h>
#include <sys/un.h>
#include <unistd.h>

bool createInstanceLock(const std::string& name) {
    // An abstract socket name belongs to the process that bound it until its last descriptor
    // closes, which the kernel does on any exit, kill -9 included. The user id and the display
    // make it one lock per user session: runs on another display are another session. On a
    // Wayland desktop that is the compositor's socket (the settings dialog's XWayland display
    // is the same session); a name without a slash lies in the runtime folder.
    // SOCK_CLOEXEC keeps children (a browser started for the web link) from holding it after
    // this process ends.
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const char* display = std::getenv("DISPLAY");
    std::string session = display != nullptr ? display : "";
    if (wayland != nullptr && wayland[0] != '\0') {
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        session = wayland[0] == '/'
                      ? std::string(wayland)
                      : std::string(runtime != nullptr ? runtime : "") + "/" + wayland;
    }
    const std::string key = "kelvara/" + name + "/" + std::to_string(getuid()) + "/" + session;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const size_t length = std::min(key.size(), sizeof(address.sun_path) - 1);
    std::memcpy(address.sun_path + 1, key.data(), length); // sun_path[0] = 0: abstract
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return true; // no sockets at all: run rather than refuse to start
    }
    const socklen_t size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&address), size) != 0) {
        const bool held = errno == EADDRINUSE;
        close(fd);
        return !held;
    }
    return true; // the descriptor stays open, on purpose, until the process ends
}

std::optional<std::string> commandLineText() {
    return std::nullopt;
}

std::string executablePath() {
    char buffer[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) {
        return {};
    }
    return std::string(buffer, static_cast<size_t>(n));
}

bool setCurrentDirectory(const std::string& path) {
    return chdir(path.c_str()) == 0;
}

void setHighPriority() {
    // Raising the priority needs privileges an ordinary user lacks; the run goes on without.
    (void)setpriority(PRIO_PROCESS, 0, -10);
}

void sleepMilliseconds(uint32_t milliseconds) {
    timespec wait{static_cast<time_t>(milliseconds / 1000),
                  static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
}

uint64_t totalPhysicalMemory() {
    struct sysinfo info {};
    if (sysinfo(&info) != 0) {
        return 0;
    }
    return static_cast<uint64_t>(info.totalram) * info.mem_unit;
}

uint32_t tickCount() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000u +
                                 static_cast<uint64_t>(now.tv_nsec) / 1000000u);
}
