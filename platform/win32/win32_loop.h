// Between the Win32 application and the Win32 form: the form that is the application's main
// form, and the guard that shows an error leaving a window procedure without ending the program
// (an exception must never unwind through the system's code).
#pragma once

#include <functional>

class Win32MainForm {
public:
    virtual ~Win32MainForm() = default;
    // The message loop's start shows the main form.
    virtual void showAsMainForm() = 0;
    virtual bool isClosed() const = 0;
};

// The first form made is the main form; it signs off when it is destroyed.
void setWin32MainForm(Win32MainForm* form);
Win32MainForm* win32MainForm();

// Runs a handler; an error it raises is shown with the error display and the program goes on.
void runGuarded(const std::function<void()>& handler);
