// The program's services on a Wayland desktop: the sizes a Wayland run draws at instead of the
// X server's display modes (also for the settings dialog, which runs through XWayland, so that
// the stored choice means what the run does); and, in one output's run, that output's picture,
// a start-up that switches no mode, and errors on standard error, where no one answers a box.
#pragma once

#include "shell/system_services.h"

class WaylandOutputRun;

class WaylandServices : public SystemServices {
public:
    // run is the output's run, or nullptr for the settings dialog.
    WaylandServices(Application& application, WaylandOutputRun* run);

    bool enumDisplayMode(int index, DisplayMode& mode) override;
    Bitmap captureScreen() override;
    void showError(const std::string& message) override;
    int initGraphics(GLV** view, FormWindow& form, const SaverRequirements& requirements,
                     DisplayMode& mode, int32_t* performance, bool ignoreRequirements) override;
    void shutdownGraphics(GLV* view) override;

private:
    WaylandOutputRun* run;
};
