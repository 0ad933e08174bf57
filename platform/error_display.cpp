#include "platform/error_display.h"

#include "platform/exception.h"
#include "platform/window_system.h"

std::string errorDisplayText(const std::string& message) {
    // Compared as unsigned codes, so that a message ending in a non-ASCII letter gains one too.
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') {
        return message + ".";
    }
    return message;
}

void runGuarded(const std::function<void()>& handler) {
    try {
        handler();
    } catch (...) {
        windowSystem().showError(currentExceptionMessage());
    }
}
