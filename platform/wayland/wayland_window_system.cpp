// The Wayland window system's list. It serves the full-screen run, one process per output (the
// supervisor of wayland_supervisor.cpp starts them, also for a single output): EGL on the output's
// surface, that output's picture, sizes that switch nothing (the compositor scales the stored size
// to the output) and errors on standard error. The settings dialog runs through XWayland, on X11's
// form, loop and error box, but lists the sizes the Wayland run draws at, so that the stored choice
// means what the run does. Another program's window ("/p", "--root", "--window-id") is X11's alone.
// The idle watcher gets GNOME's idle monitor, else the compositor's idle notification, and the
// lock from the buses (platform/dbus/).
#include "platform/window_system.h"

#include "platform/dbus/desktop_lock.h"
#include "platform/dbus/mutter_idle_monitor.h"
#include "platform/exception.h"
#include "platform/host_window.h"
#include "platform/wayland/wayland_idle_notify.h"
#include "platform/wayland/wayland_output_run.h"
#include "platform/wayland/wayland_output_window.h"

#include <EGL/egl.h>

#include <cstdlib>

namespace {

class WaylandWindowSystem final : public WindowSystem {
    bool outputRunProcess = false; // this process is one output's run

public:
    // Only in a session that names a Wayland display: without one, X11 answers (and reports).
    bool serves(WindowSystemUse use) const override {
        const char* display = std::getenv("WAYLAND_DISPLAY");
        return use != WindowSystemUse::otherWindow && display != nullptr && display[0] != '\0';
    }
    // $WAYLAND_DISPLAY, and a compositor there that answers.
    bool connect() override { return processOutputRun() != nullptr || waylandSessionAvailable(); }

    std::vector<Monitor> monitors() override { return waylandMonitors(); }
    bool runOnEveryMonitor(const std::vector<std::string>& args, int& status) override {
        return runOnEveryWaylandOutput(args, status);
    }
    std::unique_ptr<MonitorRun> openMonitorRun(const std::string& id, int, char**,
                                               const FormArt&) override {
        outputRunProcess = true; // its errors go to standard error from now on, also these
        if (id.empty() || id.find_first_not_of("0123456789") != std::string::npos || id.size() > 9)
            throw Exception("No Wayland output has the name \"" + id + "\"");
        const auto output = static_cast<uint32_t>(std::stoul(id));
        std::unique_ptr<WaylandOutputRun> run = openWaylandOutputRun(output);
        // Nothing to give back on Wayland (no mode was switched): a signal ends it on the spot.
        endAtOnceOnTermination();
        return run;
    }

    bool enumDisplaySettings(int index, SystemDisplayMode& mode) override {
        return waylandDisplayMode(index, mode);
    }
    // The form draws at the mode's size from now on (the start-up's setSize); nothing else changes.
    int changeDisplaySettings(const SystemDisplayMode&) override { return 0; }
    void restoreDisplaySettings() override {}
    bool runModeGuardian(int, char**, int&) override { return false; }

    std::unique_ptr<GlSurface> createGlSurface(const NativeWindow& window, int, int,
                                               const PixelFormatDescriptor& descriptor) override {
        WaylandOutputWindow* owner =
            WaylandOutputWindow::ofSurface(reinterpret_cast<wl_surface*>(window.handle));
        if (owner == nullptr)
            throw Exception("SetPixelFormat failed");
        return owner->createGlSurface(descriptor);
    }
    void* glProcAddress(const char* name) override {
        return reinterpret_cast<void*>(eglGetProcAddress(name));
    }

    int screenWidth() override { return processOutputWidth(); }
    int screenHeight() override { return processOutputHeight(); }
    Bitmap captureScreen() override {
        if (processOutputRun() == nullptr)
            throw Exception("Cannot read the screen: no output of this run");
        return processOutputRun()->captureOutput();
    }

    std::unique_ptr<HostWindow> openHostWindow(uintptr_t) override {
        throw Exception("--root and --window-id are for X11 saver hosts");
    }
    void paintIntoWindow(uintptr_t, const Bitmap&, int, int, int, int) override {}

    // The output run has its own form and loop; these are the dialog's, through XWayland.
    std::unique_ptr<FormView> createFormView(const FormArt& art) override {
        return x11WindowSystem().createFormView(art);
    }
    std::unique_ptr<Application> createApplication(int argc, char** argv) override {
        return x11WindowSystem().createApplication(argc, argv);
    }
    // No one answers a box over a screen saver: standard error is the supervisor's.
    void showError(const std::string& message) override {
        if (!outputRunProcess) {
            x11WindowSystem().showError(message);
            return;
        }
        showMonitorRunError(message);
    }

    // GNOME offers its idle time over D-Bus alone; the others through the idle protocol.
    IdleWatch openIdleWatch(int seconds) override {
        IdleWatch watch;
        watch.idle = openMutterIdleMonitor(seconds);
        if (!watch.idle)
            watch.idle = openWaylandIdleNotification(seconds);
        watch.lock = openDesktopLock();
        return watch;
    }
};

} // namespace

WindowSystem& waylandWindowSystem() {
    static WaylandWindowSystem system;
    return system;
}
