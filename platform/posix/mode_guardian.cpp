// The mode guardian's process side on POSIX: started with fork and exec of /proc/self/exe,
// watching the program through a socket pair (send with MSG_NOSIGNAL, so a guardian that is
// gone never raises SIGPIPE in the program).
#include "platform/posix/mode_guardian.h"

#include "platform/process.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string_view>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// The descriptor on which the guardian finds its end of the pair.
constexpr int guardianFd = 3;

bool canGuard = false;
int programEnd = -1; // the program's end of the pair while a guardian watches

void send(std::string_view message) {
    if (programEnd >= 0) {
        // Never waits: a message is a few bytes and the guardian reads at once.
        (void)!::send(programEnd, message.data(), message.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    }
}

// The most changes a guardian keeps; only the program writes to it, bounded all the same.
constexpr size_t maxChanges = 64;

// Reads what the program says until it says "done" (true) or its end closes (false). Every
// announced change goes into changes, once, the latest last.
bool waitForProgram(std::vector<std::string>& changes) {
    char buffer[512];
    std::string line;
    for (;;) {
        const ssize_t n = read(guardianFd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        for (ssize_t i = 0; i < n; ++i) {
            if (buffer[i] != '\n') {
                if (line.size() < 4096) { // only the program writes here; bounded all the same
                    line += buffer[i];
                }
                continue;
            }
            if (line == "done") {
                return true;
            }
            if (line.starts_with("set ")) {
                const std::string change = line.substr(4);
                std::erase(changes, change);
                if (changes.size() == maxChanges) {
                    changes.erase(changes.begin());
                }
                changes.push_back(change);
            }
            line.clear();
        }
    }
}

int runGuardian(int argc, char** argv, ModeRestore restore) {
    struct stat end {};
    if (argc < 3 || fstat(guardianFd, &end) != 0 || !S_ISSOCK(end.st_mode)) {
        std::fprintf(stderr, "kelvara: %s is for the program's own use\n", modeGuardianSwitch);
        return 2;
    }
    std::vector<std::string> changes;
    if (waitForProgram(changes) || changes.empty()) {
        return 0; // given back by the program, or never changed
    }
    // A server that no longer answers must not keep the guardian alive.
    alarm(10);
    restore(std::vector<std::string>(argv + 3, argv + argc), changes);
    return 0;
}

// Marks every descriptor from first on close-on-exec, so that the guardian keeps nothing the
// program holds or inherited (the X connection, the instance lock, an idle locker's
// sleep-inhibitor descriptor). Runs between fork and exec, so only async-signal-safe calls:
// close_range where the kernel (5.11 on) and its filters allow it, else a walk of
// /proc/self/fd with the raw directory call. False when neither works.
bool markCloseOnExecFrom(int first) {
    if (close_range(static_cast<unsigned>(first), ~0U, CLOSE_RANGE_CLOEXEC) == 0) {
        return true;
    }
    const int folder = open("/proc/self/fd", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) {
        return false;
    }
    alignas(dirent64) char buffer[4096];
    bool marked = true;
    ssize_t n = 0;
    while (marked && (n = getdents64(folder, buffer, sizeof buffer)) > 0) {
        for (ssize_t at = 0; at < n && marked;) {
            const auto* entry = reinterpret_cast<const dirent64*>(buffer + at);
            at += entry->d_reclen;
            int fd = 0;
            const char* c = entry->d_name;
            for (; *c >= '0' && *c <= '9'; ++c) {
                fd = fd * 10 + (*c - '0');
            }
            if (*c == '\0' && c != entry->d_name && fd >= first && fd != folder) {
                marked = fcntl(fd, F_SETFD, FD_CLOEXEC) == 0;
            }
        }
    }
    close(folder);
    return marked && n == 0;
}

// In the child between fork and exec: tells the program why the guardian did not start.
[[noreturn]] void failStart(int statusFd) {
    const int error = errno;
    (void)!write(statusFd, &error, sizeof error);
    _exit(127);
}

bool runUnguarded(const char* step, int error) {
    std::fprintf(stderr,
                 "kelvara: no mode guardian runs (%s: %s); if the run is killed, the display "
                 "keeps its mode\n",
                 step, std::strerror(error));
    return false;
}

} // namespace

bool runModeGuardianIfAsked(int argc, char** argv, ModeRestore restore, int& status) {
    if (argc < 2 || std::strcmp(argv[1], modeGuardianSwitch) != 0) {
        canGuard = true;
        return false;
    }
    status = runGuardian(argc, argv, restore);
    return true;
}

bool startModeGuardian(const std::vector<std::string>& before) {
    if (!canGuard) {
        return false;
    }
    dismissModeGuardian();

    // Everything the child needs is built here: between fork and exec it may only make
    // async-signal-safe calls, since another thread may hold a lock it would need.
    // By its own name, so that ps shows a kelvara; through /proc when the file has gone.
    std::string self = executablePath();
    if (self.empty() || access(self.c_str(), X_OK) != 0) {
        self = "/proc/self/exe";
    }
    const std::string watched = std::to_string(getpid());
    std::vector<const char*> arguments = {"kelvara", modeGuardianSwitch, watched.c_str()};
    for (const std::string& word : before) {
        arguments.push_back(word.c_str());
    }
    arguments.push_back(nullptr);

    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
        return runUnguarded("socketpair", errno);
    }
    // The start's outcome: nothing comes through when the exec worked (the pipe closes with
    // it), else the error of the step that failed.
    int status[2];
    if (pipe2(status, O_CLOEXEC) != 0) {
        const int error = errno;
        close(pair[0]);
        close(pair[1]);
        return runUnguarded("pipe", error);
    }
    const pid_t child = fork();
    if (child == 0) {
        // Forked twice, so that the guardian is nobody's child here (no zombie, no surprise for
        // code that waits for children) and in a session of its own (a kill of the program's
        // process group leaves it to do its work).
        const pid_t guardian = fork();
        if (guardian < 0) {
            failStart(status[1]);
        }
        if (guardian > 0) {
            _exit(0);
        }
        setsid();
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        // Out of the way of the guardian's descriptor.
        int statusFd = status[1];
        if (statusFd == guardianFd &&
            (statusFd = fcntl(status[1], F_DUPFD_CLOEXEC, guardianFd + 1)) < 0) {
            failStart(status[1]);
        }
        if (pair[1] == guardianFd ? fcntl(guardianFd, F_SETFD, 0) != 0
                                  : dup2(pair[1], guardianFd) < 0) { // the copy is inherited
            failStart(statusFd);
        }
        const int nothing = open("/dev/null", O_RDWR);
        if (nothing >= 0) {
            // Standard error stays for the guardian's one line; a reader of the program's
            // output does not wait for the guardian.
            dup2(nothing, 0);
            dup2(nothing, 1);
        }
        if (!markCloseOnExecFrom(guardianFd + 1)) {
            failStart(statusFd);
        }
        execve(self.c_str(), const_cast<char* const*>(arguments.data()), environ);
        failStart(statusFd);
    }
    const int forkError = errno;
    close(pair[1]);
    close(status[1]);
    if (child < 0) {
        close(status[0]);
        close(pair[0]);
        return runUnguarded("fork", forkError);
    }
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
    int error = 0;
    ssize_t n = 0;
    while ((n = read(status[0], &error, sizeof error)) < 0 && errno == EINTR) {
    }
    close(status[0]);
    if (n != 0) {
        close(pair[0]);
        return runUnguarded("start", n == sizeof error ? error : EIO);
    }
    programEnd = pair[0];
    return true;
}

void announceModeChange(const std::string& change) {
    send("set " + change + "\n");
}

void dismissModeGuardian() {
    if (programEnd >= 0) {
        send("done\n");
        close(programEnd);
        programEnd = -1;
    }
}
