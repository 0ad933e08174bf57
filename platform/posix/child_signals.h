// The signals of a process that starts children and waits for them (the full-screen run's
// supervisor, the idle watcher): SIGCHLD and the stop signals SIGTERM, SIGINT and SIGHUP,
// blocked and read from a descriptor, whatever this process inherited. A launcher may leave
// SIGCHLD ignored (which survives exec: the children would be reaped unseen) or a stop signal
// ignored (signalfd never sees an ignored signal).
#pragma once

#include <csignal>

class ChildSignals {
public:
    // Throws Exception when the signals cannot be read from a descriptor.
    ChildSignals();
    ~ChildSignals(); // the signal mask as it was
    ChildSignals(const ChildSignals&) = delete;
    ChildSignals& operator=(const ChildSignals&) = delete;

    // Readable when a signal has come.
    int fd() const { return signalFd; }
    // Reads every signal that has come: true when a stop signal was among them; childEnded,
    // where given, says whether SIGCHLD was.
    bool drain(bool* childEnded = nullptr);

private:
    sigset_t previousMask{};
    int signalFd = -1;
};
