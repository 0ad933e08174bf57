// The error display (showWin32Error) on Windows: MessageBoxA captioned "Kelvara" with the error
// icon and an OK button; the text also goes to standard error, where a console shows it.
#include "platform/win32/win32_services.h"

#include "platform/error_display.h"

#include <windows.h>

#include <cstdio>

void showWin32Error(const std::string& message) {
    const std::string text = errorDisplayText(message);
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
    MessageBoxA(nullptr, text.c_str(), "Kelvara", MB_OK | MB_ICONERROR | MB_TASKMODAL);
}
