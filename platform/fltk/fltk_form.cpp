// The form (FormView, createFltkForm) on FLTK: the settings dialog's widgets at the layout's
// pixel positions, the black full-screen window whose input goes to FormEvents, the hidden
// preview form, the stop timer, and the start-up log painted onto the window.
#include "platform/fltk/fltk_services.h"

#include "platform/error_display.h"
#include "platform/exception.h"
#include "platform/fltk/fltk_display.h"
#include "platform/fltk/fltk_loop.h"
#include "platform/form_layout.h"
#include "platform/host_window.h"
#include "platform/posix/run_supervisor.h"
#include "platform/text_lines.h"
#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_monitors.h"
#include "platform/x11/x11_services.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Multiline_Input.H>
#include <FL/Fl_RGB_Image.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

#include <X11/Xatom.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

constexpr const FormLayout& layout = formLayout;
// The frame a tool window adds around the client area; the outer size that the form reports and
// takes counts that frame, as the layout's 180-pixel height does.
constexpr int frameBorder = 3;
constexpr int frameCaption = 16;
// FLTK's sans face stands in for the layout's bitmap font, at its pixel size.
constexpr int fontSize = layout.fontPixels;

// A 0x00BBGGRR colour as FLTK takes it.
Fl_Color fltkColour(uint32_t colour) {
    return fl_rgb_color(static_cast<uchar>(colour & 0xFF), static_cast<uchar>(colour >> 8 & 0xFF),
                        static_cast<uchar>(colour >> 16 & 0xFF));
}

// Renders the layout's group boxes: a sunken frame with the caption set into its top edge.
class GroupBox : public Fl_Group {
public:
    GroupBox(int x, int y, int w, int h, const char* caption) : Fl_Group(x, y, w, h) {
        copy_label(caption);
        box(FL_NO_BOX);
        labelsize(fontSize);
        align(FL_ALIGN_INSIDE | FL_ALIGN_TOP_LEFT); // drawn into the frame below, not outside
        resizable(nullptr);                         // children keep the layout's pixels
    }

protected:
    void draw() override {
        fl_draw_box(FL_FLAT_BOX, x(), y(), w(), h(), parent()->color());
        const int top = y() + fontSize / 2;
        fl_draw_box(FL_ENGRAVED_FRAME, x(), top, w(), h() - (top - y()), color());
        fl_font(labelfont(), labelsize());
        const int textWidth = static_cast<int>(fl_width(label())) + 4;
        fl_color(parent()->color());
        fl_rectf(x() + 6, y(), textWidth, fontSize + 2);
        fl_color(labelcolor());
        fl_draw(label(), x() + 8, y() + fl_height() - fl_descent());
        draw_children();
    }
};

// The web link: navy, bold and underlined, a hand cursor over it, a click on release.
class LinkLabel : public Fl_Box {
public:
    LinkLabel(int x, int y, int w, int h, const char* text) : Fl_Box(x, y, w, h) {
        copy_label(text);
        box(FL_FLAT_BOX);
        color(FL_BACKGROUND_COLOR);
        labelcolor(fltkColour(layout.linkColour));
        labelfont(FL_HELVETICA_BOLD);
        labelsize(layout.linkFontPixels);
        align(FL_ALIGN_CENTER | FL_ALIGN_INSIDE);
    }

protected:
    void draw() override {
        Fl_Box::draw();
        fl_font(labelfont(), labelsize());
        const int textWidth = static_cast<int>(fl_width(label()));
        const int left = x() + (w() - textWidth) / 2;
        const int baseline = y() + (h() + fl_height()) / 2 - fl_descent() + 1;
        fl_color(labelcolor());
        fl_line(left, baseline, left + textWidth - 1, baseline);
    }

