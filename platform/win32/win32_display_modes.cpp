// Display modes (win32EnumDisplaySettings, win32ChangeDisplaySettings, and the rest) on
// Windows: the primary display device's, by EnumDisplaySettingsA, switched with CDS_FULLSCREEN,
// which the system takes back by itself when the process ends. Of a run per monitor only the
// primary monitor's run switches, that device alone; the others keep their modes, and the runs'
// starter gives the primary's back should its run end without doing so.
#include "platform/win32/win32_services.h"

#include <windows.h>

#include <string>
#include <vector>

namespace {

// The records as the system enumerated them, by mode number: a change passes one on as it
// came. Mode 0 starts the list afresh.
std::vector<DEVMODEA> enumerated;
// The display device a monitor's run switched, to give back that one alone.
std::string switchedDevice;

} // namespace

bool win32EnumDisplaySettings(int index, SystemDisplayMode& mode) {
    DEVMODEA dm{};
    dm.dmSize = sizeof dm;
    if (index < 0 || !EnumDisplaySettingsA(nullptr, static_cast<DWORD>(index), &dm)) {
        return false;
    }
    if (index == 0) {
        enumerated.clear();
    }
    if (static_cast<size_t>(index) == enumerated.size()) {
        enumerated.push_back(dm);
    }
    mode.mode.width = static_cast<int32_t>(dm.dmPelsWidth);
    mode.mode.height = static_cast<int32_t>(dm.dmPelsHeight);
    mode.mode.bitsPerPixel = static_cast<int32_t>(dm.dmBitsPerPel);
    // 0 and 1 stand for the hardware's default rate.
    mode.mode.refreshRate =
        dm.dmDisplayFrequency > 1 ? static_cast<int32_t>(dm.dmDisplayFrequency) : 0;
    mode.id = static_cast<uint64_t>(index);
    return true;
}

int win32ChangeDisplaySettings(const SystemDisplayMode& mode) {
    if (mode.id >= enumerated.size()) {
        return DISP_CHANGE_BADMODE;
    }
    if (Monitor monitor; win32RunMonitor(monitor)) {
        // The others draw at their own sizes.
        if (!monitor.primary) {
            return DISP_CHANGE_SUCCESSFUL;
        }
        const LONG result = ChangeDisplaySettingsExA(monitor.id.c_str(), &enumerated[mode.id],
                                                     nullptr, CDS_FULLSCREEN, nullptr);
        if (result == DISP_CHANGE_SUCCESSFUL) {
            switchedDevice = monitor.id;
        }
        return result;
    }
    return ChangeDisplaySettingsA(&enumerated[mode.id], CDS_FULLSCREEN);
}

void win32RestoreDisplaySettings() {
    if (win32IsMonitorRun()) {
        // Only the device this run switched: the other monitors' modes are not its own.
        if (!switchedDevice.empty()) {
            ChangeDisplaySettingsExA(switchedDevice.c_str(), nullptr, nullptr, 0, nullptr);
            switchedDevice.clear();
        }
        return;
    }
    // No mode: back to the one stored in the registry; harmless when nothing was changed.
    ChangeDisplaySettingsA(nullptr, CDS_FULLSCREEN);
}

void win32GiveBackPrimaryMode() {
    for (const Monitor& monitor : win32Monitors()) {
        if (!monitor.primary) {
            continue;
        }
        DEVMODEA current{};
        current.dmSize = sizeof current;
        DEVMODEA stored{};
        stored.dmSize = sizeof stored;
        if (EnumDisplaySettingsA(monitor.id.c_str(), ENUM_CURRENT_SETTINGS, &current) &&
            EnumDisplaySettingsA(monitor.id.c_str(), ENUM_REGISTRY_SETTINGS, &stored) &&
            (current.dmPelsWidth != stored.dmPelsWidth ||
             current.dmPelsHeight != stored.dmPelsHeight ||
             current.dmBitsPerPel != stored.dmBitsPerPel)) {
            ChangeDisplaySettingsExA(monitor.id.c_str(), nullptr, nullptr, 0, nullptr);
        }
    }
}

bool runWin32ModeGuardian(int, char**, int&) {
    // Windows takes a CDS_FULLSCREEN mode back itself when the process ends, however it ends.
    return false;
}
