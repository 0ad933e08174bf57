// The full-screen run on Wayland (runWaylandSupervisor). The intro and the mosaic keep their
// state once per process, so every output gets a process of its own: this one holds the
// instance lock, watches the outputs on its own connection, starts the program again for each
// output and ends the runs together. It sleeps in poll() on the connection and a signalfd.
#include "platform/wayland_session.h"

#include "platform/exception.h"
#include "platform/wayland/wayland_connection.h"

#include <wayland-client.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <map>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// How long the runs have to end after SIGTERM before they are killed: they end at once on it.
constexpr int endGraceMs = 2000;
// A compositor that announces more outputs than any desk has gets runs on the first ones only.
constexpr size_t maxRuns = 16;

struct OutputChild {
    pid_t pid = -1;
    std::string outputName;
    bool outputGone = false; // its output went away: its end ends nothing else
};

class Supervisor {
public:
    explicit Supervisor(const std::vector<std::string>& runArguments) : runArguments(runArguments) {
        sigset_t signals;
        sigemptyset(&signals);
        for (int s : {SIGCHLD, SIGTERM, SIGINT, SIGHUP})
            sigaddset(&signals, s);
        sigprocmask(SIG_BLOCK, &signals, &previousMask);
        signalFd = signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK);
        if (signalFd < 0)
            throw Exception(std::string("Cannot watch signals: ") + std::strerror(errno));
    }

    ~Supervisor() {
        endAll();
        close(signalFd);
        sigprocmask(SIG_SETMASK, &previousMask, nullptr);
    }

    Supervisor(const Supervisor&) = delete;
    Supervisor& operator=(const Supervisor&) = delete;

    int run() {
        WaylandConnection connection;
        connection.outputAdded = [this](WaylandOutput& output) { start(output); };
        connection.outputRemoved = [this](WaylandOutput& output) { removed(output); };
        for (auto& output : connection.globals.outputs)
            if (output->described)
                start(*output);
        try {
            while (true) {
                if (connection.dispatch(-1, signalFd) && handleSignals(connection))
                    return 0;
            }
        } catch (const Exception& e) {
            std::fprintf(stderr, "kelvara: %s\n", e.message.c_str());
        }
        return 0;
    }

private:
    void start(WaylandOutput& output) {
        if (children.count(output.globalName) != 0)
            return;
        if (children.size() >= maxRuns) {
            std::fprintf(stderr, "kelvara: output %s is left uncovered: %zu runs at once at most\n",
                         output.name.c_str(), maxRuns);
            return;
        }
        std::vector<std::string> words = {"kelvara", waylandOutputSwitch,
                                          std::to_string(output.globalName)};
        words.insert(words.end(), runArguments.begin(), runArguments.end());
        std::vector<char*> argv;
        for (std::string& word : words)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        const pid_t parent = getpid();
        const pid_t pid = fork();
        if (pid == 0) {
            // Only async-signal-safe calls between fork and exec.
            sigprocmask(SIG_SETMASK, &previousMask, nullptr);
            // A supervisor killed outright must not leave its outputs covered.
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (getppid() != parent)
                _exit(0);
            execv("/proc/self/exe", argv.data());
            _exit(127);
        }
        if (pid < 0) {
            std::fprintf(stderr, "kelvara: cannot start the run on output %s: %s\n",
                         output.name.c_str(), std::strerror(errno));
            return;
        }
        children[output.globalName] = OutputChild{pid, output.name, false};
    }

    void removed(WaylandOutput& output) {
        auto it = children.find(output.globalName);
        if (it == children.end())
            return;
        it->second.outputGone = true;
        kill(it->second.pid, SIGTERM);
    }

    // True when the whole run is over.
    bool handleSignals(WaylandConnection& connection) {
        signalfd_siginfo info{};
        bool childEnded = false;
        while (read(signalFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
            if (info.ssi_signo == SIGCHLD) {
                childEnded = true;
            } else {
                endAll();
                return true;
            }
        }
        if (!childEnded)
            return false;
        int status = 0;
        pid_t pid = 0;
        while ((pid = waitpid(-1, &status, WNOHANG)) > 0) {
            auto it = children.begin();
            while (it != children.end() && it->second.pid != pid)
                ++it;
            if (it == children.end())
                continue;
            const OutputChild child = it->second;
            const uint32_t outputName = it->first;
            children.erase(it);
            if (child.outputGone)
                continue;
            // It may have ended because its output went: the compositor closes the surface
            // before this connection hears of the removal, which a roundtrip brings.
            connection.roundtrip();
            if (connection.findOutput(outputName) == nullptr)
                continue;
            if (WIFSIGNALED(status))
                std::fprintf(stderr, "kelvara: the run on output %s ended by signal %d\n",
                             child.outputName.c_str(), WTERMSIG(status));
            endAll();
            return true;
        }
        return false;
    }

    void endAll() {
        for (auto& [name, child] : children)
            kill(child.pid, SIGTERM);
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(endGraceMs);
        while (!children.empty()) {
            int status = 0;
            const pid_t pid = waitpid(-1, &status, WNOHANG);
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
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  deadline - std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0) {
                for (auto& [name, child] : children) {
                    kill(child.pid, SIGKILL);
                    waitpid(child.pid, &status, 0);
                }
                children.clear();
                break;
            }
            pollfd wake{signalFd, POLLIN, 0};
            poll(&wake, 1, static_cast<int>(left < 50 ? left : 50));
            signalfd_siginfo info{};
            while (read(signalFd, &info, sizeof info) > 0) {
            }
        }
    }

    std::vector<std::string> runArguments;
    std::map<uint32_t, OutputChild> children; // by the output's registry name
    sigset_t previousMask{};
    int signalFd = -1;
};

} // namespace

int runWaylandSupervisor(const std::vector<std::string>& runArguments) {
    Supervisor supervisor(runArguments);
    return supervisor.run();
}
