#include "platform/posix/run_supervisor.h"

#include "platform/deadline.h"
#include "platform/exception.h"
#include "platform/posix/program_start.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/timerfd.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// How long the runs have to end after SIGTERM before they are killed: they end at once on it.
constexpr int endGraceMs = 2000;
// How long the runs together may take for their pictures before they show all the same: a
// desktop's capture service that never answers must not keep the screen uncovered for long.
constexpr int pictureWaitSeconds = 20;
// A desktop that announces more monitors than any desk has gets runs on the first ones only.
constexpr size_t maxRuns = 16;
// The environment variable that hands a run its end of the supervisor's channel: "READY GO".
constexpr const char* channelVariable = "KELVARA_MONITOR_RUN_CHANNEL";

void closeFd(int& fd) {
    if (fd >= 0)
        close(fd);
    fd = -1;
}

void watch(int epoll, int fd) {
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = fd;
    epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &event);
}

// The run's end of the channel, in this process (a monitor's run).
int runReadyFd = -1;
int runGoFd = -1;

} // namespace

RunSupervisor::RunSupervisor(std::vector<std::string> arguments)
    : runArguments(std::move(arguments)) {
    pictureTimer = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
    wakeFd_ = epoll_create1(EPOLL_CLOEXEC);
    // The runs inherit their ends; this process keeps its own out of every other child.
    const bool piped =
        pipe2(readyPipe, O_CLOEXEC | O_NONBLOCK) == 0 && pipe2(goPipe, O_CLOEXEC) == 0;
    if (pictureTimer < 0 || wakeFd_ < 0 || !piped) {
        const std::string why = std::strerror(errno);
        release(); // no destructor runs for an object whose construction threw
        throw Exception("Cannot watch the runs: " + why);
    }
    watch(wakeFd_, signals.fd());
    watch(wakeFd_, readyPipe[0]);
    watch(wakeFd_, pictureTimer);
}

RunSupervisor::~RunSupervisor() {
    endAll();
    release();
}

void RunSupervisor::release() {
    for (int* fd : {&pictureTimer, &wakeFd_, &readyPipe[0], &readyPipe[1], &goPipe[0], &goPipe[1]})
        closeFd(*fd);
}

bool RunSupervisor::start(const Monitor& monitor) {
    if (children.count(monitor.id) != 0)
        return true;
    if (children.size() >= maxRuns) {
        std::fprintf(stderr, "kelvara: monitor %s is left uncovered: %zu runs at once at most\n",
                     monitor.name.c_str(), maxRuns);
        return false;
    }
    std::vector<std::string> words = {"kelvara", monitorRunSwitch, monitor.id};
    words.insert(words.end(), runArguments.begin(), runArguments.end());
    // The channel's ends, for the run to inherit.
    const bool pictureWait = goPipe[1] >= 0;
    const int ready = pictureWait ? fcntl(readyPipe[1], F_DUPFD, 3) : -1;
    const int go = pictureWait ? fcntl(goPipe[0], F_DUPFD, 3) : -1;
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry)
        if (std::strncmp(*entry, channelVariable, std::strlen(channelVariable)) != 0)
            environment.emplace_back(*entry);
    if (pictureWait)
        environment.push_back(std::string(channelVariable) + "=" + std::to_string(ready) + " " +
                              std::to_string(go));
    const pid_t pid = startThisProgram(std::move(words), &environment);
    const int startError = errno;
    if (ready >= 0)
        close(ready);
    if (go >= 0)
        close(go);
    if (pid < 0) {
        std::fprintf(stderr, "kelvara: cannot start the run on monitor %s: %s\n",
                     monitor.name.c_str(), std::strerror(startError));
        return false;
    }
    Child child;
    child.monitorName = monitor.name;
    child.pid = pid;
    children[monitor.id] = child;
    if (pictureWait && children.size() == 1) {
        itimerspec limit{};
        limit.it_value.tv_sec = pictureWaitSeconds;
        timerfd_settime(pictureTimer, 0, &limit, nullptr);
    }
    return true;
}

void RunSupervisor::monitorGone(const std::string& id) {
    auto it = children.find(id);
    if (it == children.end())
        return;
    it->second.monitorGone = true;
    kill(it->second.pid, SIGTERM);
}

bool RunSupervisor::handleWake(
    const std::function<bool(const std::string& id)>& monitorStillThere) {
    pictureTaken();
    uint64_t expirations = 0;
    if (read(pictureTimer, &expirations, sizeof expirations) > 0 && goPipe[1] >= 0) {
        std::fprintf(stderr, "kelvara: not every run had its picture within %d s; all show now\n",
                     pictureWaitSeconds);
        releasePictures();
    }
    bool runEnded = false;
    if (signals.drain(&runEnded)) {
        endAll();
        return true;
    }
    if (!runEnded)
        return false;
    bool over = false;
    int waitStatus = 0;
    pid_t pid = 0;
    while (!over && (pid = waitpid(-1, &waitStatus, WNOHANG)) > 0)
        childEnded(pid, waitStatus, monitorStillThere, over);
    if (over) {
        endAll();
        return true;
    }
    if (goPipe[1] >= 0)
        pictureTaken(); // a run that ended without its picture waits for nothing any more
    return false;
}

