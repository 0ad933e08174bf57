// Display modes (win32EnumDisplaySettings, win32ChangeDisplaySettings, and the rest) on
// Windows: EnumDisplaySettingsA and ChangeDisplaySettingsA with CDS_FULLSCREEN, whose change the
// system takes back by itself when the process ends.
#include "platform/win32/win32_services.h"

#include <windows.h>

#include <vector>

namespace {

// The records as the system enumerated them, by mode number: a change passes one on as it
// came. Mode 0 starts the list afresh.
std::vector<DEVMODEA> enumerated;

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
    return ChangeDisplaySettingsA(&enumerated[mode.id], CDS_FULLSCREEN);
}

void win32RestoreDisplaySettings() {
    // No mode: back to the one stored in the registry; harmless when nothing was changed.
    ChangeDisplaySettingsA(nullptr, CDS_FULLSCREEN);
}

bool runWin32ModeGuardian(int, char**, int&) {
    // Windows takes a CDS_FULLSCREEN mode back itself when the process ends, however it ends.
    return false;
}
