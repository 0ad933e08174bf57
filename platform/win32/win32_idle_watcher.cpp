// The idle watcher on Windows: there is none, since the system starts screen savers itself; the
// back end's entry says so, in its box.
#include "platform/exception.h"
#include "platform/idle_watch.h"
#include "platform/window_system.h"

int runIdleWatcher(const std::vector<std::string>& args) {
    WindowSystem& windows = win32WindowSystem();
    try {
        windows.openIdleWatch(idleRequestOf(args).seconds);
    } catch (...) {
        windows.showError(currentExceptionMessage());
    }
    return 2;
}
