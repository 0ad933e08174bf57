// What every message loop keeps besides its system's own state: the idle handler
// (Application::setIdleHandler) with its pace, the call under way, and whether the loop was told
// to end. Each back end's Application holds one and drives it from its system's loop.
#pragma once

#include <functional>

class MessageLoop {
public:
    // Replaces any earlier handler.
    void setIdleHandler(std::function<void(bool& done)> handler, int paceMs);
    // A handler that is clearing itself stays alive until it has returned.
    void clearIdleHandler();
    bool hasIdleHandler() const { return static_cast<bool>(handler); }
    int paceMs() const { return pace; }
    // Calls the handler once, showing an error it raises with the error display; true when it
    // left done false, asking to be called again at once.
    bool callIdleHandler();

    void terminate() { ended = true; }
    bool terminated() const { return ended; }

private:
    std::function<void(bool&)> handler;
    std::function<void(bool&)> retired;
    int pace = 0;
    bool calling = false;
    bool ended = false;
};
