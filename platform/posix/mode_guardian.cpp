// The mode guardian's process side on POSIX: started with fork and exec of /proc/self/exe,
// watching the program through a socket pair (send with MSG_NOSIGNAL, so a guardian that is
// gone never raises SIGPIPE in the program).
#include "platform/posix/mode_guardian.h"

#include "platform/process.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
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

// Reads what the program says until it says "done" (true) or its end closes (false); the last
// announced change goes into change.
bool waitForProgram(std::string& change) {
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
                change = line.substr(4);
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
    std::string change;
    if (waitForProgram(change) || change.empty()) {
        return 0; // given back by the program, or never changed
    }
    // A server that no longer answers must not keep the guardian alive.
    alarm(10);
    restore(std::vector<std::string>(argv + 3, argv + argc), change);
    return 0;
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
        return false;
    }
    const pid_t child = fork();
    if (child == 0) {
        // Forked twice, so that the guardian is nobody's child here (no zombie, no surprise for
        // code that waits for children) and in a session of its own (a kill of the program's
        // process group leaves it to do its work).
        if (fork() != 0) {
            _exit(0);
        }
        setsid();
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        if (pair[1] == guardianFd) {
            fcntl(guardianFd, F_SETFD, 0);
        } else {
            dup2(pair[1], guardianFd); // the copy is not close-on-exec
        }
        const int nothing = open("/dev/null", O_RDWR);
        if (nothing >= 0) {
            // Standard error stays for the guardian's one line; a reader of the program's
            // output does not wait for the guardian.
            dup2(nothing, 0);
            dup2(nothing, 1);
        }
        // The instance lock and the X connection stay with the program.
        close_range(guardianFd + 1, ~0U, 0);
        execve(self.c_str(), const_cast<char* const*>(arguments.data()), environ);
        _exit(127);
    }
    close(pair[1]);
    if (child < 0) {
        close(pair[0]);
        return false;
    }
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
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
