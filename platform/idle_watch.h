// The idle watcher, "kelvara --idle SECONDS [RUN ARGUMENTS...]": a process that stays running
// and starts the full-screen run ("/s") whenever the user has been idle for SECONDS, except
// while the desktop is locked or an idle inhibitor holds, and ends a run when the desktop locks.
// It sleeps in one poll() on what the back end gives it (IdleWatch): the desktop's idle time and
// its lock, each as descriptors to wait on and a state read after the wait.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

// Something the watcher's poll() waits on.
class IdleWatchSource {
public:
    virtual ~IdleWatchSource() = default;
    // Sends what it has queued and adds the descriptors to wait on for reading, and lowers
    // timeoutMs (-1: no limit) to the longest it may wait before update() is due.
    virtual void prepareWait(std::vector<int>& fds, int& timeoutMs) = 0;
    // Reads whatever came, after every wait. Throws Exception when the source has gone (its
    // compositor or its bus ended).
    virtual void update() = 0;
    // For the watcher's first line: "GNOME's idle monitor (org.gnome.Mutter.IdleMonitor)".
    virtual std::string description() const = 0;
};

// The user's idle time, as the desktop counts it: it honours the desktop's idle inhibitors.
class IdleSource : public IdleWatchSource {
public:
    // True once the user has been idle for the watched time: once for each stretch of idle
    // time, so that the next comes only after input; never while an inhibitor holds.
    bool takeIdle() { return std::exchange(idle, false); }

protected:
    bool idle = false; // set by the source's update() when the idle time is reached
};

// The desktop's own lock screen.
class LockSource : public IdleWatchSource {
public:
    // True while the lock screen is up, and once after each request to lock (which a lock
    // screen may answer a moment later, or no one).
    virtual bool takeLocked() = 0;
};

// What the back end's entry "idle" gives the watcher. lock may be null: nothing tells of one.
struct IdleWatch {
    std::unique_ptr<IdleSource> idle;
    std::unique_ptr<LockSource> lock;
};

// The switch, first on the command line.
inline constexpr const char* idleSwitch = "--idle";
// The longest idle time the watcher takes: a day. Longer ones are mistakes (milliseconds for
// seconds), and the compositors' own limits lie not far above.
inline constexpr int maxIdleSeconds = 24 * 60 * 60;

struct IdleRequest {
    int seconds = 0;
    std::vector<std::string> runArguments; // after "/s" on the run's command line
};

// Reads "--idle SECONDS [RUN ARGUMENTS...]". Throws Exception with a line for the user when
// SECONDS is missing, not a whole number, 0 or above maxIdleSeconds.
IdleRequest idleRequestOf(const std::vector<std::string>& args);

// Runs the watcher until SIGTERM, SIGINT or SIGHUP (which end its run too) or until its
// desktop goes; the exit status: 0 when ended by a signal, 2 when it cannot watch this desktop
// (bad arguments, or no idle time here: the line says what to use instead), 1 when the desktop
// went away. The operating system's: platform/posix/idle_watcher.cpp and platform/win32/.
int runIdleWatcher(const std::vector<std::string>& args);
