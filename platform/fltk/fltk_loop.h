// Between the FLTK application and the FLTK form: the form that is the application's main form.
// Event handlers run through runGuarded (platform/error_display.h), so that an error leaving one
// is shown and the program goes on.
#pragma once

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
