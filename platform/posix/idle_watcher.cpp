// The idle watcher on a POSIX system (runIdleWatcher, platform/idle_watch.h): one poll() on a
// signalfd and on what the chosen back end gives (the desktop's idle time and its lock). The run
// is this program started again as "kelvara /s <run arguments>", a child that ends by itself on
// input; the watcher ends it when the desktop locks, and when the watcher itself ends.
#include "platform/exception.h"
#include "platform/idle_watch.h"
#include "platform/posix/program_start.h"
#include "platform/process.h"
#include "platform/startup_trace.h"
#include "platform/window_system.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <string>
#include <sys/signalfd.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// How long a run has to end after SIGTERM before it is killed: it ends at once on it, after
// giving a switched display mode back.
constexpr int endGraceMs = 5000;

const int stopSignals[] = {SIGTERM, SIGINT, SIGHUP};

using Clock = std::chrono::steady_clock;

int millisecondsUntil(Clock::time_point when) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(when - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

std::string commandOf(const std::vector<std::string>& words) {
    std::string text;
    for (const std::string& word : words)
        text += (text.empty() ? "" : " ") + word;
    return text;
}

class IdleWatcher {
public:
    IdleWatcher(IdleWatch watch, const IdleRequest& request)
        : watch(std::move(watch)), seconds(request.seconds) {
        runWords = {"kelvara", "/s"};
        runWords.insert(runWords.end(), request.runArguments.begin(), request.runArguments.end());
        // A launcher may leave SIGCHLD ignored (the run would be reaped unseen) or the stop
        // signals ignored (signalfd never sees an ignored signal).
        struct sigaction plain {};
        plain.sa_handler = SIG_DFL;
        sigemptyset(&plain.sa_mask);
        sigset_t signals;
        sigemptyset(&signals);
        sigaddset(&signals, SIGCHLD);
        sigaction(SIGCHLD, &plain, nullptr);
        for (int s : stopSignals) {
            sigaction(s, &plain, nullptr);
            sigaddset(&signals, s);
        }
        sigprocmask(SIG_BLOCK, &signals, &previousMask);
        signalFd = signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK);
        if (signalFd < 0) {
            const std::string why = std::strerror(errno);
            sigprocmask(SIG_SETMASK, &previousMask, nullptr);
            throw Exception("Cannot watch for signals: " + why);
        }
    }

    ~IdleWatcher() {
        endRun();
        close(signalFd);
        sigprocmask(SIG_SETMASK, &previousMask, nullptr);
    }
    IdleWatcher(const IdleWatcher&) = delete;
    IdleWatcher& operator=(const IdleWatcher&) = delete;

    // Until a stop signal (0); throws Exception when the desktop's idle time goes away.
    int watchUntilStopped() {
        std::fprintf(stderr,
                     "kelvara: the run (%s) starts after %d s without input; the idle time "
                     "from %s; the lock from %s\n",
                     commandOf(runWords).c_str(), seconds, watch.idle->description().c_str(),
                     watch.lock ? watch.lock->description().c_str() : "nothing");
        bool locked = false;
        while (true) {
            std::vector<int> fds;
            int timeoutMs = -1;
            if (watch.lock)
                watch.lock->prepareWait(fds, timeoutMs);
            watch.idle->prepareWait(fds, timeoutMs);
            if (ending) {
                const int left = millisecondsUntil(endDeadline);
                timeoutMs = timeoutMs < 0 || left < timeoutMs ? left : timeoutMs;
            }
            std::vector<pollfd> polled = {{signalFd, POLLIN, 0}};
            for (int fd : fds)
                polled.push_back({fd, POLLIN, 0});
            if (poll(polled.data(), polled.size(), timeoutMs) < 0 && errno != EINTR)
                throw Exception(std::string("Cannot wait: ") + std::strerror(errno));

            if (stopSignalCame())
                return 0;
            reapRun();
            if (ending && run > 0 && millisecondsUntil(endDeadline) == 0)
                killRun();
            if (watch.lock) {
                watch.lock->update();
                locked = watch.lock->takeLocked();
            }
            watch.idle->update();
            if (locked && run > 0 && !ending) {
                std::fputs("kelvara: the desktop locks: the run ends\n", stderr);
                askRunToEnd();
            }
            if (watch.idle->takeIdle()) {
                if (locked)
                    std::fprintf(stderr,
                                 "kelvara: idle for %d s, but the desktop is locked: no "
                                 "run\n",
                                 seconds);
                else if (run <= 0)
                    startRun();
            }
        }
    }

private:
    bool stopSignalCame() {
        signalfd_siginfo info{};
        bool stop = false;
        while (read(signalFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info))
            stop = stop || info.ssi_signo != SIGCHLD;
        return stop;
    }

    void startRun() {
        std::fprintf(stderr, "kelvara: idle for %d s: the run starts\n", seconds);
        traceStartup("idle: the run starts");
        // A watcher killed outright leaves no run covering the screen.
        const pid_t pid = startThisProgram(runWords);
        if (pid < 0) {
            std::fprintf(stderr, "kelvara: cannot start the run: %s\n", std::strerror(errno));
            return;
        }
        run = pid;
    }

    void askRunToEnd() {
        kill(run, SIGTERM);
        ending = true;
        endDeadline = Clock::now() + std::chrono::milliseconds(endGraceMs);
    }

    // Takes the run's exit, if it has ended; says how where it failed.
    void reapRun() {
        int status = 0;
        if (run <= 0 || waitpid(run, &status, WNOHANG) != run)
            return;
        if (!ending && WIFSIGNALED(status))
            std::fprintf(stderr, "kelvara: the run ended by signal %d\n", WTERMSIG(status));
        else if (WIFEXITED(status) && WEXITSTATUS(status) != 0)
            std::fprintf(stderr, "kelvara: the run ended with status %d\n", WEXITSTATUS(status));
        run = -1;
        ending = false;
    }

    void killRun() {
        std::fprintf(stderr, "kelvara: the run did not end within %d s of SIGTERM: killed\n",
                     endGraceMs / 1000);
        kill(run, SIGKILL);
        waitpid(run, nullptr, 0);
        run = -1;
        ending = false;
    }

    // Ends a run that is going, and waits for it (killed after the grace).
    void endRun() {
        if (run <= 0)
            return;
        if (!ending)
            askRunToEnd();
        while (run > 0) {
            pollfd wake{signalFd, POLLIN, 0};
            poll(&wake, 1, std::min(millisecondsUntil(endDeadline), 100));
            stopSignalCame(); // the run is ending already
            reapRun();
            if (run > 0 && millisecondsUntil(endDeadline) == 0)
                killRun();
        }
    }

    IdleWatch watch;
    int seconds;
    std::vector<std::string> runWords;
    sigset_t previousMask{};
    int signalFd = -1;
    pid_t run = -1;
    bool ending = false; // asked to end, not yet gone
    Clock::time_point endDeadline;
};

} // namespace

int runIdleWatcher(const std::vector<std::string>& args) {
    IdleRequest request;
    try {
        request = idleRequestOf(args);
    } catch (const Exception& e) {
        std::fprintf(stderr, "kelvara: %s\n", e.message.c_str());
        return 2;
    }
    if (!createInstanceLock("KELVARA_IDLE_MUTEX")) {
        std::fputs("kelvara: an idle watcher runs in this session already\n", stderr);
        return 2;
    }
    IdleWatch watch;
    try {
        WindowSystem& windows = chooseWindowSystem(WindowSystemUse::fullScreen);
        watch = windows.openIdleWatch(request.seconds);
    } catch (const Exception& e) {
        std::fprintf(stderr, "kelvara: %s\n", e.message.c_str());
        return 2;
    }
    try {
        IdleWatcher watcher(std::move(watch), request);
        return watcher.watchUntilStopped();
    } catch (const Exception& e) {
        std::fprintf(stderr, "kelvara: %s; the idle watcher ends\n", e.message.c_str());
        return 1;
    }
}
