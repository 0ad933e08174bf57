// The Win32 window system's list: the display monitors, the system's display modes, WGL, a GDI
// screen capture, the preview's painting into a host window, the native form, the PeekMessage
// loop and MessageBoxA. The full-screen run over two monitors or more is a process per monitor
// (win32_monitor_runs.cpp); over one it is this process, as it always was.
#include "platform/window_system.h"

#include "platform/exception.h"
#include "platform/startup_trace.h"
#include "platform/win32/win32_services.h"

namespace {

// One monitor's run: the message loop and the form, the form over that monitor.
class Win32MonitorRun final : public MonitorRun {
public:
    Win32MonitorRun(int argc, char** argv, const FormArt& art)
        : app(createWin32Application(argc, argv)), view(createWin32Form(art)) {}
    Application& application() override { return *app; }
    FormView& form() override { return *view; }

private:
    std::unique_ptr<Application> app;
    std::unique_ptr<FormView> view;
};

class Win32WindowSystem final : public WindowSystem {
public:
    bool serves(WindowSystemUse) const override { return true; }
    bool connect() override { return true; } // the desktop is always there

    std::vector<Monitor> monitors() override { return win32Monitors(); }
    bool runOnEveryMonitor(const std::vector<std::string>& args, int& status) override {
        return runWin32MonitorRuns(args, status);
    }
    std::unique_ptr<MonitorRun> openMonitorRun(const std::string& id, int argc, char** argv,
                                               const FormArt& art) override {
        monitorRun = true; // from here on its errors show as a monitor's run shows them
        joinWin32MonitorRuns();
        selectWin32RunMonitor(id);
        setStartupTraceMonitor(id);
        return std::make_unique<Win32MonitorRun>(argc, argv, art);
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
    void showError(const std::string& message) override {
        if (monitorRun) {
            showMonitorRunError(message);
            reportWin32RunFailure();
            return;
        }
        showWin32Error(message);
    }

    IdleWatch openIdleWatch(int) override {
        throw Exception("Windows starts screen savers itself: install kelvara.scr (right-click, "
                        "Install) and set its wait in the screen saver settings");
    }

private:
    bool monitorRun = false;
};

} // namespace

WindowSystem& win32WindowSystem() {
    static Win32WindowSystem system;
    return system;
}