    int handle(int event) override {
        switch (event) {
        case FL_ENTER:
            window()->cursor(FL_CURSOR_HAND);
            return 1;
        case FL_LEAVE:
            window()->cursor(FL_CURSOR_DEFAULT);
            return 1;
        case FL_PUSH:
            return 1;
        case FL_RELEASE:
            if (Fl::event_inside(this)) {
                do_callback();
            }
            return 1;
        default:
            return Fl_Box::handle(event);
        }
    }
};

// Asks the window manager to keep the window above others (_NET_WM_STATE_ABOVE), both as the
// property read at mapping and as the message a mapped window sends.
void keepAbove(Window window) {
    Atom state = XInternAtom(fl_display, "_NET_WM_STATE", False);
    Atom above = XInternAtom(fl_display, "_NET_WM_STATE_ABOVE", False);
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = window;
    e.xclient.message_type = state;
    e.xclient.format = 32;
    e.xclient.data.l[0] = 1; // add
    e.xclient.data.l[1] = static_cast<long>(above);
    e.xclient.data.l[3] = 1; // from an application
    XSendEvent(fl_display, RootWindow(fl_display, fl_screen), False,
               SubstructureNotifyMask | SubstructureRedirectMask, &e);
}

void markToolWindow(Window window) {
    Atom type = XInternAtom(fl_display, "_NET_WM_WINDOW_TYPE", False);
    Atom utility = XInternAtom(fl_display, "_NET_WM_WINDOW_TYPE_UTILITY", False);
    XChangeProperty(fl_display, window, type, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&utility), 1);
}

// An icon picture (rows of blue, green, red bytes) as the RGB image FLTK takes.
std::vector<uchar> rgbOf(const Bitmap& picture) {
    std::vector<uchar> rgb;
    rgb.reserve(static_cast<size_t>(picture.width) * picture.height * 3);
    for (int y = 0; y < picture.height; ++y) {
        const uint8_t* p = picture.row(y);
        for (int x = 0; x < picture.width; ++x, p += picture.bytesPerPixel()) {
            rgb.insert(rgb.end(), {p[2], p[1], p[0]});
        }
    }
    return rgb;
}

// FLTK ends the process when it cannot open the display; this reports it as an error instead.
void openDisplay() {
    if (!openFltkDisplay()) {
        const char* name = std::getenv("DISPLAY");
        throw Exception(std::string("Cannot open the X display \"") + (name ? name : "") + "\"");
    }
}

// The layout's sizes are those of an 8-point bitmap font; a wider sans font may not leave a
// label room before the control beside it. Such a label gets the largest size that fits.
void fitLabel(Fl_Widget& label, int rightEdge) {
    const int room = rightEdge - (label.x() + 3) - 1; // FLTK insets the text by 3 pixels
    int size = fontSize;
    for (; size > fontSize - 3; --size) {
        fl_font(label.labelfont(), size);
        if (fl_width(label.label()) <= room) {
            break;
        }
    }
    label.labelsize(size);
}

// A widget at the layout's rectangle, with its text.
template <class Widget> Widget* place(const ControlLayout& control) {
    return new Widget(control.left, control.top, control.width, control.height, control.text);
}

class FltkForm;

enum class Control : intptr_t { button1 = 1, button2, label2 };

// The form's top-level window: black, its input reported to the form's events.
class FormWidget : public Fl_Window {
public:
    FormWidget(FltkForm& form, int w, int h) : Fl_Window(w, h), form(form) {}

    int handle(int event) override;
    void draw() override;
    void resize(int x, int y, int w, int h) override;

    FltkForm& form;
};

