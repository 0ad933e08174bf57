// A bare Xlib window as the form for the view's GL tests: it reports its size, follows setSize
// at once (calling the resize handler like a toolkit would) and records what it is asked to
// paint.
#pragma once

#include "platform/form_window.h"

#include <stdexcept>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

class XlibTestForm : public FormWindow {
public:
    explicit XlibTestForm(int width = 320, int height = 240) : w(width), h(height) {
        display = XOpenDisplay(nullptr);
        if (!display)
            throw std::runtime_error("no display");
        window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0,
                                     static_cast<unsigned>(w), static_cast<unsigned>(h), 0, 0, 0);
        XSelectInput(display, window, StructureNotifyMask);
        XMapWindow(display, window);
        XEvent event;
        do
            XNextEvent(display, &event);
        while (event.type != MapNotify);
    }
    ~XlibTestForm() override {
        XDestroyWindow(display, window);
        XCloseDisplay(display);
    }
    XlibTestForm(const XlibTestForm&) = delete;
    XlibTestForm& operator=(const XlibTestForm&) = delete;

    NativeWindow nativeWindow() override { return {display, static_cast<uintptr_t>(window)}; }
    int width() const override { return w; }
    int height() const override { return h; }
    int clientWidth() const override { return w; }
    int clientHeight() const override { return h; }
    void setSize(int width, int height) override {
        w = width;
        h = height;
        XResizeWindow(display, window, static_cast<unsigned>(w > 0 ? w : 1),
                      static_cast<unsigned>(h > 0 ? h : 1));
        if (resized)
            resized();
    }
    void setResizeHandler(std::function<void()> handler) override { resized = std::move(handler); }
    void processPendingMessages() override {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
        }
    }
    void paintTexts(int, int, const std::vector<CanvasText>& texts) override {
        ++paints;
        painted = texts;
    }

    Window firstChild() {
        Window root = None, parent = None, child = None;
        Window* children = nullptr;
        unsigned count = 0;
        XQueryTree(display, window, &root, &parent, &children, &count);
        if (count > 0)
            child = children[0];
        if (children)
            XFree(children);
        return child;
    }

    // The map state of the window's children.
    int viewableChildren() {
        Window root = None, parent = None;
        Window* children = nullptr;
        unsigned count = 0;
        int viewable = 0;
        XQueryTree(display, window, &root, &parent, &children, &count);
        for (unsigned i = 0; i < count; ++i) {
            XWindowAttributes attributes;
            if (XGetWindowAttributes(display, children[i], &attributes) &&
                attributes.map_state != IsUnmapped)
                ++viewable;
        }
        if (children)
            XFree(children);
        return viewable;
    }

    Display* display = nullptr;
    Window window = None;
    int w;
    int h;
    std::function<void()> resized;
    int paints = 0;
    std::vector<CanvasText> painted;
};
