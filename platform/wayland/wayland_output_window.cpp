#include "platform/wayland/wayland_output_window.h"

#include "platform/deadline.h"
#include "platform/error_display.h"
#include "platform/exception.h"
#include "platform/posix/run_supervisor.h"
#include "platform/startup_trace.h"
#include "platform/wayland/egl_surface.h"
#include "platform/wayland/wayland_text.h"

#include "viewporter-client-protocol.h"
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"
#include <wayland-client.h>

#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

// A compositor that never answers the new surface leaves nothing to draw on.
constexpr int configureTimeoutMs = 10000;
constexpr int stopTimerMs = 30000;

WaylandOutputWindow& windowOf(void* data) {
    return *static_cast<WaylandOutputWindow*>(data);
}

void layerConfigure(void* data, zwlr_layer_surface_v1* layer, uint32_t serial, uint32_t width,
                    uint32_t height) {
    zwlr_layer_surface_v1_ack_configure(layer, serial);
    windowOf(data).configured(static_cast<int>(width), static_cast<int>(height));
}

void layerClosed(void* data, zwlr_layer_surface_v1*) {
    windowOf(data).close();
}

const zwlr_layer_surface_v1_listener layerListener = {layerConfigure, layerClosed};

void xdgSurfaceConfigure(void* data, xdg_surface* surface, uint32_t serial) {
    xdg_surface_ack_configure(surface, serial);
    windowOf(data).toplevelConfigured();
}

const xdg_surface_listener xdgSurfaceListener = {xdgSurfaceConfigure};

void toplevelConfigure(void* data, xdg_toplevel*, int32_t width, int32_t height, wl_array*) {
    windowOf(data).toplevelSized(static_cast<int>(width), static_cast<int>(height));
}

void toplevelClose(void* data, xdg_toplevel*) {
    windowOf(data).close();
}

void toplevelBounds(void*, xdg_toplevel*, int32_t, int32_t) {}

void toplevelCapabilities(void*, xdg_toplevel*, wl_array*) {}

xdg_toplevel_listener makeToplevelListener() {
    xdg_toplevel_listener listener{};
    listener.configure = toplevelConfigure;
    listener.close = toplevelClose;
    listener.configure_bounds = toplevelBounds;
    listener.wm_capabilities = toplevelCapabilities;
    return listener;
}
const xdg_toplevel_listener toplevelListener = makeToplevelListener();

void frameDone(void* data, wl_callback* callback, uint32_t) {
    wl_callback_destroy(callback);
    windowOf(data).frameDone();
}

const wl_callback_listener frameListener = {frameDone};