class FltkForm : public FormView, public FltkMainForm {
public:
    explicit FltkForm(const FormArt& art)
        : logoPicture(art.logo), icon32(art.icon32), icon16(art.icon16) {
        window = std::make_unique<FormWidget>(*this, layout.clientWidth, layout.clientHeight);
        window->copy_label(layout.caption);
        window->color(fltkColour(layout.colour));
        window->box(FL_FLAT_BOX);
        window->callback(onCloseBox, this);

        panel = new Fl_Group(0, 0, layout.clientWidth, layout.clientHeight);
        panel->box(FL_FLAT_BOX);
        panel->color(FL_BACKGROUND_COLOR);

        GroupBox* groupBox1 = place<GroupBox>(layout.groupBox1);
        // FLTK insets a left-aligned label by 3 pixels; the layout places the text itself.
        const ControlLayout& l1 = layout.label1;
        label1 = new Fl_Box(l1.left - 3, l1.top, l1.width + 3, l1.height, l1.text);
        label1->labelsize(fontSize);
        label1->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
        res = place<Fl_Choice>(layout.res);
        res->textsize(fontSize);
        res->down_box(FL_BORDER_BOX);
        resAdd(layout.resFirstItem);
        sound = place<Fl_Check_Button>(layout.sound);
        sound->labelsize(fontSize);
        sound->value(layout.soundChecked ? 1 : 0);
        groupBox1->end();

        customBox = place<GroupBox>(layout.customBox);
        customStrings = place<Fl_Multiline_Input>(layout.customStrings);
        customStrings->textsize(fontSize);
        button2 = place<Fl_Button>(layout.button2);
        button2->labelsize(fontSize);
        button2->callback(onButton, tag(Control::button2));
        customBox->end();

        button1 = place<Fl_Button>(layout.button1);
        button1->labelsize(fontSize);
        button1->callback(onButton, tag(Control::button1));

        const ControlLayout& l2 = layout.label2;
        label2 = new LinkLabel(l2.left, l2.top, l2.width, l2.height, art.linkText.c_str());
        label2->callback(onButton, tag(Control::label2));
        panel->end();
        panel->resizable(nullptr);
        panel->hide();

        window->end();
        window->resizable(nullptr);
        setIcons();
        if (liveForms().empty()) {
            Fl::add_system_handler(countMotion, nullptr);
        }
        liveForms().push_back(this);
        if (fltkMainForm() == nullptr) {
            setFltkMainForm(this);
        }
    }

    ~FltkForm() override {
        auto& live = liveForms();
        live.erase(std::remove(live.begin(), live.end(), this), live.end());
        if (live.empty()) {
            Fl::remove_system_handler(countMotion);
        }
        Fl::remove_timeout(onStop, this);
        if (fltkMainForm() == this) {
            setFltkMainForm(nullptr);
        }
        window.reset(); // and with it every widget: FLTK's groups own their children
    }

    FltkForm(const FltkForm&) = delete;
    FltkForm& operator=(const FltkForm&) = delete;

    // --- FormWindow
    NativeWindow nativeWindow() override {
        if (!window->shown()) {
            show();
        }
        glOwned = true;
        Window xid = fl_xid(window.get());
        // From now on the GL picture owns the window: neither the server nor the toolkit may
        // clear it on an expose.
        XSetWindowBackgroundPixmap(fl_display, xid, None);
        XFlush(fl_display);
        return NativeWindow{fl_display, static_cast<uintptr_t>(xid)};
    }
    int width() const override { return window->w() + frameWidth(); }
    int height() const override { return window->h() + frameHeight(); }
    int clientWidth() const override { return window->w(); }
    int clientHeight() const override { return window->h(); }
    void setSize(int w, int h) override {
        // A monitor's run covers its monitor whatever the size asked for: the primary's after its
        // mode switch, the others' at their own.
        if (coverRunMonitor())
            return;
        window->size(std::max(1, w - frameWidth()), std::max(1, h - frameHeight()));
    }
    void setResizeHandler(std::function<void()> handler) override {
        resizeHandler = std::move(handler);
    }
    void processPendingMessages() override { Fl::check(); }
    void paintTexts(int w, int h, const std::vector<CanvasText>& texts) override {
        logWidth = w;
        logHeight = h;
        logTexts = texts;
        if (!window->shown()) {
            show();
        }
        window->redraw();
        Fl::flush();
    }

