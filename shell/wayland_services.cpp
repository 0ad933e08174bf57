#include "shell/wayland_services.h"

#include "glv_main/glv_main.h"
#include "glv_main/startup_steps.h"
#include "platform/error_display.h"
#include "platform/wayland_session.h"

#include <cstdio>

WaylandServices::WaylandServices(Application& application, WaylandOutputRun* run)
    : SystemServices(application), run(run) {}

bool WaylandServices::enumDisplayMode(int index, DisplayMode& mode) {
    SystemDisplayMode size;
    if (!waylandDisplayMode(index, size))
        return false;
    mode = size.mode;
    return true;
}

Bitmap WaylandServices::captureScreen() {
    return run != nullptr ? run->captureOutput() : SystemServices::captureScreen();
}

void WaylandServices::showError(const std::string& message) {
    if (run == nullptr) {
        SystemServices::showError(message);
        return;
    }
    std::fprintf(stderr, "kelvara: %s\n", errorDisplayText(message).c_str());
}

// The stored size is "set" by drawing at it: the start-up gives it to the form (setSize), and
// the compositor scales the surface to the output. Nothing is switched, so nothing is given back.
int WaylandServices::initGraphics(GLV** view, FormWindow& form,
                                  const SaverRequirements& requirements, DisplayMode& mode,
                                  int32_t* performance, bool ignoreRequirements) {
    StartupSteps steps = platformStartupSteps();
    steps.enumMode = waylandDisplayMode;
    steps.changeMode = [](const SystemDisplayMode&) { return 0; };
    StartupLog log;
    return runStartup(view, form, requirements, mode, performance, ignoreRequirements, steps, log);
}

void WaylandServices::shutdownGraphics(GLV* view) {
    delete view;
}
