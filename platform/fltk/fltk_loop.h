// Between the FLTK application and the FLTK form: the form that is the application's main form,
// and the guard that shows an error leaving an event handler without ending the program.
#pragma once

#include <functional>

class FltkMainForm {
public:
    virtual ~FltkMainForm() = default;
    // The message loop's start shows the main form.
    virtual void showAsMainForm() = 0;
    // Closes it as its close box would: the normal teardown runs.
    virtual void closeMainForm() = 0;
    virtual bool isClosed() const = 0;
};

// The first form made is the main form; it signs off when it is destroyed.
void setFltkMainForm(FltkMainForm* form);
FltkMainForm* fltkMainForm();

// Runs an event handler; an error it raises is shown with the error display and the program
// goes on, as the message loop's own handler does.
void runGuarded(const std::function<void()>& handler);
