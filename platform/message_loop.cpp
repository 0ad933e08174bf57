#include "platform/message_loop.h"

#include "platform/error_display.h"

#include <utility>

void MessageLoop::setIdleHandler(std::function<void(bool& done)> newHandler, int paceMs) {
    clearIdleHandler();
    handler = std::move(newHandler);
    pace = paceMs > 0 ? paceMs : 0;
}

void MessageLoop::clearIdleHandler() {
    if (calling) {
        retired = std::move(handler);
    }
    handler = nullptr;
}

bool MessageLoop::callIdleHandler() {
    bool done = true;
    calling = true;
    runGuarded([&] { handler(done); });
    calling = false;
    retired = nullptr;
    return !done;
}
