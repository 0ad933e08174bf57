#include "platform/window_system.h"

#include "platform/error_display.h"

#include <cstdio>

namespace {

// The back ends built in, in the order they are tried: one that needs a compositor's
// connection comes before X11, which serves every run.
std::span<WindowSystem* const> builtIn() {
    static WindowSystem* const systems[] = {
#ifdef KELVARA_WINDOW_SYSTEM_WAYLAND
        &waylandWindowSystem(),
#endif
#ifdef KELVARA_WINDOW_SYSTEM_X11
        &x11WindowSystem(),
#endif
#ifdef KELVARA_WINDOW_SYSTEM_WIN32
        &win32WindowSystem(),
#endif
    };
    return systems;
}

WindowSystem* chosen = nullptr;
MonitorRun* processRun = nullptr; // this process's monitor run, while there is one

} // namespace

WindowSystem& chooseWindowSystem(std::span<WindowSystem* const> candidates, WindowSystemUse use) {
    WindowSystem* serving = nullptr;
    for (WindowSystem* candidate : candidates) {
        if (!candidate->serves(use)) {
            continue;
        }
        if (candidate->connect()) {
            return *candidate;
        }
        if (serving == nullptr) {
            serving = candidate;
        }
    }
    return serving != nullptr ? *serving : *candidates.front();
}

WindowSystem& chooseWindowSystem(WindowSystemUse use) {
    chosen = &chooseWindowSystem(builtIn(), use);
    return *chosen;
}

WindowSystem& windowSystem() {
    return chosen != nullptr ? *chosen : chooseWindowSystem(WindowSystemUse::fullScreen);
}

bool runDisplayModeGuardian(int argc, char** argv, int& status) {
    for (WindowSystem* system : builtIn()) {
        if (system->runModeGuardian(argc, argv, status)) {
            return true;
        }
    }
    return false;
}

MonitorRun::MonitorRun() {
    processRun = this;
}

MonitorRun::~MonitorRun() {
    processRun = nullptr;
}

void showMonitorRunError(const std::string& message) {
    std::fprintf(stderr, "kelvara: %s\n", errorDisplayText(message).c_str());
    std::fflush(stderr);
    if (processRun != nullptr)
        processRun->errorShown = true;
}