    // --- FormView
    void setEvents(FormEvents* newEvents) override { events = newEvents; }
    void setCaption(const std::string& caption) override { window->copy_label(caption.c_str()); }

    void show() override {
        if (previewHost != 0 || hidden || closed) {
            return; // the preview paints into its host; its own window never shows
        }
        if (!window->shown()) {
            openDisplay();
            fitLabel(*label1, res->x());
            if (fullScreen) {
                // The toolkit makes the window cover the monitor that holds it.
                coverRunMonitor();
                waitForEveryPicture();
                window->fullscreen();
            } else {
                window->position((Fl::w() - width()) / 2, (Fl::h() - height()) / 2);
            }
            window->show();
            // A full-screen window is made without a title; give it the caption all the same.
            const std::string caption = window->label() != nullptr ? window->label() : "";
            window->copy_label(caption.c_str());
            // The window manager may not have the window yet: an error here is no reason to stop.
            X11ErrorTrap ignored(fl_display);
            markToolWindow(fl_xid(window.get()));
            keepAbove(fl_xid(window.get()));
            if (fullScreen) {
                window->cursor(FL_CURSOR_NONE);
            }
        } else {
            window->show(); // raises it
        }
    }
    void hide() override { window->hide(); }
    void makeFullScreen() override {
        fullScreen = true;
        window->border(0);
        window->fullscreen();
        if (window->shown()) {
            window->cursor(FL_CURSOR_NONE);
        }
    }
    void makePreviewChild(uintptr_t hostWindow) override {
        // The preview paints into a child window of the host (paintIntoX11Window); the form itself
        // is never shown, so that nothing of it can appear over the host or on the desktop.
        previewHost = hostWindow != 0 ? hostWindow : 1;
        window->border(0);
        window->position(layout.left, layout.top);
        openDisplay(); // the loop reads the host's end from the display
        // The preview lives as long as its host: when the host goes, the form closes and the
        // program ends, and with it the instance lock, so that the next preview can start.
        try {
            previewWatch = openX11HostWindow(previewHost);
            previewWatch->setGoneHandler([this] { runGuarded([this] { close(); }); });
        } catch (const Exception& e) {
            // Gone before we came: nothing to paint into. Closed already, so that the message
            // loop does not start; the form's owner tears down as after any run.
            std::fprintf(stderr, "kelvara: %s; the preview ends\n", e.what());
            closed = true;
        }
    }
    void keepHidden() override {
        hidden = true;
        openDisplay(); // the loop reads the host window's events from the display
    }
    void setHeight(int outerHeight) override {
        window->size(window->w(), std::max(1, outerHeight - frameHeight()));
    }
    void focus() override {
        Fl::focus(window.get());
        if (window->shown()) {
            X11ErrorTrap ignored(fl_display); // not viewable yet under a window manager: no matter
            XSetInputFocus(fl_display, fl_xid(window.get()), RevertToParent, CurrentTime);
        }
    }
    void bringToForeground() override {
        if (window->shown()) {
            window->show();
        }
    }
    void hideOwnerWindow() override {}
    void close() override {
        if (closed) {
            return;
        }
        closed = true;
        Fl::remove_timeout(onStop, this);
        if (window->shown()) {
            // Gone from the screen now, not after the teardown; but the window itself stays
            // until the teardown has released the GL surface, its child, which would go with it.
            XUnmapWindow(fl_display, fl_xid(window.get()));
            XFlush(fl_display);
        }
        if (events != nullptr) {
            events->FormDestroy(); // hides the form once nothing lives in it
        } else {
            window->hide();
        }
    }

