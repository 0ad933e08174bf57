// The error display (showWin32Error) on Windows: MessageBoxA captioned "Kelvara" with the error
// icon and an OK button; the text also goes to standard error, where a console shows it.
#include "platform/win32/win32_services.h"

#include "platform/error_display.h"

#include "platform/win32/win32_loop.h"

#include <windows.h>

#include <cstdio>

void showWin32Error(const std::string& message) {
    const std::string text = errorDisplayText(message);
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
    // The form is always on top: the box is its own, so that it stands in front of it and the
    // form takes no input until the box is answered. Topmost and in the foreground either way.
    HWND owner = win32MainForm() != nullptr ? win32MainForm()->windowHandle() : nullptr;
    if (owner != nullptr &&
        (!IsWindowVisible(owner) || (GetWindowLongPtrA(owner, GWL_STYLE) & WS_CHILD) != 0)) {
        owner = nullptr;
    }
    MessageBoxA(owner, text.c_str(), "Kelvara",
                MB_OK | MB_ICONERROR | MB_TOPMOST | MB_SETFOREGROUND |
                    (owner != nullptr ? MB_APPLMODAL : MB_TASKMODAL));
}
