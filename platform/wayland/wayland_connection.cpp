// The Wayland connection (WaylandConnection): the registry listener that binds the globals the
// back end uses and keeps one record per wl_output, and the event waits everything else runs on.
#include "platform/wayland/wayland_connection.h"
#include "platform/deadline.h"

#include "platform/exception.h"

#include "ext-image-capture-source-v1-client-protocol.h"
#include "ext-image-copy-capture-v1-client-protocol.h"
#include "viewporter-client-protocol.h"
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#include "wlr-screencopy-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"
#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <poll.h>

namespace {

template <class T>
T* bind(wl_registry* registry, uint32_t name, const wl_interface& interface, uint32_t offered,
        uint32_t wanted) {
    return static_cast<T*>(wl_registry_bind(registry, name, &interface, std::min(offered, wanted)));
}

// wl_output: the current mode and the transform give the size in pixels; "done" closes a
// description.
void outputGeometry(void* data, wl_output*, int32_t x, int32_t y, int32_t, int32_t, int32_t,
                    const char*, const char*, int32_t transform) {
    auto* output = static_cast<WaylandOutput*>(data);
    output->x = x;
    output->y = y;
    output->transform = transform;
}

void outputMode(void* data, wl_output*, uint32_t flags, int32_t width, int32_t height, int32_t) {
    if (flags & WL_OUTPUT_MODE_CURRENT) {
        auto* output = static_cast<WaylandOutput*>(data);
        output->modeWidth = width;
        output->modeHeight = height;
    }
}

void outputDone(void* data, wl_output*) {
    auto& output = *static_cast<WaylandOutput*>(data);
    const bool turned = output.transform == WL_OUTPUT_TRANSFORM_90 ||
                        output.transform == WL_OUTPUT_TRANSFORM_270 ||
                        output.transform == WL_OUTPUT_TRANSFORM_FLIPPED_90 ||
                        output.transform == WL_OUTPUT_TRANSFORM_FLIPPED_270;
    output.pixelWidth = turned ? output.modeHeight : output.modeWidth;
    output.pixelHeight = turned ? output.modeWidth : output.modeHeight;
    const bool first = !output.described;
    output.described = true;
    if (first && output.connection->outputAdded)
        output.connection->outputAdded(output);
}

void outputScale(void*, wl_output*, int32_t) {}

void outputName(void* data, wl_output*, const char* name) {
    static_cast<WaylandOutput*>(data)->name = name;
}

void outputDescription(void*, wl_output*, const char*) {}

const wl_output_listener outputListener = {outputGeometry, outputMode, outputDone,
                                           outputScale,    outputName, outputDescription};

void registryGlobal(void* data, wl_registry*, uint32_t name, const char* interface,
                    uint32_t version) {
    static_cast<WaylandConnection*>(data)->global(name, interface, version);
}

void registryGlobalRemove(void* data, wl_registry*, uint32_t name) {
    static_cast<WaylandConnection*>(data)->globalRemove(name);
}

const wl_registry_listener registryListener = {registryGlobal, registryGlobalRemove};

// The seat says what it has right after the bind, before anyone else could listen: kept here.
void seatCapabilities(void* data, wl_seat*, uint32_t capabilities) {
    auto& connection = *static_cast<WaylandConnection*>(data);
    connection.globals.seatCapabilities = capabilities;
    if (connection.seatChanged)
        connection.seatChanged();
}

void seatName(void*, wl_seat*, const char*) {}

const wl_seat_listener seatListener = {seatCapabilities, seatName};

void wmBasePing(void*, xdg_wm_base* base, uint32_t serial) {
    xdg_wm_base_pong(base, serial);
}

const xdg_wm_base_listener wmBaseListener = {wmBasePing};

void releaseOutput(WaylandOutput& output) {
    if (wl_proxy_get_version(reinterpret_cast<wl_proxy*>(output.output)) >=
        WL_OUTPUT_RELEASE_SINCE_VERSION)
        wl_output_release(output.output);
    else
        wl_output_destroy(output.output);
}

// WAYLAND_DISPLAY, or the default name the library connects to without it.
std::string waylandDisplayName() {
    const char* name = std::getenv("WAYLAND_DISPLAY");
    return name != nullptr && name[0] != '\0' ? name : "wayland-0";
}

} // namespace