    void resAdd(const std::string& text) override {
        // The menu reads '/', '\\', '&' and a leading '_' as markup; the list shows plain text.
        std::string escaped;
        for (char c : text) {
            if (c == '/' || c == '\\' || c == '&' || c == '_') {
                escaped += c == '&' ? '&' : '\\';
            }
            escaped += c;
        }
        const int selected = res->value();
        res->add(escaped.c_str());
        resSelect(selected);
    }
    int resCount() const override { return res->size() > 0 ? res->size() - 1 : 0; }
    int resSelectedIndex() const override { return res->value(); }
    void resSelect(int index) override {
        if (index >= 0 && index < resCount()) {
            res->value(index);
        } else {
            res->value(static_cast<const Fl_Menu_Item*>(nullptr));
        }
        res->redraw();
    }

    bool soundChecked() const override { return sound->value() != 0; }
    void setSoundChecked(bool checked) override { sound->value(checked ? 1 : 0); }
    void setSoundVisible(bool visible) override { visible ? sound->show() : sound->hide(); }

    std::vector<std::string> customLines() const override {
        return splitLines(customStrings->value());
    }
    void setCustomLines(const std::vector<std::string>& lines) override {
        const std::string text = joinLines(lines, "\n");
        customStrings->value(text.c_str(), static_cast<int>(text.size()));
    }
    void setCustomBoxVisible(bool visible) override {
        visible ? customBox->show() : customBox->hide();
    }
    void setPanel1Visible(bool visible) override { visible ? panel->show() : panel->hide(); }

    void enableStopTimer() override {
        Fl::remove_timeout(onStop, this);
        Fl::add_timeout(layout.stopTimerMs / 1000.0, onStop, this);
    }

    const Bitmap& logo() const override { return logoPicture; }

    // --- FltkMainForm
    void showAsMainForm() override { show(); }
    void closeMainForm() override { close(); }
    bool isClosed() const override { return closed; }

    // --- from the window
    bool coversTheScreen() const { return fullScreen; }
    void report(void (FormEvents::*handler)()) {
        if (events != nullptr) {
            runGuarded([&] { (events->*handler)(); });
        }
    }

    // False when the window draws itself as usual.
    bool drawWindow() {
        if (logWidth > 0) {
            fl_color(FL_BLACK);
            fl_rectf(0, 0, logWidth, logHeight);
            fl_font(FL_HELVETICA, fontSize);
            for (const CanvasText& t : logTexts) {
                fl_color(fltkColour(t.colour));
                fl_draw(t.text.c_str(), t.x, t.y + fl_height() - fl_descent());
            }
            return true;
        }
        return glOwned; // the GL picture is drawn by its owner
    }

    void resized() {
        const int h = window->h(), w = window->w();
        panel->resize(0, 0, w, h);
        button1->position(button1->x(), h - layout.button1BottomGap());
        label2->resize(0, h - layout.label2.height, w, layout.label2.height);
        if (resizeHandler) {
            resizeHandler();
        }
    }

private:
    // One monitor's full-screen window covers that monitor as it is now; false where this is no
    // monitor's full-screen run.
    bool coverRunMonitor() {
        Monitor monitor;
        if (!fullScreen || !x11RunMonitor(monitor))
            return false;
        window->resize(monitor.x, monitor.y, monitor.width, monitor.height);
        return true;
    }
    // The 32 and 16 pixel icons, those that were given; FLTK copies the images.
    void setIcons() {
        std::vector<uchar> largeRgb = rgbOf(icon32), smallRgb = rgbOf(icon16);
        Fl_RGB_Image largeImage(largeRgb.data(), icon32.width, icon32.height, 3);
        Fl_RGB_Image smallImage(smallRgb.data(), icon16.width, icon16.height, 3);
        const Fl_RGB_Image* icons[2];
        int count = 0;
        for (const Fl_RGB_Image* icon : {&largeImage, &smallImage}) {
            if (icon->w() > 0 && icon->h() > 0) {
                icons[count++] = icon;
            }
        }
        window->icons(icons, count);
    }

    int frameWidth() const { return window->border() ? 2 * frameBorder : 0; }
    int frameHeight() const { return window->border() ? 2 * frameBorder + frameCaption : 0; }

