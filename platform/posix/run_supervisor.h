// "/s" as one run per monitor on a POSIX system (RunSupervisor): the intro and the mosaic keep
// their state once per process, so every monitor's run is a process of its own, this program
// started again as "<program> --monitor-run <id> <arguments>". The supervisor holds the
// instance lock, starts the runs, and ends them together: when one ends by input, fails or dies,
// and at once on SIGTERM, SIGINT and SIGHUP. It trusts nothing of the signal state it inherits,
// and a run ends also when the supervisor is killed outright.
//
// No run shows a window before every run has its picture, so that no picture holds another
// run's window (waitForEveryPicture, called by a run's form before it first shows).
#pragma once

#include "platform/posix/child_signals.h"
#include "platform/window_system.h"

#include <functional>
#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

class RunSupervisor {
public:
    // runArguments follow "--monitor-run <id>" on every run's command line.
    explicit RunSupervisor(std::vector<std::string> runArguments);
    ~RunSupervisor(); // ends the runs still going
    RunSupervisor(const RunSupervisor&) = delete;
    RunSupervisor& operator=(const RunSupervisor&) = delete;

    // Starts the monitor's run; false (with a line on standard error) when it cannot.
    bool start(const Monitor& monitor);
    // The monitor has gone: its run ends, and its end ends nothing else.
    void monitorGone(const std::string& id);

    // Readable when something waits for handleWake: poll it beside the window system's own.
    int wakeFd() const { return wakeFd_; }
    // Handles what woke it; true when the whole run is over. A run that ended by itself ends
    // the others unless monitorStillThere(id) says its monitor went away.
    bool handleWake(const std::function<bool(const std::string& id)>& monitorStillThere);
    // Waits in handleWake until the whole run is over, for a back end with nothing else to watch.
    void runUntilOver();

    // 0 while every run ended well (by input, by this supervisor, or with its monitor); else
    // the first failure's status: a run's own exit status, or 128 + the signal that killed it.
    int status() const { return status_; }
    size_t runs() const { return children.size(); }

private:
    struct Child {
        std::string monitorName;
        pid_t pid = -1;
        bool monitorGone = false;
        bool endedOnRequest = false; // this supervisor asked it to end
        bool pictureTaken = false;
    };

    void childEnded(pid_t pid, int waitStatus,
                    const std::function<bool(const std::string& id)>& monitorStillThere,
                    bool& over);
    void pictureTaken();
    void releasePictures();
    void endAll();
    void release();

    std::vector<std::string> runArguments;
    std::map<std::string, Child> children; // by monitor id
    ChildSignals signals;
    int wakeFd_ = -1;            // an epoll set of the three below
    int pictureTimer = -1;       // how long the runs may take for their pictures
    int readyPipe[2] = {-1, -1}; // a byte from each run once it has its picture
    int goPipe[2] = {-1, -1};    // closed when every run may show
    int status_ = 0;
};

// In a process started as one monitor's run: takes over the supervisor's channel (it stays out of
// the process's own children). Harmless elsewhere.
void joinRunSupervisor();
// In a monitor's run, before its first window shows: tells the supervisor that this run has its
// picture and waits until every run has, or the supervisor lets them go all the same. Returns at
// once outside a supervised run and after the first call.
void waitForEveryPicture();