void RunSupervisor::childEnded(pid_t pid, int waitStatus,
                               const std::function<bool(const std::string& id)>& monitorStillThere,
                               bool& over) {
    auto it = children.begin();
    while (it != children.end() && it->second.pid != pid)
        ++it;
    if (it == children.end())
        return;
    const std::string id = it->first;
    const Child child = it->second;
    children.erase(it);
    if (child.monitorGone || child.endedOnRequest)
        return;
    // It may have ended because its monitor went, before this process heard of it.
    if (!monitorStillThere(id))
        return;
    if (WIFSIGNALED(waitStatus)) {
        std::fprintf(stderr, "kelvara: the run on monitor %s ended by signal %d\n",
                     child.monitorName.c_str(), WTERMSIG(waitStatus));
        if (status_ == 0)
            status_ = 128 + WTERMSIG(waitStatus);
    } else if (WIFEXITED(waitStatus) && WEXITSTATUS(waitStatus) != 0 && status_ == 0) {
        status_ = WEXITSTATUS(waitStatus);
    }
    over = true;
}

void RunSupervisor::pictureTaken() {
    pid_t pid = 0;
    while (read(readyPipe[0], &pid, sizeof pid) == static_cast<ssize_t>(sizeof pid))
        for (auto& [id, child] : children)
            if (child.pid == pid)
                child.pictureTaken = true;
    if (goPipe[1] < 0)
        return;
    for (const auto& [id, child] : children)
        if (!child.pictureTaken)
            return;
    if (!children.empty())
        releasePictures();
}

void RunSupervisor::releasePictures() {
    // Every run reads the end of the pipe at once; a run that comes later waits for nothing.
    closeFd(goPipe[1]);
    closeFd(goPipe[0]);
    itimerspec off{};
    timerfd_settime(pictureTimer, 0, &off, nullptr);
}

void RunSupervisor::runUntilOver() {
    const auto always = [](const std::string&) { return true; };
    while (!children.empty()) {
        pollfd wake{wakeFd_, POLLIN, 0};
        if (poll(&wake, 1, -1) < 0 && errno != EINTR)
            break;
        if (handleWake(always))
            return;
    }
}

void RunSupervisor::endAll() {
    for (auto& [id, child] : children) {
        child.endedOnRequest = true;
        kill(child.pid, SIGTERM);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(endGraceMs);
    while (!children.empty()) {
        int waitStatus = 0;
        const pid_t pid = waitpid(-1, &waitStatus, WNOHANG);
        if (pid > 0) {
            for (auto it = children.begin(); it != children.end(); ++it)
                if (it->second.pid == pid) {
                    children.erase(it);
                    break;
                }
            continue;
        }
        if (pid < 0 && errno == ECHILD) {
            children.clear();
            break;
        }
        const int left = millisecondsUntil(deadline);
        if (left == 0) {
            for (auto& [id, child] : children) {
                kill(child.pid, SIGKILL);
                waitpid(child.pid, &waitStatus, 0);
            }
            children.clear();
            break;
        }
        // A run's end wakes it (SIGCHLD).
        pollfd wake{signals.fd(), POLLIN, 0};
        poll(&wake, 1, left);
        signals.drain();
    }
}

void joinRunSupervisor() {
    const char* channel = std::getenv(channelVariable);
    if (channel == nullptr)
        return;
    int ready = -1, go = -1;
    if (std::sscanf(channel, "%d %d", &ready, &go) == 2 && ready > 2 && go > 2 &&
        fcntl(ready, F_SETFD, FD_CLOEXEC) == 0 && fcntl(go, F_SETFD, FD_CLOEXEC) == 0) {
        runReadyFd = ready;
        runGoFd = go;
    }
    unsetenv(channelVariable);
}

void waitForEveryPicture() {
    if (runReadyFd < 0)
        return;
    const pid_t self = getpid();
    (void)!write(runReadyFd, &self, sizeof self);
    closeFd(runReadyFd);
    // The supervisor closes its end when every run may show; its own limit bounds this wait,
    // and this one bounds it should the supervisor hang.
    // A signal that cuts the wait short only lets the window show sooner.
    pollfd go{runGoFd, POLLIN, 0};
    poll(&go, 1, (pictureWaitSeconds + 5) * 1000);
    closeFd(runGoFd);
}
