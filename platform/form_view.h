// The narrow interface between the form's logic (TForm1) and its widgets. The window system's
// form (WindowSystem::createFormView) is a thin, dumb implementation; tests use a fake.
#pragma once

#include "platform/bitmap.h"
#include "platform/form_window.h"

#include <string>
#include <vector>

// What the widgets report back: TForm1 implements these handlers.
class FormEvents {
public:
    virtual ~FormEvents() = default;
    virtual void FormKeyDown() = 0;
    virtual void FormMouseDown() = 0;
    virtual void FormMouseMove() = 0;
    virtual void stopTimer() = 0;
    virtual void Button1Click() = 0; // OK
    virtual void Button2Click() = 0; // Default
    virtual void Label2Click() = 0;  // the web link
    // The form was closed (by close() or by its close box); teardown follows. The form is off
    // the screen but still there, with whatever lives in it: the teardown hides it when done.
    virtual void FormDestroy() = 0;
};

class FormView : public FormWindow {
public:
    virtual void setEvents(FormEvents* events) = 0;

    virtual void setCaption(const std::string& caption) = 0;
    virtual void show() = 0;
    virtual void hide() = 0;
    // Full-screen run: maximised, borderless, always on top, no mouse cursor.
    virtual void makeFullScreen() = 0;
    // Preview: borderless, at the stored position, a child of the host window.
    virtual void makePreviewChild(uintptr_t hostWindow) = 0;
    // Host mode: the form never shows (the run draws into the host's window), while the
    // message loop still runs on the display.
    virtual void keepHidden() = 0;
    virtual void setHeight(int outerHeight) = 0;
    virtual void focus() = 0;
    virtual void bringToForeground() = 0;
    // Settings mode hides the application's owner window; nothing to do where there is none.
    virtual void hideOwnerWindow() = 0;
    // Closes the form: the message loop ends and FormDestroy is called.
    virtual void close() = 0;

    // The resolution list `res`; index -1 selects nothing.
    virtual void resAdd(const std::string& text) = 0;
    virtual int resCount() const = 0;
    virtual int resSelectedIndex() const = 0;
    virtual void resSelect(int index) = 0;

    // The `sound` check box.
    virtual bool soundChecked() const = 0;
    virtual void setSoundChecked(bool checked) = 0;
    virtual void setSoundVisible(bool visible) = 0;

    // The `customStrings` memo inside `customBox`.
    virtual std::vector<std::string> customLines() const = 0;
    virtual void setCustomLines(const std::vector<std::string>& lines) = 0;
    virtual void setCustomBoxVisible(bool visible) = 0;

    virtual void setPanel1Visible(bool visible) = 0;

    // The `stop` timer: 30000 ms, then stopTimer.
    virtual void enableStopTimer() = 0;

    // The 140 x 70 `Logo` picture the preview paints.
    virtual const Bitmap& logo() const = 0;
};

// What the program gives its form to show: the preview's logo, the window's icons and the text
// of the web link. A picture left empty is not shown.
struct FormArt {
    Bitmap logo; // 140 x 70
    Bitmap icon32;
    Bitmap icon16;
    std::string linkText;
};