WaylandConnection::WaylandConnection() {
    display = wl_display_connect(nullptr);
    if (display == nullptr)
        throw Exception("Cannot connect to the Wayland display \"" + waylandDisplayName() +
                        "\": " + std::strerror(errno));
    registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registryListener, this);
    try {
        roundtrip(); // the globals
        roundtrip(); // the outputs' descriptions
    } catch (...) {
        // The members are destroyed on the way out; what they hold of the compositor's is not.
        disconnect();
        throw;
    }
}

WaylandConnection::~WaylandConnection() {
    disconnect();
}

void WaylandConnection::disconnect() {
    if (display == nullptr)
        return;
    for (auto& output : globals.outputs)
        releaseOutput(*output);
    globals.outputs.clear();
    if (globals.imageCopyCapture)
        ext_image_copy_capture_manager_v1_destroy(globals.imageCopyCapture);
    if (globals.outputCaptureSources)
        ext_output_image_capture_source_manager_v1_destroy(globals.outputCaptureSources);
    if (globals.screencopy)
        zwlr_screencopy_manager_v1_destroy(globals.screencopy);
    if (globals.wmBase)
        xdg_wm_base_destroy(globals.wmBase);
    if (globals.layerShell)
        zwlr_layer_shell_v1_destroy(globals.layerShell);
    if (globals.viewporter)
        wp_viewporter_destroy(globals.viewporter);
    if (globals.seat)
        wl_seat_destroy(globals.seat);
    if (globals.shm)
        wl_shm_destroy(globals.shm);
    if (globals.compositor)
        wl_compositor_destroy(globals.compositor);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    display = nullptr;
}

void WaylandConnection::global(uint32_t name, const char* interface, uint32_t version) {
    const std::string_view kind = interface;
    WaylandGlobals& g = globals;
    if (kind == wl_compositor_interface.name && !g.compositor) {
        g.compositor = bind<wl_compositor>(registry, name, wl_compositor_interface, version, 4);
    } else if (kind == wl_shm_interface.name && !g.shm) {
        g.shm = bind<wl_shm>(registry, name, wl_shm_interface, version, 1);
    } else if (kind == wl_seat_interface.name && !g.seat) {
        g.seat = bind<wl_seat>(registry, name, wl_seat_interface, version, 5);
        wl_seat_add_listener(g.seat, &seatListener, this);
    } else if (kind == wp_viewporter_interface.name && !g.viewporter) {
        g.viewporter = bind<wp_viewporter>(registry, name, wp_viewporter_interface, version, 1);
    } else if (kind == zwlr_layer_shell_v1_interface.name && !g.layerShell) {
        g.layerShell =
            bind<zwlr_layer_shell_v1>(registry, name, zwlr_layer_shell_v1_interface, version, 4);
    } else if (kind == xdg_wm_base_interface.name && !g.wmBase) {
        g.wmBase = bind<xdg_wm_base>(registry, name, xdg_wm_base_interface, version, 2);
        xdg_wm_base_add_listener(g.wmBase, &wmBaseListener, nullptr);
    } else if (kind == zwlr_screencopy_manager_v1_interface.name && !g.screencopy) {
        g.screencopy = bind<zwlr_screencopy_manager_v1>(
            registry, name, zwlr_screencopy_manager_v1_interface, version, 3);
    } else if (kind == ext_output_image_capture_source_manager_v1_interface.name &&
               !g.outputCaptureSources) {
        g.outputCaptureSources = bind<ext_output_image_capture_source_manager_v1>(
            registry, name, ext_output_image_capture_source_manager_v1_interface, version, 1);
    } else if (kind == ext_image_copy_capture_manager_v1_interface.name && !g.imageCopyCapture) {
        g.imageCopyCapture = bind<ext_image_copy_capture_manager_v1>(
            registry, name, ext_image_copy_capture_manager_v1_interface, version, 1);
    } else if (kind == wl_output_interface.name) {
        auto record = std::make_unique<WaylandOutput>();
        record->globalName = name;
        record->name = "output " + std::to_string(name);
        record->output = bind<wl_output>(registry, name, wl_output_interface, version, 4);
        record->connection = this;
        wl_output_add_listener(record->output, &outputListener, record.get());
        g.outputs.push_back(std::move(record));
    }
}

