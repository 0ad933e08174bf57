// The process's one Wayland connection and its record of globals: the interfaces the back end
// binds, and one record per output, made and dropped as the compositor announces and removes
// them (the registry's global and global_remove).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct wl_compositor;
struct wl_display;
struct wl_output;
struct wl_registry;
struct wl_seat;
struct wl_shm;
struct wp_viewporter;
struct xdg_wm_base;
struct zwlr_layer_shell_v1;
struct zwlr_screencopy_manager_v1;
struct ext_image_copy_capture_manager_v1;
struct ext_output_image_capture_source_manager_v1;

struct WaylandOutput {
    wl_output* output = nullptr;
    uint32_t globalName = 0; // the registry's name, the same for every client of the compositor
    std::string name;        // the connector's name (wl_output 4), else "output <globalName>"
    int x = 0;               // its place in the compositor's space
    int y = 0;
    int pixelWidth = 0; // the current mode, turned as the output is
    int pixelHeight = 0;
    bool described = false; // its first "done" came

    // What its events gather until "done".
    class WaylandConnection* connection = nullptr;
    int32_t transform = 0;
    int32_t modeWidth = 0;
    int32_t modeHeight = 0;
};

struct WaylandGlobals {
    wl_compositor* compositor = nullptr;
    wl_shm* shm = nullptr;
    wl_seat* seat = nullptr;
    uint32_t seatCapabilities = 0; // the seat's last word on them (wl_seat's capabilities)
    wp_viewporter* viewporter = nullptr;
    zwlr_layer_shell_v1* layerShell = nullptr;
    xdg_wm_base* wmBase = nullptr;
    zwlr_screencopy_manager_v1* screencopy = nullptr;
    ext_output_image_capture_source_manager_v1* outputCaptureSources = nullptr;
    ext_image_copy_capture_manager_v1* imageCopyCapture = nullptr;
    std::vector<std::unique_ptr<WaylandOutput>> outputs;
};

class WaylandConnection {
public:
    // Connects to $WAYLAND_DISPLAY and learns the globals and the outputs; throws Exception
    // when there is no compositor there.
    WaylandConnection();
    ~WaylandConnection();
    WaylandConnection(const WaylandConnection&) = delete;
    WaylandConnection& operator=(const WaylandConnection&) = delete;

    // Sends what is queued and handles every answer to it; throws Exception when the
    // connection has broken.
    void roundtrip();
    // Waits at most timeoutMs (-1: no limit) for events and handles them; also wakes for
    // extraFd when it is not -1. Returns whether extraFd became readable. Throws Exception
    // when the connection has broken.
    bool dispatch(int timeoutMs, int extraFd = -1);
    // Handles events until done() holds; false when timeoutMs pass first. Throws Exception
    // when the connection has broken.
    bool dispatchUntil(const std::function<bool()>& done, int timeoutMs);

    WaylandOutput* findOutput(uint32_t globalName);

    wl_display* display = nullptr;
    wl_registry* registry = nullptr;
    WaylandGlobals globals;
    // Told after an output's first description, and before its record goes.
    std::function<void(WaylandOutput&)> outputAdded;
    std::function<void(WaylandOutput&)> outputRemoved;
    // Told when the seat gains or loses its pointer or keyboard.
    std::function<void()> seatChanged;

    // The registry's listener.
    void global(uint32_t name, const char* interface, uint32_t version);
    void globalRemove(uint32_t name);

private:
    // Releases what this holds of the compositor's and closes the connection; once.
    void disconnect();
    // Sends what is queued; false when the socket is full and some is left to send.
    bool flush();
    // Handles what has arrived without waiting.
    void dispatchPending();
    void throwIfBroken();
};
