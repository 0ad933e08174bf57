// Between the Win32 application and the Win32 form: the form that is the application's main
// form. Window procedures run their handlers through runGuarded (platform/error_display.h):
// an exception must never unwind through the system's code.
#pragma once

#include <windows.h>

// The form's window class: a monitor's run finds its form's window by it.
inline constexpr const char* win32FormClassName = "TForm1";

class Win32MainForm {
public:
    virtual ~Win32MainForm() = default;
    // The message loop's start shows the main form.
    virtual void showAsMainForm() = 0;
    virtual bool isClosed() const = 0;
    // Its window, which owns what the program shows on its behalf (the error box, the browser
    // the link opens).
    virtual HWND windowHandle() const = 0;
};

// The first form made is the main form; it signs off when it is destroyed.
void setWin32MainForm(Win32MainForm* form);
Win32MainForm* win32MainForm();
