// The process entry: the instance lock, the window system, the application and the one form.
#include "platform/application.h"
#include "platform/ascii_text.h"
#include "platform/exception.h"
#include "platform/form_view.h"
#include "platform/host_window.h"
#include "platform/idle_watch.h"
#include "platform/process.h"
#include "platform/window_system.h"
#include "shell/command_line.h"
#include "shell/form_art.h"
#include "shell/system_services.h"
#include "shell/tform1.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

std::vector<std::string> arguments(int argc, char** argv) {
    // Where the system hands over one command-line string, the C runtime splits it by other
    // rules than the system's own switches expect: split it here instead.
    if (const std::optional<std::string> line = commandLineText()) {
        std::vector<std::string> args = splitCommandLine(*line);
        if (!args.empty()) {
            args.erase(args.begin()); // the program itself
        }
        return args;
    }
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

WindowSystemUse windowSystemUseOf(RunMode mode) {
    switch (mode) {
    case RunMode::settings:
        return WindowSystemUse::settings;
    case RunMode::preview:
    case RunMode::host:
        return WindowSystemUse::otherWindow;
    case RunMode::fullScreen:
    case RunMode::none:
        break;
    }
    return WindowSystemUse::fullScreen;
}

// One monitor's run, started by the back end's full-screen run over every monitor:
// "--monitor-run ID" and then the run's own arguments. It takes no lock (the one that started it
// holds it). Its errors show as the back end shows them there (standard error, shared by the
// runs), and its exit status tells the one that started it how it went.
int runOneMonitor(int argc, char** argv, const std::vector<std::string>& args) {
    WindowSystem& windows = chooseWindowSystem(WindowSystemUse::fullScreen);
    try {
        const std::string id = args.size() > 1 ? args[1] : std::string();
        const std::vector<std::string> runArgs(args.begin() + (args.size() > 1 ? 2 : 1),
                                               args.end());
        std::unique_ptr<MonitorRun> run = windows.openMonitorRun(id, argc, argv, storedFormArt());
        run->application().setTitle("Kelvara");
        {
            SystemServices services(windows, run->application());
            TForm1 form(run->form(), services, runArgs);
            run->application().run();
        }
        return run->errorShown ? 1 : 0;
    } catch (...) {
        windows.showError(currentExceptionMessage());
        return 1;
    }
}

} // namespace

int main(int argc, char** argv) {
#ifndef _WIN32
    // Runs of several monitors share standard error: a line goes out in one write, so that
    // theirs never cut into each other. (Windows' C library takes line buffering for full
    // buffering, which would hold the lines back.)
    static char errorBuffer[4096];
    std::setvbuf(stderr, errorBuffer, _IOLBF, sizeof errorBuffer);
#endif
    if (int status = 0; runDisplayModeGuardian(argc, argv, status)) {
        return status;
    }
    const std::vector<std::string> args = arguments(argc, argv);
    if (!args.empty() && asciiLower(args[0]) == "--help") {
        std::fputs(usageText().c_str(), stdout);
        return 0;
    }
    if (!args.empty() && asciiLower(args[0]) == "--version") {
        std::puts("kelvara " KELVARA_VERSION);
        return 0;
    }
    if (!args.empty() && asciiLower(args[0]) == idleSwitch) {
        return runIdleWatcher(args);
    }
    if (!args.empty() && args[0] == monitorRunSwitch) {
        return runOneMonitor(argc, argv, args);
    }
    // A saver host may run one of us per monitor, and ends each itself: host mode takes no
    // lock.
    const RunMode mode = runModeOf(args);
    const bool hosted = mode == RunMode::host;
    // Another run of the same kind is going on: end without a word.
    if (!hosted && !createInstanceLock(instanceLockName(args))) {
        return 0;
    }
    WindowSystem& windows = chooseWindowSystem(windowSystemUseOf(mode));
    // Every monitor gets a run of its own, where the window system makes one per monitor.
    if (mode == RunMode::fullScreen) {
        try {
            if (int status = 0; windows.runOnEveryMonitor(args, status)) {
                return status;
            }
        } catch (...) {
            std::fprintf(stderr, "kelvara: %s\n", currentExceptionMessage().c_str());
            return 1;
        }
    }

    // The application and the form outlive an error, so that its display has them still.
    std::unique_ptr<Application> application;
    std::unique_ptr<FormView> view;
    try {
        application = windows.createApplication(argc, argv);
        if (hosted) {
            endAtOnceOnTermination();
        }
        application->setTitle("Kelvara");
        view = windows.createFormView(storedFormArt());
        SystemServices services(windows, *application);
        TForm1 form(*view, services, args);
        application->run();
    } catch (...) {
        if (hosted) {
            // No box: the host runs us unattended; it logs what its savers write to stderr.
            std::fprintf(stderr, "kelvara: %s\n", currentExceptionMessage().c_str());
            return 1;
        }
        windows.showError(currentExceptionMessage());
    }
    return 0;
}
