#include "platform/posix/child_signals.h"

#include "platform/exception.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <sys/signalfd.h>
#include <unistd.h>

ChildSignals::ChildSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    for (int s : {SIGCHLD, SIGTERM, SIGINT, SIGHUP})
        sigaddset(&signals, s);
    // Blocked first, so that a stop signal in between waits for the descriptor instead of
    // ending this process with its children unreaped.
    sigprocmask(SIG_BLOCK, &signals, &previousMask);
    struct sigaction plain {};
    plain.sa_handler = SIG_DFL;
    sigemptyset(&plain.sa_mask);
    for (int s : {SIGCHLD, SIGTERM, SIGINT, SIGHUP})
        sigaction(s, &plain, nullptr);
    signalFd = signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK);
    if (signalFd < 0) {
        const std::string why = std::strerror(errno);
        sigprocmask(SIG_SETMASK, &previousMask, nullptr);
        throw Exception("Cannot watch for signals: " + why);
    }
}

ChildSignals::~ChildSignals() {
    close(signalFd);
    sigprocmask(SIG_SETMASK, &previousMask, nullptr);
}

bool ChildSignals::drain(bool* childEnded) {
    signalfd_siginfo info{};
    bool stop = false;
    while (read(signalFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        if (info.ssi_signo == SIGCHLD) {
            if (childEnded != nullptr)
                *childEnded = true;
        } else {
            stop = true;
        }
    }
    return stop;
}
