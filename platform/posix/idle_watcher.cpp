// The idle watcher on a POSIX system (runIdleWatcher, platform/idle_watch.h): one poll() on a
// signalfd and on what the chosen back end gives (the desktop's idle time and its lock). The run
// is this program started again as "kelvara /s <run arguments>", a child that ends by itself on
// input; the watcher ends it when the desktop locks, and when the watcher itself ends.
#include "platform/deadline.h"
#include "platform/exception.h"
#include "platform/idle_watch.h"
#include "platform/posix/child_signals.h"
#include "platform/posix/program_start.h"
#include "platform/process.h"
#include "platform/startup_trace.h"
#include "platform/window_system.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// How long a run has to end after SIGTERM before it is killed: it ends at once on it, after
// giving a switched display mode back.
constexpr int endGraceMs = 5000;

using Clock = std::chrono::steady_clock;

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
    }

    ~IdleWatcher() { endRun(); }
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
            std::vector<pollfd> polled = {{signals.fd(), POLLIN, 0}};
            for (int fd : fds)
                polled.push_back({fd, POLLIN, 0});
            if (poll(polled.data(), polled.size(), timeoutMs) < 0 && errno != EINTR)
                throw Exception(std::string("Cannot wait: ") + std::strerror(errno));

            if (signals.drain())
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
        while (true) {
            reapRun(); // first: its SIGCHLD may have been read already
            if (run <= 0)
                return;
            if (millisecondsUntil(endDeadline) == 0) {
                killRun();
                return;
            }
            pollfd wake{signals.fd(), POLLIN, 0}; // the run's end wakes it
            poll(&wake, 1, millisecondsUntil(endDeadline));
            signals.drain(); // the run is ending already
        }
    }

    IdleWatch watch;
    int seconds;
    std::vector<std::string> runWords;
    ChildSignals signals;
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
