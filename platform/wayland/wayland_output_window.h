// The form of one output's run on Wayland (FormView): a surface that covers the output, on the
// overlay layer of the layer shell, or as a fullscreen xdg_toplevel where the compositor has no
// layer shell; drawn at the run's own size and scaled to the output by wp_viewporter; the seat's
// keys, buttons, touches and motions, as SeatInputRules reads them, reported as the form's input;
// frames paced by frame callbacks.
#pragma once

#include "platform/form_view.h"
#include "platform/gl_surface.h"
#include "platform/wayland/seat_input_rules.h"
#include "platform/wayland/wayland_connection.h"
#include "platform/wayland/wayland_shm_buffer.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>
#include <wayland-util.h>

struct wl_callback;
struct wl_keyboard;
struct wl_pointer;
struct wl_surface;
struct wl_touch;
struct wp_viewport;
struct xdg_surface;
struct xdg_toplevel;
struct zwlr_layer_surface_v1;

class WaylandOutputWindow : public FormView {
public:
    WaylandOutputWindow(WaylandConnection& connection, WaylandOutput& output);
    ~WaylandOutputWindow() override;
    WaylandOutputWindow(const WaylandOutputWindow&) = delete;
    WaylandOutputWindow& operator=(const WaylandOutputWindow&) = delete;

    // --- for the message loop
    bool isClosed() const { return closed; }
    // Whether the compositor asked for the next frame (or none was drawn yet).
    bool frameDue() const { return frameWanted; }
    // Milliseconds until the stop timer fires; -1 when it is not armed.
    int msUntilStopTimer() const;
    // Fires the stop timer when its time has come.
    void checkStopTimer();
    const std::string& outputName() const { return name; }
    // The window whose surface this is; nullptr for any other surface.
    static WaylandOutputWindow* ofSurface(wl_surface* surface);

    // --- FormWindow
    NativeWindow nativeWindow() override;
    int width() const override { return drawWidth; }
    int height() const override { return drawHeight; }
    int clientWidth() const override { return drawWidth; }
    int clientHeight() const override { return drawHeight; }
    // The size the run draws at; the compositor scales it to the output.
    void setSize(int width, int height) override;
    void setResizeHandler(std::function<void()> handler) override;
    void processPendingMessages() override;
    void paintTexts(int width, int height, const std::vector<CanvasText>& texts) override;
    // The EGL surface on it at the drawing size, its frames paced by this window.
    std::unique_ptr<GlSurface> createGlSurface(const PixelFormatDescriptor& descriptor);

    // --- FormView
    void setEvents(FormEvents* events) override { this->events = events; }
    void setCaption(const std::string& caption) override;
    void show() override;
    void hide() override;
    void makeFullScreen() override {} // it covers its output from the start
    void makePreviewChild(uintptr_t hostWindow) override;
    void keepHidden() override {}
    void setHeight(int) override {}
    void focus() override {}
    void bringToForeground() override {}
    void hideOwnerWindow() override {}
    void close() override;
    void resAdd(const std::string& text) override { resTexts.push_back(text); }
    int resCount() const override { return static_cast<int>(resTexts.size()); }
    int resSelectedIndex() const override { return resIndex; }
    void resSelect(int index) override { resIndex = index; }
    bool soundChecked() const override { return sound; }
    void setSoundChecked(bool checked) override { sound = checked; }
    void setSoundVisible(bool) override {}
    std::vector<std::string> customLines() const override { return lines; }
    void setCustomLines(const std::vector<std::string>& newLines) override { lines = newLines; }
    void setCustomBoxVisible(bool) override {}
    void setPanel1Visible(bool) override {}
    void enableStopTimer() override;
    const Bitmap& logo() const override { return noLogo; }

    // --- from the listeners
    void configured(int width, int height);
    // An xdg_toplevel's size comes before its surface's configure, which applies it.
    void toplevelSized(int width, int height) {
        toplevelWidth = width;
        toplevelHeight = height;
    }
    void toplevelConfigured() { configured(toplevelWidth, toplevelHeight); }
    void frameDone();
    void keyboardEntered(const wl_array* keys);
    void keyboardLeft() { inputRules.keyboardLeft(); }
    void keyChanged(uint32_t key, bool pressed) { take(inputRules.key(key, pressed)); }
    void buttonChanged(bool pressed) { take(inputRules.button(pressed)); }
    void axisMoved() { take(inputRules.axis()); }
    void touchedDown() { take(inputRules.touchDown()); }
    void pointerMoved(wl_fixed_t x, wl_fixed_t y) { take(inputRules.pointerMoved(x, y)); }
    void pointerEntered(wl_pointer* pointer, uint32_t serial, wl_fixed_t x, wl_fixed_t y);

private:
    void deliver(void (FormEvents::*handler)());
    // Reports what the input rules made of a seat event.
    void take(SeatInputRules::Input input);
    void requestFrame();
    void present(WaylandShmBuffer& picture);
    void outputRemoved(WaylandOutput& gone);
    void followSeat();

    WaylandConnection& connection;
    WaylandOutput* output; // nullptr once the output has gone
    std::string name;
    FormEvents* events = nullptr;

    wl_surface* surface = nullptr;
    wp_viewport* viewport = nullptr;
    zwlr_layer_surface_v1* layerSurface = nullptr;
    xdg_surface* xdgSurface = nullptr;
    xdg_toplevel* toplevel = nullptr;
    wl_callback* frameCallback = nullptr;
    wl_pointer* pointer = nullptr;
    wl_keyboard* keyboard = nullptr;
    wl_touch* touch = nullptr;
    std::unique_ptr<WaylandShmBuffer> cover; // what shows until the first frame
    std::unique_ptr<WaylandShmBuffer> log;   // the start-up log, when a check failed
    std::string caption = "Kelvara";

    bool configuredOnce = false;
    int configuredWidth = 0; // the surface's size on the output, in the compositor's units
    int configuredHeight = 0;
    int toplevelWidth = 0; // the last size an xdg_toplevel was given, until it is applied
    int toplevelHeight = 0;
    int drawWidth = 0;
    int drawHeight = 0;
    bool frameWanted = true;
    bool firstFrameShown = false;
    SeatInputRules inputRules;
    bool closed = false;
    bool stopArmed = false;
    std::chrono::steady_clock::time_point stopAt;
    std::function<void()> resizeHandler;

    std::vector<std::string> resTexts;
    int resIndex = 0;
    bool sound = true;
    std::vector<std::string> lines;
    Bitmap noLogo;
};
