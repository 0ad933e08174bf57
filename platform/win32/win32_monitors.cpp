// Monitors on Windows (win32Monitors): the display monitors the system enumerates, each with its
// device name ("\\.\DISPLAY2"), its rectangle on the virtual screen and whether it is primary.
#include "platform/win32/win32_services.h"

#include <windows.h>

namespace {

BOOL CALLBACK addMonitor(HMONITOR handle, HDC, LPRECT, LPARAM data) {
    MONITORINFOEXA info{};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoA(handle, &info)) {
        return TRUE;
    }
    Monitor monitor;
    monitor.name = info.szDevice;
    monitor.id = monitor.name;
    monitor.x = info.rcMonitor.left;
    monitor.y = info.rcMonitor.top;
    monitor.width = info.rcMonitor.right - info.rcMonitor.left;
    monitor.height = info.rcMonitor.bottom - info.rcMonitor.top;
    monitor.primary = (info.dwFlags & MONITORINFOF_PRIMARY) != 0;
    reinterpret_cast<std::vector<Monitor>*>(data)->push_back(monitor);
    return TRUE;
}

} // namespace

std::vector<Monitor> win32Monitors() {
    std::vector<Monitor> monitors;
    EnumDisplayMonitors(nullptr, nullptr, addMonitor, reinterpret_cast<LPARAM>(&monitors));
    return monitors;
}
