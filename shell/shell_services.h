// Everything TForm1 asks of the system, the graphics start-up, the intro and the saver module,
// in one place, so that the form's logic runs in tests against a fake. The program's one real
// implementation forwards to the platform and the modules (system_services.h).
#pragma once

#include "platform/application.h"
#include "platform/bitmap.h"
#include "platform/display_mode.h"
#include "platform/form_window.h"
#include "platform/host_window.h"
#include "platform/registry.h"
#include "saver/saver.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class GLV;

class ShellServices {
public:
    virtual ~ShellServices() = default;

    // Process and system.
    virtual std::string executablePath() = 0;
    virtual void setCurrentDirectory(const std::string& path) = 0; // failure ignored
    virtual void setHighPriority() = 0;
    // Mode number index of the display; false when there are no more.
    virtual bool enumDisplayMode(int index, DisplayMode& mode) = 0;
    virtual Registry& registry() = 0;
    virtual Application& application() = 0;
    virtual Bitmap captureScreen() = 0;
    // A picture from the folder tree of the host's image settings, at least the desktop
    // picture's size where it is larger. Throws Exception when there is none to read.
    virtual Bitmap pictureFromFolder(const std::string& folder) = 0;
    virtual void paintIntoWindow(uintptr_t window, const Bitmap& picture, int x, int y, int width,
                                 int height) = 0;
    virtual void openUrl(const std::string& url) = 0;
    virtual void showError(const std::string& message) = 0;
    // Host mode's window: 0 is the root window. Throws Exception when there is no such window.
    virtual std::unique_ptr<HostWindow> openHostWindow(uintptr_t window) = 0;

    // Graphics start-up and teardown.
    virtual int initGraphics(std::unique_ptr<GLV>* view, FormWindow& form,
                             const SaverRequirements& requirements, DisplayMode& mode,
                             int32_t* performance, bool ignoreRequirements) = 0;
    // Destroys the view when there is one and gives the display its mode back.
    virtual void shutdownGraphics(std::unique_ptr<GLV> view) = 0;
    virtual std::string rendererName(GLV* view) = 0;
    // Every later frame of the view shows the frame rate in a corner.
    virtual void showFrameRate(GLV* view) = 0;

    // The intro.
    virtual void introSetup(GLV* view) = 0;
    virtual int introFrame() = 0;

    // The saver module and its run context.
    virtual std::string saverName() = 0;
    virtual bool saverNeedsDesktop() = 0;
    virtual bool saverHasSoundOption() = 0;
    virtual bool saverHasCustomization() = 0;
    virtual void saverRequirements(SaverRequirements& requirements) = 0;
    virtual void saverDefaultCustomization(std::vector<std::string>& lines) = 0;
    virtual void saverParseCustomization(const std::vector<std::string>& lines) = 0;
    virtual std::unique_ptr<Saver> buildSaver(Bitmap* desktop, GLV* view, int32_t performance) = 0;
    virtual void destroySaver(std::unique_ptr<Saver> saver) = 0;
    virtual void saverSetup(Saver& saver) = 0;
    virtual int saverFrame(Saver& saver) = 0;
};
