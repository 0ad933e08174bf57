// The application object: title, message loop with an idle hook, and its end. The window
// system makes it (WindowSystem::createApplication, platform/window_system.h).
#pragma once

#include <functional>
#include <string>

class Application {
public:
    virtual ~Application() = default;
    virtual void setTitle(const std::string& title) = 0;
    // The handler is called whenever no message waits; while it sets done to false the loop
    // calls it again at once. A pace above 0 spaces the calls at least that many milliseconds
    // apart, so a picture that never changes does not burn a core.
    virtual void setIdleHandler(std::function<void(bool& done)> handler, int paceMs = 0) = 0;
    virtual void clearIdleHandler() = 0;
    // Ends the message loop as soon as it runs (a quit message).
    virtual void terminate() = 0;
    // Shows the main form and runs until it closes or terminate() is called.
    virtual void run() = 0;
};