// Input: every event that may end the run goes through the window's SeatInputRules; the rest
// is kept out of the way (the keymap's file descriptor is closed at once).
void keyboardKeymap(void*, wl_keyboard*, uint32_t, int32_t fd, uint32_t) {
    close(fd);
}
void keyboardEnter(void* data, wl_keyboard*, uint32_t, wl_surface*, wl_array* keys) {
    windowOf(data).keyboardEntered(keys);
}
void keyboardLeave(void* data, wl_keyboard*, uint32_t, wl_surface*) {
    windowOf(data).keyboardLeft();
}
void keyboardKey(void* data, wl_keyboard*, uint32_t, uint32_t, uint32_t key, uint32_t state) {
    windowOf(data).keyChanged(key, state == WL_KEYBOARD_KEY_STATE_PRESSED);
}
void keyboardModifiers(void*, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {}
void keyboardRepeat(void*, wl_keyboard*, int32_t, int32_t) {}

wl_keyboard_listener makeKeyboardListener() {
    wl_keyboard_listener listener{};
    listener.keymap = keyboardKeymap;
    listener.enter = keyboardEnter;
    listener.leave = keyboardLeave;
    listener.key = keyboardKey;
    listener.modifiers = keyboardModifiers;
    listener.repeat_info = keyboardRepeat;
    return listener;
}
const wl_keyboard_listener keyboardListener = makeKeyboardListener();

void pointerEnter(void* data, wl_pointer* pointer, uint32_t serial, wl_surface*, wl_fixed_t x,
                  wl_fixed_t y) {
    windowOf(data).pointerEntered(pointer, serial, x, y);
}
void pointerLeave(void*, wl_pointer*, uint32_t, wl_surface*) {}
void pointerMotion(void* data, wl_pointer*, uint32_t, wl_fixed_t x, wl_fixed_t y) {
    windowOf(data).pointerMoved(x, y);
}
void pointerButton(void* data, wl_pointer*, uint32_t, uint32_t, uint32_t, uint32_t state) {
    windowOf(data).buttonChanged(state == WL_POINTER_BUTTON_STATE_PRESSED);
}
void pointerAxis(void* data, wl_pointer*, uint32_t, uint32_t, wl_fixed_t) {
    windowOf(data).axisMoved();
}
void pointerFrame(void*, wl_pointer*) {}
void pointerAxisSource(void*, wl_pointer*, uint32_t) {}
void pointerAxisStop(void*, wl_pointer*, uint32_t, uint32_t) {}
void pointerAxisDiscrete(void*, wl_pointer*, uint32_t, int32_t) {}

// Filled member by member: a newer library adds events that this one leaves unset.
wl_pointer_listener makePointerListener() {
    wl_pointer_listener listener{};
    listener.enter = pointerEnter;
    listener.leave = pointerLeave;
    listener.motion = pointerMotion;
    listener.button = pointerButton;
    listener.axis = pointerAxis;
    listener.frame = pointerFrame;
    listener.axis_source = pointerAxisSource;
    listener.axis_stop = pointerAxisStop;
    listener.axis_discrete = pointerAxisDiscrete;
    return listener;
}
const wl_pointer_listener pointerListener = makePointerListener();

void touchDown(void* data, wl_touch*, uint32_t, uint32_t, wl_surface*, int32_t, wl_fixed_t,
               wl_fixed_t) {
    windowOf(data).touchedDown();
}
void touchUp(void*, wl_touch*, uint32_t, uint32_t, int32_t) {}
void touchMotion(void*, wl_touch*, uint32_t, int32_t, wl_fixed_t, wl_fixed_t) {}
void touchFrame(void*, wl_touch*) {}
void touchCancel(void*, wl_touch*) {}

wl_touch_listener makeTouchListener() {
    wl_touch_listener listener{};
    listener.down = touchDown;
    listener.up = touchUp;
    listener.motion = touchMotion;
    listener.frame = touchFrame;
    listener.cancel = touchCancel;
    return listener;
}
const wl_touch_listener touchListener = makeTouchListener();

} // namespace

WaylandOutputWindow::WaylandOutputWindow(WaylandConnection& connection, WaylandOutput& output)
    : connection(connection), output(&output), name(output.name) {
    setStartupTraceMonitor(name);
    const WaylandGlobals& g = connection.globals;
    if (g.compositor == nullptr || g.shm == nullptr || (!g.layerShell && !g.wmBase))
        throw Exception("The Wayland compositor offers no way to cover an output");
    // Until the start-up sets a size of its own: the output's, pixel for pixel.
    drawWidth = output.pixelWidth > 0 ? output.pixelWidth : 1024;
    drawHeight = output.pixelHeight > 0 ? output.pixelHeight : 768;
    connection.outputRemoved = [this](WaylandOutput& gone) { outputRemoved(gone); };
    connection.seatChanged = [this] { followSeat(); };
    followSeat();
}