void WaylandConnection::globalRemove(uint32_t name) {
    auto& outputs = globals.outputs;
    for (auto it = outputs.begin(); it != outputs.end(); ++it) {
        if ((*it)->globalName != name)
            continue;
        std::unique_ptr<WaylandOutput> gone = std::move(*it);
        outputs.erase(it);
        if (gone->described && outputRemoved)
            outputRemoved(*gone);
        releaseOutput(*gone);
        return;
    }
    // The other globals this back end binds stay for the session on the compositors it knows.
}

WaylandOutput* WaylandConnection::findOutput(uint32_t globalName) {
    for (auto& output : globals.outputs)
        if (output->globalName == globalName)
            return output.get();
    return nullptr;
}

void WaylandConnection::throwIfBroken() {
    const int error = wl_display_get_error(display);
    if (error == 0)
        return;
    uint32_t id = 0;
    const wl_interface* interface = nullptr;
    const uint32_t code = wl_display_get_protocol_error(display, &interface, &id);
    if (error == EPROTO && interface != nullptr)
        throw Exception(std::string("The Wayland compositor reported a protocol error on ") +
                        interface->name + " " + std::to_string(id) + ", code " +
                        std::to_string(code));
    throw Exception(std::string("The Wayland connection broke: ") + std::strerror(error));
}

void WaylandConnection::roundtrip() {
    if (wl_display_roundtrip(display) < 0)
        throwIfBroken();
    throwIfBroken();
}

bool WaylandConnection::flush() {
    // A full socket (EAGAIN) keeps the rest for later; any other failure shows on the display
    // and is thrown by the dispatch that follows.
    return wl_display_flush(display) >= 0 || errno != EAGAIN;
}

void WaylandConnection::dispatchPending() {
    if (wl_display_dispatch_pending(display) < 0)
        throwIfBroken();
}

bool WaylandConnection::dispatch(int timeoutMs, int extraFd) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (wl_display_prepare_read(display) != 0)
        dispatchPending();
    // What the socket cannot take yet is sent as soon as it has room, during the wait: a request
    // left unsent may be the one whose answer the wait is for.
    bool unsent = !flush();
    pollfd fds[2] = {{wl_display_get_fd(display), 0, 0}, {extraFd, POLLIN, 0}};
    int count = 0;
    while (true) {
        fds[0].events = static_cast<short>(POLLIN | (unsent ? POLLOUT : 0));
        const int wait = timeoutMs > 0 ? millisecondsUntil(deadline) : timeoutMs;
        count = poll(fds, extraFd >= 0 ? 2 : 1, wait);
        if (count > 0 && (fds[0].revents & POLLOUT))
            unsent = !flush();
        // Only room to send: the wait goes on for what it was for.
        const bool onlyWritable =
            count > 0 && fds[0].revents == POLLOUT && (extraFd < 0 || fds[1].revents == 0);
        if (!onlyWritable || (timeoutMs >= 0 && Clock::now() >= deadline))
            break;
    }
    if (count > 0 && (fds[0].revents & (POLLIN | POLLERR | POLLHUP))) {
        if (wl_display_read_events(display) < 0)
            throwIfBroken();
    } else {
        wl_display_cancel_read(display);
    }
    dispatchPending();
    throwIfBroken();
    return extraFd >= 0 && count > 0 && (fds[1].revents & (POLLIN | POLLERR | POLLHUP)) != 0;
}

bool WaylandConnection::dispatchUntil(const std::function<bool()>& done, int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        const int left = millisecondsUntil(deadline);
        if (left == 0)
            return false;
        dispatch(left);
    }
    return true;
}
