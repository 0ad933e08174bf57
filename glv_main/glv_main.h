// The OpenGL view of the full-screen run and the start-up that switches the display mode,
// creates the view and checks the machine.
#pragma once

#include "platform/display_mode.h"
#include "platform/form_window.h"
#include "saver/saver.h"

#include <memory>
#include <string>
#include <vector>

class GlSurface; // the platform's context on a window (platform/gl_surface.h)
class FrameRateOverlay;

class GLV {
public:
    enum Flags { doubleBuffer = 1, stencil = 2 };

    // Creates the context on the control's window and makes it current; throws Exception
    // ("SetPixelFormat failed", "wglCreateContext failed", "wglMakeCurrent failed").
    GLV(FormWindow& control, int flags);
    // A view without window or context, for code that only reads its fields.
    GLV();
    ~GLV();
    GLV(const GLV&) = delete;
    GLV& operator=(const GLV&) = delete;

    void Resize();
    // Presents the frame; with the frame rate shown, draws it over the frame first.
    int Swap();
    // From now on every frame shows the frame rate in its bottom-left corner.
    void showFrameRate();

    std::string renderer;
    std::string version;
    std::string vendor;
    std::vector<std::string> extensionNames;
    FormWindow* control = nullptr;
    std::unique_ptr<GlSurface> surface; // stands for the device and rendering contexts
    int32_t fieldOfView = 50;
    int32_t farDistance = 100;
    std::unique_ptr<FrameRateOverlay> frameRate; // only while the rate is shown
};

// Switches the display mode, creates the view (stored in *view at once), runs the checks and
// writes the start-up log, painted onto the form only when a check fails. Returns 1 when
// every check passed. Throws only "Selected resolution not found!" and
// "Change resolution failed!". With ignoreRequirements a value below its minimum is still
// measured and logged (in the warning colour and on standard error) but does not stop the start.
int InitGraphics(std::unique_ptr<GLV>* view, FormWindow& form,
                 const SaverRequirements& requirements, DisplayMode& mode, int32_t* performance,
                 bool ignoreRequirements = false);

// Destroys the view when there is one and returns the display to its stored mode.
void ShutdownGraphics(std::unique_ptr<GLV> view);
