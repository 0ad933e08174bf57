// Wayland is a Linux desktop's; Windows never chooses it.
#include "platform/wayland_session.h"

#include "platform/exception.h"

bool isWaylandWindowSystem(const WindowSystem&) {
    return false;
}

int runWaylandSupervisor(const std::vector<std::string>&) {
    throw Exception("There is no Wayland on Windows");
}

std::unique_ptr<WaylandOutputRun> openWaylandOutputRun(uint32_t) {
    throw Exception("There is no Wayland on Windows");
}
