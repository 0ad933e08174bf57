// The Win32 window system's list: the system's display modes, WGL, a GDI screen capture, the
// preview's painting into a host window, the native form, the PeekMessage loop and MessageBoxA.
#include "platform/window_system.h"

#include "platform/exception.h"
#include "platform/win32/win32_services.h"

namespace {

class Win32WindowSystem final : public WindowSystem {
public:
    bool serves(WindowSystemUse) const override { return true; }
    bool connect() override { return true; } // the desktop is always there

    std::vector<Monitor> monitors() override { return win32Monitors(); }
    bool runOnEveryMonitor(const std::vector<std::string>&, int&) override { return false; }
    std::unique_ptr<MonitorRun> openMonitorRun(const std::string& id, int, char**,
                                               const FormArt&) override {
        throw Exception("There is no monitor " + id);
    }

    bool enumDisplaySettings(int index, SystemDisplayMode& mode) override {
        return win32EnumDisplaySettings(index, mode);
    }
    int changeDisplaySettings(const SystemDisplayMode& mode) override {
        return win32ChangeDisplaySettings(mode);
    }
    void restoreDisplaySettings() override { win32RestoreDisplaySettings(); }
    bool runModeGuardian(int argc, char** argv, int& status) override {
        return runWin32ModeGuardian(argc, argv, status);
    }

    std::unique_ptr<GlSurface> createGlSurface(const NativeWindow& window, int width, int height,
                                               const PixelFormatDescriptor& descriptor) override {
        return createWglSurface(window, width, height, descriptor);
    }
    void* glProcAddress(const char* name) override { return wglProcAddress(name); }

    int screenWidth() override { return win32ScreenWidth(); }
    int screenHeight() override { return win32ScreenHeight(); }
    Bitmap captureScreen() override { return captureWin32Screen(); }

    std::unique_ptr<HostWindow> openHostWindow(uintptr_t window) override {
        return openWin32HostWindow(window);
    }
    void paintIntoWindow(uintptr_t window, const Bitmap& picture, int x, int y, int width,
                         int height) override {
        paintIntoWin32Window(window, picture, x, y, width, height);
    }

    std::unique_ptr<FormView> createFormView(const FormArt& art) override {
        return createWin32Form(art);
    }
    std::unique_ptr<Application> createApplication(int argc, char** argv) override {
        return createWin32Application(argc, argv);
    }
    void showError(const std::string& message) override { showWin32Error(message); }

    IdleWatch openIdleWatch(int) override {
        throw Exception("Windows starts screen savers itself: install kelvara.scr (right-click, "
                        "Install) and set its wait in the screen saver settings");
    }
};

} // namespace

WindowSystem& win32WindowSystem() {
    static Win32WindowSystem system;
    return system;
}
