// One output's run (WaylandOutputRun): the connection, the form on the output and the message
// loop. The loop draws a frame when the compositor asks for one (a frame callback) and otherwise
// sleeps in poll() on the connection, so a switched-off output, which asks for nothing, costs no
// processor time.
#include "platform/wayland/wayland_output_run.h"

#include "platform/dbus/desktop_pictures.h"
#include "platform/exception.h"
#include "platform/message_loop.h"
#include "platform/posix/run_supervisor.h"
#include "platform/wayland/wayland_capture.h"
#include "platform/wayland/wayland_connection.h"
#include "platform/wayland/wayland_output_window.h"

#include <wayland-client.h>

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace {

// What the desktop's services need to know of an output; the layout is theirs to find.
DesktopMonitor desktopMonitorOf(const WaylandOutput& output) {
    DesktopMonitor monitor;
    monitor.connector = output.name;
    monitor.x = output.x;
    monitor.y = output.y;
    monitor.pixelWidth = output.pixelWidth;
    monitor.pixelHeight = output.pixelHeight;
    return monitor;
}

class WaylandApplication : public Application {
public:
    WaylandApplication(WaylandConnection& connection, WaylandOutputWindow& window)
        : connection(connection), window(window) {}

    void setTitle(const std::string&) override {}

    void setIdleHandler(std::function<void(bool& done)> handler, int) override {
        // The pace is the compositor's: frames come when it asks for them.
        loop.setIdleHandler(std::move(handler), 0);
        waitForEvent = false;
    }

    void clearIdleHandler() override { loop.clearIdleHandler(); }

    void terminate() override { loop.terminate(); }

    void run() override {
        try {
            if (!loop.terminated())
                window.show();
            while (!loop.terminated() && !window.isClosed()) {
                if (loop.hasIdleHandler() && window.frameDue() && !waitForEvent) {
                    waitForEvent = !loop.callIdleHandler();
                    connection.dispatch(0); // input between frames
                } else {
                    connection.dispatch(window.msUntilStopTimer());
                    waitForEvent = false;
                }
                window.checkStopTimer();
            }
        } catch (...) {
            // The compositor went away or broke the connection: the run ends as if closed.
            std::fprintf(stderr, "kelvara: %s\n", currentExceptionMessage().c_str());
            window.close();
        }
    }

private:
    WaylandConnection& connection;
    WaylandOutputWindow& window;
    MessageLoop loop;
    bool waitForEvent = false;
};

class OutputRun;
OutputRun* current = nullptr;

class OutputRun : public WaylandOutputRun {
public:
    explicit OutputRun(uint32_t outputName) : outputName(outputName) {
        WaylandOutput* output = connection.findOutput(outputName);
        if (output == nullptr || !output->described)
            throw Exception("The Wayland compositor has no output " + std::to_string(outputName));
        width = output->pixelWidth;
        height = output->pixelHeight;
        window = std::make_unique<WaylandOutputWindow>(connection, *output);
        app = std::make_unique<WaylandApplication>(connection, *window);
        current = this;
    }

    ~OutputRun() override {
        current = nullptr;
        app.reset();
        window.reset();
    }

    Application& application() override { return *app; }
    FormView& form() override { return *window; }

    Bitmap captureOutput() override {
        Bitmap picture;
        std::string why;
        WaylandOutput* output = connection.findOutput(outputName);
        if (output == nullptr)
            why = "it has gone";
        else if (captureWaylandOutput(connection, *output, picture, why))
            return picture;
        else if (std::string desktopWhy;
                 captureDesktopMonitor(desktopMonitorOf(*output), picture, desktopWhy))
            return picture; // the desktop's own services, where the compositor has no copy
        else
            why += "; " + desktopWhy;
        std::fprintf(stderr,
                     "kelvara: cannot read the picture of output %s: %s; showing a "
                     "neutral picture instead\n",
                     window->outputName().c_str(), why.c_str());
        return neutralDesktopPicture(window->width(), window->height());
    }

    int width = 0; // the output's, in pixels
    int height = 0;

private:
    WaylandConnection connection;
    uint32_t outputName;
    std::unique_ptr<WaylandOutputWindow> window;
    std::unique_ptr<WaylandApplication> app;
};

} // namespace

bool waylandSessionAvailable() {
    const char* name = std::getenv("WAYLAND_DISPLAY");
    if (name == nullptr || name[0] == '\0')
        return false;
    wl_display* display = wl_display_connect(nullptr);
    if (display == nullptr)
        return false;
    wl_display_disconnect(display);
    return true;
}

std::unique_ptr<WaylandOutputRun> openWaylandOutputRun(uint32_t output) {
    joinRunSupervisor();
    return std::make_unique<OutputRun>(output);
}

WaylandOutputRun* processOutputRun() {
    return current;
}

int processOutputWidth() {
    return current != nullptr ? current->width : 0;
}

int processOutputHeight() {
    return current != nullptr ? current->height : 0;
}
