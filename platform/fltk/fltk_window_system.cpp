// The X11 window system's list, filled here at the top of its stack: RandR's monitors, display
// modes with their guardian, GLX, the screen capture, saver hosts' windows and the preview's
// painting from platform/x11/, and FLTK's form, message loop and error box on the same X
// connection; for the idle watcher, GNOME's idle monitor or the server's idle time, and the lock
// from the buses (platform/dbus/). The full-screen run over two monitors or more is a process per
// monitor (platform/posix/run_supervisor.h); over one it is this process, as it always was.
#include "platform/window_system.h"

#include "platform/dbus/desktop_lock.h"
#include "platform/dbus/mutter_idle_monitor.h"
#include "platform/fltk/fltk_services.h"
#include "platform/posix/run_supervisor.h"
#include "platform/startup_trace.h"
#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_idle_time.h"
#include "platform/x11/x11_monitors.h"
#include "platform/x11/x11_services.h"

#include <cstdio>

namespace {

// One monitor's run: FLTK's loop and form, the form over that monitor.
class X11MonitorRun final : public MonitorRun {
public:
    X11MonitorRun(int argc, char** argv, const FormArt& art)
        : app(createFltkApplication(argc, argv)), view(createFltkForm(art)) {}
    Application& application() override { return *app; }
    FormView& form() override { return *view; }

private:
    std::unique_ptr<Application> app;
    std::unique_ptr<FormView> view;
};

class X11WindowSystem final : public WindowSystem {
public:
    bool serves(WindowSystemUse) const override { return true; }
    // $DISPLAY, or whatever Xlib takes without it.
    bool connect() override { return x11Display() != nullptr; }

    std::vector<Monitor> monitors() override { return x11Monitors(); }
    // Under one monitor the run is this process. (Monitors that come during the run stay
    // uncovered: the primary's own mode switch changes the list as well.)
    bool runOnEveryMonitor(const std::vector<std::string>& args, int& status) override {
        const std::vector<Monitor> all = x11Monitors();
        if (all.size() < 2)
            return false;
        RunSupervisor runs(args);
        for (const Monitor& monitor : all)
            runs.start(monitor);
        if (runs.runs() == 0) {
            std::fputs("kelvara: no monitor's run could start; this one covers the screen\n",
                       stderr);
            return false;
        }
        runs.runUntilOver();
        status = runs.status();
        return true;
    }
    std::unique_ptr<MonitorRun> openMonitorRun(const std::string& id, int argc, char** argv,
                                               const FormArt& art) override {
        joinRunSupervisor();
        selectX11RunMonitor(id);
        setStartupTraceMonitor(id);
        return std::make_unique<X11MonitorRun>(argc, argv, art);
    }

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
    void showError(const std::string& message) override {
        if (x11IsMonitorRun())
            showMonitorRunError(message);
        else
            showFltkError(message);
    }

    // XScreenSaver starts its savers itself. GNOME's own count knows the session's idle
    // inhibitors; elsewhere the server's count is all there is.
    IdleWatch openIdleWatch(int seconds) override {
        refuseUnderXScreenSaver();
        IdleWatch watch;
        watch.idle = openMutterIdleMonitor(seconds);
        if (!watch.idle)
            watch.idle = openX11IdleTime(seconds);
        watch.lock = openDesktopLock();
        return watch;
    }
};

} // namespace

WindowSystem& x11WindowSystem() {
    static X11WindowSystem system;
    return system;
}
