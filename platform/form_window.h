// What the full-screen run needs of the form's window: its size, a native handle for the GL
// context, one pass of the message pump, and painting of the start-up log. The back end's
// form implements it; tests use a fake.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The window's native identity. X11: the Display* and the Window id; Win32: the HWND in handle.
struct NativeWindow {
    void* display = nullptr;
    uintptr_t handle = 0;
};

// One piece of text on a canvas: top-left corner, 0x00BBGGRR colour.
struct CanvasText {
    int x = 0;
    int y = 0;
    uint32_t colour = 0xFFFFFF;
    std::string text;
};

class FormWindow {
public:
    virtual ~FormWindow() = default;

    // Creates the native window first when it has none yet.
    virtual NativeWindow nativeWindow() = 0;
    virtual int width() const = 0; // outer size
    virtual int height() const = 0;
    virtual int clientWidth() const = 0;
    virtual int clientHeight() const = 0;
    virtual void setSize(int width, int height) = 0;
    // Replaces any earlier handler; called whenever the client size changes.
    virtual void setResizeHandler(std::function<void()> handler) = 0;
    // Handles the window messages waiting now (repaints, input) and returns without waiting.
    virtual void processPendingMessages() = 0;
    // Paints a width x height black picture with these texts, in the form's default font,
    // at the client area's top-left corner, once.
    virtual void paintTexts(int width, int height, const std::vector<CanvasText>& texts) = 0;
};