WaylandOutputWindow::~WaylandOutputWindow() {
    connection.outputRemoved = nullptr;
    connection.seatChanged = nullptr;
    if (pointer != nullptr)
        wl_pointer_destroy(pointer);
    if (keyboard != nullptr)
        wl_keyboard_destroy(keyboard);
    if (touch != nullptr)
        wl_touch_destroy(touch);
    if (frameCallback != nullptr)
        wl_callback_destroy(frameCallback);
    if (viewport != nullptr)
        wp_viewport_destroy(viewport);
    if (layerSurface != nullptr)
        zwlr_layer_surface_v1_destroy(layerSurface);
    if (toplevel != nullptr)
        xdg_toplevel_destroy(toplevel);
    if (xdgSurface != nullptr)
        xdg_surface_destroy(xdgSurface);
    if (surface != nullptr)
        wl_surface_destroy(surface);
    cover.reset();
    log.reset();
    wl_display_flush(connection.display);
}

NativeWindow WaylandOutputWindow::nativeWindow() {
    return NativeWindow{connection.display, reinterpret_cast<uintptr_t>(surface)};
}

void WaylandOutputWindow::setSize(int width, int height) {
    if (width < 1 || height < 1)
        return;
    // Without a viewport the compositor cannot scale: the run draws at the surface's size.
    if (viewport == nullptr && configuredOnce)
        return;
    const bool changed = width != drawWidth || height != drawHeight;
    drawWidth = width;
    drawHeight = height;
    if (changed && resizeHandler)
        resizeHandler();
}

void WaylandOutputWindow::setResizeHandler(std::function<void()> handler) {
    resizeHandler = std::move(handler);
}

void WaylandOutputWindow::processPendingMessages() {
    try {
        connection.dispatch(0);
    } catch (const Exception& e) {
        std::fprintf(stderr, "kelvara: %s\n", e.message.c_str());
        close();
    }
}

WaylandOutputWindow* WaylandOutputWindow::ofSurface(wl_surface* of) {
    return of != nullptr ? static_cast<WaylandOutputWindow*>(wl_surface_get_user_data(of))
                         : nullptr;
}

std::unique_ptr<GlSurface>
WaylandOutputWindow::createGlSurface(const PixelFormatDescriptor& descriptor) {
    if (surface == nullptr)
        show();
    if (surface == nullptr)
        throw Exception("SetPixelFormat failed"); // closed before it could show
    return std::make_unique<EglSurface>(connection.display, surface, drawWidth, drawHeight,
                                        descriptor, [this] { requestFrame(); });
}

void WaylandOutputWindow::paintTexts(int width, int height, const std::vector<CanvasText>& texts) {
    if (surface == nullptr || closed)
        return;
    try {
        log = std::make_unique<WaylandShmBuffer>(connection.globals.shm, width, height, width * 4,
                                                 WL_SHM_FORMAT_XRGB8888);
        drawCanvasTexts(*log, texts);
        present(*log);
        inputRules.shown(); // the log stands for the frames a failed start never draws
    } catch (const Exception& e) {
        // The log went to standard error as well; the run goes on to its end as it would.
        std::fprintf(stderr, "kelvara: cannot show the start-up log: %s\n", e.message.c_str());
    }
}

void WaylandOutputWindow::setCaption(const std::string& text) {
    caption = text;
    if (toplevel != nullptr)
        xdg_toplevel_set_title(toplevel, caption.c_str());
}

