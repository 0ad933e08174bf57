// Process and system services on Windows: a named mutex, GetCommandLineA, GetModuleFileNameA,
// SetCurrentDirectoryA, SetPriorityClass, Sleep, GlobalMemoryStatus and GetTickCount.
#include "platform/process.h"

#include <windows.h>

bool createInstanceLock(const std::string& name) {
    // Owned, and the handle stays open on purpose: the system drops the mutex when the process
    // ends.
    HANDLE mutex = CreateMutexA(nullptr, TRUE, name.c_str());
    return !(mutex != nullptr && GetLastError() == ERROR_ALREADY_EXISTS);
}

std::optional<std::string> commandLineText() {
    return std::string(GetCommandLineA());
}

std::string executablePath() {
    char buffer[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
    if (n == 0 || n >= sizeof buffer) {
        return {};
    }
    return std::string(buffer, n);
}

bool setCurrentDirectory(const std::string& path) {
    return SetCurrentDirectoryA(path.c_str()) != 0;
}

void setHighPriority() {
    SetPriorityClass(GetCurrentProcess(), HIGH_PRIORITY_CLASS);
}

void sleepMilliseconds(uint32_t milliseconds) {
    Sleep(milliseconds);
}

uint64_t totalPhysicalMemory() {
    MEMORYSTATUS status{};
    status.dwLength = sizeof status;
    GlobalMemoryStatus(&status);
    return status.dwTotalPhys;
}

uint32_t tickCount() {
    return GetTickCount();
}
