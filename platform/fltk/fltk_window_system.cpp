// The X11 window system's list, filled here at the top of its stack: RandR display modes with
// their guardian, GLX, the screen capture, saver hosts' windows and the preview's painting from
// platform/x11/, and FLTK's form, message loop and error box on the same X connection.
#include "platform/window_system.h"

#include "platform/fltk/fltk_services.h"
#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_services.h"

namespace {

class X11WindowSystem final : public WindowSystem {
public:
    bool serves(WindowSystemUse) const override { return true; }
    // $DISPLAY, or whatever Xlib takes without it.
    bool connect() override { return x11Display() != nullptr; }

    bool enumDisplaySettings(int index, SystemDisplayMode& mode) override {
        return x11EnumDisplaySettings(index, mode);
    }
    int changeDisplaySettings(const SystemDisplayMode& mode) override {
        return x11ChangeDisplaySettings(mode);
    }
    void restoreDisplaySettings() override { x11RestoreDisplaySettings(); }
    bool runModeGuardian(int argc, char** argv, int& status) override {
        return runX11ModeGuardian(argc, argv, status);
    }

    std::unique_ptr<GlSurface> createGlSurface(const NativeWindow& window, int width, int height,
                                               const PixelFormatDescriptor& descriptor) override {
        return createGlxSurface(window, width, height, descriptor);
    }
    void* glProcAddress(const char* name) override { return glxProcAddress(name); }

    int screenWidth() override { return x11ScreenWidth(); }
    int screenHeight() override { return x11ScreenHeight(); }
    Bitmap captureScreen() override { return captureX11Screen(); }

    std::unique_ptr<HostWindow> openHostWindow(uintptr_t window) override {
        return openX11HostWindow(window);
    }
    void paintIntoWindow(uintptr_t window, const Bitmap& picture, int x, int y, int width,
                         int height) override {
        paintIntoX11Window(window, picture, x, y, width, height);
    }

    std::unique_ptr<FormView> createFormView(const FormArt& art) override {
        return createFltkForm(art);
    }
    std::unique_ptr<Application> createApplication(int argc, char** argv) override {
        return createFltkApplication(argc, argv);
    }
    void showError(const std::string& message) override { showFltkError(message); }
};

} // namespace

WindowSystem& x11WindowSystem() {
    static X11WindowSystem system;
    return system;
}