    static void onCloseBox(Fl_Widget*, void* self) {
        // Escape is not a close request in this dialog.
        if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) {
            return;
        }
        runGuarded([self] { static_cast<FltkForm*>(self)->close(); });
    }

    static void onButton(Fl_Widget* widget, void* which) {
        FltkForm& form = static_cast<FormWidget*>(widget->top_window())->form;
        switch (static_cast<Control>(reinterpret_cast<intptr_t>(which))) {
        case Control::button1:
            form.report(&FormEvents::Button1Click);
            break;
        case Control::button2:
            form.report(&FormEvents::Button2Click);
            break;
        case Control::label2:
            form.report(&FormEvents::Label2Click);
            break;
        }
    }
    static void* tag(Control control) {
        return reinterpret_cast<void*>(static_cast<intptr_t>(control));
    }

    static std::vector<FltkForm*>& liveForms() {
        static std::vector<FltkForm*> forms;
        return forms;
    }

    // Every motion event counts: FLTK merges the motion events waiting in one batch into one,
    // so they are counted here, as X delivers them, before that merging.
    static int countMotion(void* event, void*) {
        const XEvent* e = static_cast<const XEvent*>(event);
        if (e->type != MotionNotify) {
            return 0;
        }
        for (FltkForm* form : liveForms()) {
            if (form->window->shown() && fl_xid(form->window.get()) == e->xmotion.window) {
                form->report(&FormEvents::FormMouseMove);
                break;
            }
        }
        return 0; // FLTK goes on with it as usual
    }

    static void onStop(void* self) { static_cast<FltkForm*>(self)->report(&FormEvents::stopTimer); }

    std::unique_ptr<FormWidget> window;
    Fl_Group* panel = nullptr;
    Fl_Choice* res = nullptr;
    Fl_Check_Button* sound = nullptr;
    GroupBox* customBox = nullptr;
    Fl_Multiline_Input* customStrings = nullptr;
    Fl_Button* button1 = nullptr;
    Fl_Button* button2 = nullptr;
    Fl_Box* label1 = nullptr;
    LinkLabel* label2 = nullptr;

    FormEvents* events = nullptr;
    std::function<void()> resizeHandler;
    Bitmap logoPicture;
    Bitmap icon32;
    Bitmap icon16;
    uintptr_t previewHost = 0;
    std::unique_ptr<HostWindow> previewWatch; // the preview's host, watched for its end
    bool fullScreen = false;
    bool hidden = false;
    bool glOwned = false;
    bool closed = false;
    int logWidth = 0;
    int logHeight = 0;
    std::vector<CanvasText> logTexts;
};

int FormWidget::handle(int event) {
    const int used = Fl_Window::handle(event);
    switch (event) {
    case FL_KEYBOARD:
        form.report(&FormEvents::FormKeyDown);
        return 1; // no shortcut pass follows, so one key is one report
    case FL_SHORTCUT:
        // A key that comes while the toolkit knows no focus is passed on as a shortcut: with a
        // full-screen window on each monitor, the one that holds the keyboard may not hold the
        // focus.
        if (form.coversTheScreen()) {
            form.report(&FormEvents::FormKeyDown);
            return 1;
        }
        return used;
    case FL_PUSH:
        form.report(&FormEvents::FormMouseDown);
        return 1;
    case FL_MOVE:
    case FL_DRAG:
        return 1; // counted from the X events themselves (see countMotion)
    case FL_ENTER:
    case FL_FOCUS:
        return 1;
    default:
        return used;
    }
}

void FormWidget::draw() {
    if (!form.drawWindow()) {
        Fl_Window::draw();
    }
}

void FormWidget::resize(int x, int y, int w, int h) {
    const bool changed = w != this->w() || h != this->h();
    Fl_Window::resize(x, y, w, h);
    if (changed) {
        form.resized();
    }
}

} // namespace

std::unique_ptr<FormView> createFltkForm(const FormArt& art) {
    return std::make_unique<FltkForm>(art);
}
