// Monitors on Windows (win32Monitors): the display monitors the system enumerates, each with its
// device name ("\\.\DISPLAY2"), its rectangle on the virtual screen and whether it is primary.
// The run of this process remembers its monitor by device name and asks the system again for its
// rectangle, which a display-mode switch changes; a monitor that went keeps its last rectangle,
// so that its run covers no other monitor.
#include "platform/win32/win32_services.h"

#include "platform/exception.h"

#include <windows.h>

namespace {

bool monitorRun = false;
Monitor runMonitor; // as last seen

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
    if (!monitor.id.empty() && monitor.width > 0 && monitor.height > 0) {
        reinterpret_cast<std::vector<Monitor>*>(data)->push_back(monitor);
    }
    return TRUE;
}

} // namespace

std::vector<Monitor> win32Monitors() {
    std::vector<Monitor> monitors;
    EnumDisplayMonitors(nullptr, nullptr, addMonitor, reinterpret_cast<LPARAM>(&monitors));
    return monitors;
}

void selectWin32RunMonitor(const std::string& id) {
    for (const Monitor& monitor : win32Monitors()) {
        if (monitor.id == id) {
            runMonitor = monitor;
            monitorRun = true;
            return;
        }
    }
    throw Exception("There is no monitor " + id);
}

bool win32RunMonitor(Monitor& found) {
    if (!monitorRun) {
        return false;
    }
    for (const Monitor& monitor : win32Monitors()) {
        if (monitor.id == runMonitor.id) {
            runMonitor = monitor;
            break;
        }
    }
    found = runMonitor;
    return true;
}

bool win32IsMonitorRun() {
    return monitorRun;
}

Monitor win32CoveredArea() {
    Monitor area;
    if (!win32RunMonitor(area)) {
        area.width = GetSystemMetrics(SM_CXSCREEN);
        area.height = GetSystemMetrics(SM_CYSCREEN);
    }
    return area;
}