void WaylandOutputWindow::show() {
    if (surface != nullptr || closed)
        return;
    if (output == nullptr)
        throw Exception("The output " + name + " has gone");
    // No other run's picture may hold this surface.
    waitForEveryPicture();
    const WaylandGlobals& g = connection.globals;
    surface = wl_compositor_create_surface(g.compositor);
    // The window system finds the window from its surface (nativeWindow's handle).
    wl_surface_set_user_data(surface, this);
    if (g.viewporter != nullptr)
        viewport = wp_viewporter_get_viewport(g.viewporter, surface);
    if (g.layerShell != nullptr) {
        layerSurface = zwlr_layer_shell_v1_get_layer_surface(
            g.layerShell, surface, output->output, ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY, "kelvara");
        zwlr_layer_surface_v1_add_listener(layerSurface, &layerListener, this);
        zwlr_layer_surface_v1_set_anchor(layerSurface, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP |
                                                           ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                                                           ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT |
                                                           ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
        zwlr_layer_surface_v1_set_exclusive_zone(layerSurface, -1);
        zwlr_layer_surface_v1_set_keyboard_interactivity(
            layerSurface, ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_EXCLUSIVE);
    } else {
        xdgSurface = xdg_wm_base_get_xdg_surface(g.wmBase, surface);
        xdg_surface_add_listener(xdgSurface, &xdgSurfaceListener, this);
        toplevel = xdg_surface_get_toplevel(xdgSurface);
        xdg_toplevel_add_listener(toplevel, &toplevelListener, this);
        xdg_toplevel_set_title(toplevel, caption.c_str());
        xdg_toplevel_set_app_id(toplevel, "kelvara");
        xdg_toplevel_set_fullscreen(toplevel, output->output);
    }
    wl_surface_commit(surface);

    if (!connection.dispatchUntil([this] { return configuredOnce || closed; }, configureTimeoutMs))
        throw Exception("The Wayland compositor did not place the window on output " + name);
    if (closed)
        return;

    // Black until the first frame, as a window's background would be: one pixel, scaled.
    const bool scaled = viewport != nullptr;
    cover = std::make_unique<WaylandShmBuffer>(
        g.shm, scaled ? 1 : configuredWidth, scaled ? 1 : configuredHeight,
        (scaled ? 1 : configuredWidth) * 4, WL_SHM_FORMAT_XRGB8888);
    for (int y = 0; y < cover->height; ++y)
        std::memset(cover->row(y), 0, static_cast<size_t>(cover->width) * 4);
    present(*cover);
}

void WaylandOutputWindow::present(WaylandShmBuffer& picture) {
    if (viewport != nullptr)
        wp_viewport_set_destination(viewport, configuredWidth, configuredHeight);
    wl_surface_attach(surface, picture.buffer, 0, 0);
    wl_surface_damage_buffer(surface, 0, 0, picture.width, picture.height);
    wl_surface_commit(surface);
    wl_display_flush(connection.display);
}

void WaylandOutputWindow::hide() {
    if (surface == nullptr)
        return;
    wl_surface_attach(surface, nullptr, 0, 0);
    wl_surface_commit(surface);
    wl_display_flush(connection.display);
}

void WaylandOutputWindow::makePreviewChild(uintptr_t) {
    throw Exception("The preview runs in an X window; on Wayland it is not offered");
}

void WaylandOutputWindow::close() {
    if (closed)
        return;
    closed = true;
    if (events != nullptr)
        events->FormDestroy();
}

void WaylandOutputWindow::enableStopTimer() {
    stopArmed = true;
    stopAt = std::chrono::steady_clock::now() + std::chrono::milliseconds(stopTimerMs);
}

int WaylandOutputWindow::msUntilStopTimer() const {
    return stopArmed ? millisecondsUntil(stopAt) : -1;
}

void WaylandOutputWindow::checkStopTimer() {
    if (stopArmed && msUntilStopTimer() == 0) {
        stopArmed = false;
        deliver(&FormEvents::stopTimer);
    }
}

void WaylandOutputWindow::configured(int width, int height) {
    // A size of 0 leaves it to us: the output's.
    if (width <= 0 || height <= 0) {
        width = output != nullptr && output->pixelWidth > 0 ? output->pixelWidth : drawWidth;
        height = output != nullptr && output->pixelHeight > 0 ? output->pixelHeight : drawHeight;
    }
    const bool first = !configuredOnce;
    configuredOnce = true;
    if (width == configuredWidth && height == configuredHeight)
        return;
    configuredWidth = width;
    configuredHeight = height;
    if (viewport != nullptr) {
        wp_viewport_set_destination(viewport, configuredWidth, configuredHeight);
    } else if (!first || drawWidth != width || drawHeight != height) {
        drawWidth = width;
        drawHeight = height;
        if (resizeHandler)
            resizeHandler();
    }
}

void WaylandOutputWindow::requestFrame() {
    if (surface == nullptr)
        return;
    if (frameCallback != nullptr)
        wl_callback_destroy(frameCallback);
    frameCallback = wl_surface_frame(surface);
    wl_callback_add_listener(frameCallback, &frameListener, this);
    frameWanted = false;
}

void WaylandOutputWindow::frameDone() {
    frameCallback = nullptr;
    frameWanted = true;
    const bool first = !firstFrameShown;
    firstFrameShown = true;
    inputRules.shown();
    // When this output showed its first frame, beside the start-up's own trace (which names
    // the output, as the form's own frame-rate lines do).
    if (first)
        traceStartup("first frame shown");
}

void WaylandOutputWindow::deliver(void (FormEvents::*handler)()) {
    if (events == nullptr || closed)
        return;
    runGuarded([&] { (events->*handler)(); });
}

void WaylandOutputWindow::take(SeatInputRules::Input input) {
    switch (input) {
    case SeatInputRules::Input::key:
        deliver(&FormEvents::FormKeyDown);
        break;
    case SeatInputRules::Input::button:
        deliver(&FormEvents::FormMouseDown);
        break;
    case SeatInputRules::Input::motion:
        deliver(&FormEvents::FormMouseMove);
        break;
    case SeatInputRules::Input::none:
        break;
    }
}

void WaylandOutputWindow::keyboardEntered(const wl_array* keys) {
    // The compositor's array, read as the whole key codes it holds and no further.
    const size_t count = keys != nullptr ? keys->size / sizeof(uint32_t) : 0;
    take(inputRules.keyboardEntered(count > 0 ? static_cast<const uint32_t*>(keys->data) : nullptr,
                                    count));
}

void WaylandOutputWindow::pointerEntered(wl_pointer* from, uint32_t serial, wl_fixed_t x,
                                         wl_fixed_t y) {
    wl_pointer_set_cursor(from, serial, nullptr, 0, 0); // no pointer over the run
    take(inputRules.pointerEntered(x, y));
}

void WaylandOutputWindow::followSeat() {
    const uint32_t capabilities = connection.globals.seatCapabilities;
    const bool hasPointer = (capabilities & WL_SEAT_CAPABILITY_POINTER) != 0;
    const bool hasKeyboard = (capabilities & WL_SEAT_CAPABILITY_KEYBOARD) != 0;
    const bool hasTouch = (capabilities & WL_SEAT_CAPABILITY_TOUCH) != 0;
    wl_seat* seat = connection.globals.seat;
    bool added = false;
    if (hasPointer && pointer == nullptr) {
        pointer = wl_seat_get_pointer(seat);
        wl_pointer_add_listener(pointer, &pointerListener, this);
        added = true;
    } else if (!hasPointer && pointer != nullptr) {
        wl_pointer_destroy(pointer);
        pointer = nullptr;
    }
    if (hasKeyboard && keyboard == nullptr) {
        keyboard = wl_seat_get_keyboard(seat);
        wl_keyboard_add_listener(keyboard, &keyboardListener, this);
        added = true;
    } else if (!hasKeyboard && keyboard != nullptr) {
        wl_keyboard_destroy(keyboard);
        keyboard = nullptr;
        inputRules.keyboardLeft();
    }
    if (hasTouch && touch == nullptr) {
        touch = wl_seat_get_touch(seat);
        wl_touch_add_listener(touch, &touchListener, this);
        added = true;
    } else if (!hasTouch && touch != nullptr) {
        wl_touch_destroy(touch);
        touch = nullptr;
    }
    // A device that comes may bring its first input with it, and a virtual keyboard may be
    // gone a few milliseconds later: asked for at once rather than with the next frame.
    if (added)
        wl_display_flush(connection.display);
}

void WaylandOutputWindow::outputRemoved(WaylandOutput& gone) {
    if (&gone != output)
        return;
    output = nullptr;
    close();
}
