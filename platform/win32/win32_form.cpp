// The form (FormView, createWin32Form) on Win32: one window of the class "TForm1" with native
// controls at the layout's pixel positions, its input reported to FormEvents, the stop timer,
// the start-up log drawn with GDI on an off-screen bitmap, and the preview as a child window of
// the host that ends when the host goes. Its icon and preview logo are resources of the program,
// as a Windows saver carries them (Explorer shows that icon); of the art it is given, the form
// uses the link text.
#include "platform/win32/win32_services.h"

#include "platform/error_display.h"
#include "platform/exception.h"
#include "platform/form_layout.h"
#include "platform/text_lines.h"
#include "platform/win32/resources.h"
#include "platform/win32/win32_loop.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>

namespace {

constexpr const char* className = win32FormClassName;
constexpr const FormLayout& layout = formLayout;
// How often the preview looks whether its host is still there; the system destroys the child
// with its host, this catches a host that was never a window.
constexpr UINT hostCheckMs = 250;

enum TimerId : UINT_PTR { stopTimerId = 1, hostTimerId = 2 };
enum ControlId : int {
    idRes = 100,
    idSound,
    idCustomStrings,
    idButton1,
    idButton2,
    idLabel2,
    idGroupBox1,
    idCustomBox,
    idLabel1
};

// Without WS_CLIPCHILDREN: the group boxes draw only their frames, the form's background shows
// through them.
constexpr DWORD dialogStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
constexpr DWORD dialogExStyle = WS_EX_TOOLWINDOW | WS_EX_TOPMOST | WS_EX_CONTROLPARENT;

LRESULT CALLBACK formProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The layout's font at a pixel height (as a negative height asks GDI for).
HFONT layoutFont(int pixels, int weight, BOOL underline) {
    return CreateFontA(-pixels, 0, 0, 0, weight, FALSE, underline, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_SWISS, layout.fontName);
}

void registerClass() {
    static bool registered = false;
    if (registered) {
        return;
    }
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_OWNDC; // the GL context keeps the window's one device context
    windowClass.lpfnWndProc = formProcedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(KELVARA_ICON));
    windowClass.hIconSm = static_cast<HICON>(
        LoadImageA(instance, MAKEINTRESOURCEA(KELVARA_ICON), IMAGE_ICON, 16, 16, 0));
    windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    windowClass.lpszClassName = className;
    if (RegisterClassExA(&windowClass) == 0) {
        throw Exception("Cannot register the window class");
    }
    registered = true;
}

// The logo resource as a 24-bit picture.
Bitmap loadLogo() {
    HBITMAP handle = static_cast<HBITMAP>(LoadImageA(GetModuleHandleA(nullptr),
                                                     MAKEINTRESOURCEA(KELVARA_PREVIEW_LOGO),
                                                     IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    DIBSECTION section{};
    if (handle == nullptr || GetObjectA(handle, sizeof section, &section) != sizeof section ||
        section.dsBm.bmBitsPixel != 24 || section.dsBm.bmBits == nullptr) {
        if (handle != nullptr) {
            DeleteObject(handle);
        }
        throw Exception("The preview logo is missing from the program");
    }
    const int width = section.dsBm.bmWidth;
    const int height = section.dsBm.bmHeight;
    Bitmap logo(width, height, 24);
    const auto* bits = static_cast<const uint8_t*>(section.dsBm.bmBits);
    const size_t stride = static_cast<size_t>(section.dsBm.bmWidthBytes);
    const bool bottomUp = section.dsBmih.biHeight > 0;
    for (int y = 0; y < height; ++y) {
        const int source = bottomUp ? height - 1 - y : y;
        std::memcpy(logo.row(y), bits + stride * source, logo.rowBytes());
    }
    DeleteObject(handle);
    return logo;
}

class Win32Form : public FormView, public Win32MainForm {
public:
    explicit Win32Form(const FormArt& art) : logoPicture(loadLogo()) {
        // A construction that fails releases what it made: a window left without its form
        // would lead the messages it still gets (the error box's loop sends some) to freed
        // memory.
        struct Unwinding {
            Win32Form& form;
            const int before = std::uncaught_exceptions();
            ~Unwinding() {
                if (std::uncaught_exceptions() > before) {
                    form.release();
                }
            }
        } unwinding{*this};
        registerClass();
        formFont = layoutFont(layout.fontPixels, FW_NORMAL, FALSE);
        linkFont = layoutFont(layout.linkFontPixels, FW_BOLD, TRUE);
        background = CreateSolidBrush(static_cast<COLORREF>(layout.colour));
        RECT outer{0, 0, layout.clientWidth, layout.clientHeight};
        AdjustWindowRectEx(&outer, dialogStyle, FALSE, dialogExStyle);
        window =
            CreateWindowExA(dialogExStyle, className, layout.caption, dialogStyle, CW_USEDEFAULT,
                            CW_USEDEFAULT, outer.right - outer.left, outer.bottom - outer.top,
                            nullptr, nullptr, GetModuleHandleA(nullptr), this);
        if (window == nullptr) {
            throw Exception("Cannot create the form's window");
        }

        groupBox1 = control("BUTTON", layout.groupBox1, BS_GROUPBOX, idGroupBox1);
        label1 = control("STATIC", layout.label1, SS_LEFT, idLabel1);
        ControlLayout resWithList = layout.res;
        resWithList.height += 200; // a combo box's height takes in its open list
        res = control("COMBOBOX", resWithList,
                      CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP | WS_GROUP, idRes);
        resAdd(layout.resFirstItem);
        sound = control("BUTTON", layout.sound, BS_AUTOCHECKBOX | WS_TABSTOP, idSound);
        setSoundChecked(layout.soundChecked);
        customBox = control("BUTTON", layout.customBox, BS_GROUPBOX, idCustomBox);
        customStrings = control("EDIT", layout.customStrings,
                                ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_VSCROLL |
                                    WS_BORDER | WS_TABSTOP,
                                idCustomStrings);
        button2 = control("BUTTON", layout.button2, BS_PUSHBUTTON | WS_TABSTOP, idButton2);
        button1 = control("BUTTON", layout.button1, BS_PUSHBUTTON | WS_TABSTOP, idButton1);
        ControlLayout link = layout.label2;
        link.text = art.linkText.c_str();
        label2 = control("STATIC", link, SS_CENTER | SS_NOTIFY, idLabel2);
        SendMessageA(label2, WM_SETFONT, reinterpret_cast<WPARAM>(linkFont), FALSE);
        fitLabel(label1, layout.res.left);
        applyVisibility();

        if (win32MainForm() == nullptr) {
            setWin32MainForm(this);
        }
    }

    ~Win32Form() override { release(); }

    Win32Form(const Win32Form&) = delete;
    Win32Form& operator=(const Win32Form&) = delete;

    // --- FormWindow
    NativeWindow nativeWindow() override {
        glOwned = true;
        return NativeWindow{nullptr, reinterpret_cast<uintptr_t>(window)};
    }
    int width() const override { return windowRect().right - windowRect().left; }
    int height() const override { return windowRect().bottom - windowRect().top; }
    int clientWidth() const override { return clientRect().right; }
    int clientHeight() const override { return clientRect().bottom; }
    void setSize(int w, int h) override {
        // One monitor's full-screen window covers that monitor as it is now, whatever the size
        // asked for: the primary's after its mode switch, the others' at their own.
        if (fullScreen && win32IsMonitorRun()) {
            coverScreen();
            return;
        }
        SetWindowPos(window, nullptr, 0, 0, std::max(1, w), std::max(1, h),
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    void setResizeHandler(std::function<void()> handler) override {
        resizeHandler = std::move(handler);
    }
    void processPendingMessages() override {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(message.wParam)); // for the loop to see
                break;
            }
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    void paintTexts(int w, int h, const std::vector<CanvasText>& texts) override {
        releaseLog();
        HDC screen = GetDC(window);
        logDc = CreateCompatibleDC(screen);
        logBitmap = CreateCompatibleBitmap(screen, std::max(1, w), std::max(1, h));
        ReleaseDC(window, screen);
        if (logDc == nullptr || logBitmap == nullptr) {
            releaseLog();
            return;
        }
        logOld = SelectObject(logDc, logBitmap);
        logWidth = w;
        logHeight = h;
        RECT all{0, 0, w, h};
        FillRect(logDc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        HGDIOBJ oldFont = SelectObject(logDc, formFont);
        SetBkMode(logDc, TRANSPARENT);
        for (const CanvasText& t : texts) {
            SetTextColor(logDc, static_cast<COLORREF>(t.colour)); // 0x00BBGGRR, as GDI takes it
            TextOutA(logDc, t.x, t.y, t.text.c_str(), static_cast<int>(t.text.size()));
        }
        SelectObject(logDc, oldFont);
        if (!IsWindowVisible(window)) {
            show();
        }
        InvalidateRect(window, nullptr, FALSE);
        UpdateWindow(window);
    }

    // --- FormView
    void setEvents(FormEvents* newEvents) override { events = newEvents; }
    void setCaption(const std::string& caption) override {
        SetWindowTextA(window, caption.c_str());
    }

    void show() override {
        if (closed || windowGone || keptHidden) {
            return;
        }
        if (previewHost != 0) {
            ShowWindow(window, SW_SHOWNA); // inside the host, outside its little picture
            return;
        }
        if (fullScreen) {
            // Where the run is one monitor's, it shows (and then switches the display mode)
            // only once every run has its picture: monitors that mirror each other show each
            // other's windows, and the primary's switch may move the others.
            waitForEveryWin32Picture();
            coverScreen();
        } else if (!IsWindowVisible(window)) {
            const int left = (GetSystemMetrics(SM_CXSCREEN) - width()) / 2;
            const int top = (GetSystemMetrics(SM_CYSCREEN) - height()) / 2;
            SetWindowPos(window, HWND_TOPMOST, left, top, 0, 0, SWP_NOSIZE);
        }
        ShowWindow(window, SW_SHOW);
        SetForegroundWindow(window);
        UpdateWindow(window);
    }
    void hide() override {
        if (!windowGone) {
            ShowWindow(window, SW_HIDE);
        }
    }
    void makeFullScreen() override {
        fullScreen = true;
        const LONG_PTR visible = GetWindowLongPtrA(window, GWL_STYLE) & WS_VISIBLE;
        SetWindowLongPtrA(window, GWL_STYLE, WS_POPUP | WS_CLIPCHILDREN | visible);
        SetWindowLongPtrA(window, GWL_EXSTYLE, WS_EX_TOPMOST);
        coverScreen();
    }
    void keepHidden() override { keptHidden = true; }
    void makePreviewChild(uintptr_t hostWindow) override {
        previewHost = hostWindow != 0 ? hostWindow : 1;
        HWND host = reinterpret_cast<HWND>(previewHost);
        if (!IsWindow(host)) {
            // Nothing to paint into: closed already, so that the message loop does not start
            // and nothing of the form shows; the form's owner tears down as after any run.
            std::fprintf(stderr,
                         "kelvara: There is no window 0x%llx on this display; the preview "
                         "ends\n",
                         static_cast<unsigned long long>(hostWindow));
            std::fflush(stderr);
            closed = true;
            return;
        }
        SetWindowLongPtrA(window, GWL_STYLE, WS_CHILD | WS_CLIPSIBLINGS);
        SetWindowLongPtrA(window, GWL_EXSTYLE, 0);
        SetParent(window, host);
        SetWindowPos(window, nullptr, layout.left, layout.top, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
        SetTimer(window, hostTimerId, hostCheckMs, nullptr);
    }
    void setHeight(int outerHeight) override {
        SetWindowPos(window, nullptr, 0, 0, width(), std::max(1, outerHeight),
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    void focus() override { SetFocus(window); }
    void bringToForeground() override { SetForegroundWindow(window); }
    void hideOwnerWindow() override {
        HWND owner = GetWindow(window, GW_OWNER);
        if (owner != nullptr) {
            ShowWindow(owner, SW_HIDE);
        }
    }
    void close() override {
        if (closed) {
            return;
        }
        closed = true;
        if (!windowGone) {
            KillTimer(window, stopTimerId);
            KillTimer(window, hostTimerId);
            // Gone from the screen now; the window itself stays until the teardown has released
            // the GL context that draws on it.
            ShowWindow(window, SW_HIDE);
        }
        if (events != nullptr) {
            events->FormDestroy();
        }
    }

    void resAdd(const std::string& text) override {
        SendMessageA(res, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    int resCount() const override { return static_cast<int>(SendMessageA(res, CB_GETCOUNT, 0, 0)); }
    int resSelectedIndex() const override {
        return static_cast<int>(SendMessageA(res, CB_GETCURSEL, 0, 0)); // CB_ERR is -1
    }
    void resSelect(int index) override {
        SendMessageA(res, CB_SETCURSEL, index >= 0 && index < resCount() ? index : -1, 0);
    }

    bool soundChecked() const override {
        return SendMessageA(sound, BM_GETCHECK, 0, 0) == BST_CHECKED;
    }
    void setSoundChecked(bool checked) override {
        SendMessageA(sound, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    void setSoundVisible(bool visible) override {
        soundVisible = visible;
        applyVisibility();
    }

    // The memo's text is its lines, each ended by CR LF; a last line without one counts too.
    std::vector<std::string> customLines() const override {
        const int length = GetWindowTextLengthA(customStrings);
        std::string text(static_cast<size_t>(std::max(0, length)) + 1, '\0');
        text.resize(static_cast<size_t>(
            GetWindowTextA(customStrings, text.data(), static_cast<int>(text.size()))));
        return splitLines(text);
    }
    void setCustomLines(const std::vector<std::string>& lines) override {
        const std::string text = joinLines(lines, "\r\n");
        SetWindowTextA(customStrings, text.c_str());
    }
    void setCustomBoxVisible(bool visible) override {
        customVisible = visible;
        applyVisibility();
    }
    void setPanel1Visible(bool visible) override {
        panelVisible = visible;
        applyVisibility();
        InvalidateRect(window, nullptr, TRUE);
    }

    void enableStopTimer() override {
        SetTimer(window, stopTimerId, static_cast<UINT>(layout.stopTimerMs), nullptr);
    }

    const Bitmap& logo() const override { return logoPicture; }

    // --- Win32MainForm
    void showAsMainForm() override { show(); }
    bool isClosed() const override { return closed; }
    HWND windowHandle() const override { return window; }

    // --- from the window procedure
    void attach(HWND made) { window = made; } // messages come before CreateWindowExA returns
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);

private:
    // Everything the form made, whether it was made whole or not.
    void release() {
        if (win32MainForm() == this) {
            setWin32MainForm(nullptr);
        }
        if (window != nullptr) {
            KillTimer(window, stopTimerId);
            KillTimer(window, hostTimerId);
            SetWindowLongPtrA(window, GWLP_USERDATA, 0);
            DestroyWindow(window);
            window = nullptr;
        }
        releaseLog();
        for (HFONT font : {formFont, linkFont, fittedFont}) {
            if (font != nullptr) {
                DeleteObject(font);
            }
        }
        if (background != nullptr) {
            DeleteObject(background);
        }
    }

    // A control of the window class kind at the layout's rectangle, with its text.
    HWND control(const char* kind, const ControlLayout& at, DWORD style, int id) {
        HWND made = CreateWindowExA(std::strcmp(kind, "EDIT") == 0 ? WS_EX_CLIENTEDGE : 0, kind,
                                    at.text, WS_CHILD | style, at.left, at.top, at.width, at.height,
                                    window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                    GetModuleHandleA(nullptr), nullptr);
        if (made == nullptr) {
            throw Exception(std::string("Cannot create the form's ") + kind);
        }
        SendMessageA(made, WM_SETFONT, reinterpret_cast<WPARAM>(formFont), FALSE);
        return made;
    }

    // The layout's sizes are those of an 8-point bitmap font; where the system substitutes a
    // wider one (Wine does), the label takes the room up to the control beside it, and a smaller
    // size of the font when even that is not enough.
    void fitLabel(HWND label, int rightEdge) {
        char text[64] = "";
        const int length = GetWindowTextA(label, text, sizeof text);
        RECT r{};
        GetWindowRect(label, &r);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
        const int room = rightEdge - r.left - 2;
        HDC dc = GetDC(label);
        for (int size = layout.fontPixels; size >= 8; --size) {
            HFONT font = size == layout.fontPixels ? formFont : layoutFont(size, FW_NORMAL, FALSE);
            HGDIOBJ old = SelectObject(dc, font);
            SIZE extent{};
            GetTextExtentPoint32A(dc, text, length, &extent);
            SelectObject(dc, old);
            if (extent.cx <= room || size == 8) {
                SetWindowPos(label, nullptr, 0, 0, std::max<int>(r.right - r.left, extent.cx + 1),
                             r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
                if (font != formFont) {
                    SendMessageA(label, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
                    fittedFont = font;
                }
                break;
            }
            if (font != formFont) {
                DeleteObject(font);
            }
        }
        ReleaseDC(label, dc);
    }

    void applyVisibility() {
        auto set = [](HWND w, bool visible) { ShowWindow(w, visible ? SW_SHOWNA : SW_HIDE); };
        for (HWND w : {groupBox1, label1, res, button1, label2}) {
            set(w, panelVisible);
        }
        set(sound, panelVisible && soundVisible);
        for (HWND w : {customBox, customStrings, button2}) {
            set(w, panelVisible && customVisible);
        }
    }

    // In physical pixels, since the program is aware of each monitor's scale.
    void coverScreen() {
        const Monitor area = win32CoveredArea();
        SetWindowPos(window, HWND_TOPMOST, area.x, area.y, area.width, area.height,
                     SWP_FRAMECHANGED | SWP_NOACTIVATE);
    }

    void relayout() {
        if (button1 == nullptr || label2 == nullptr) {
            return; // still being made
        }
        const int w = clientWidth(), h = clientHeight();
        SetWindowPos(button1, nullptr, layout.button1.left, h - layout.button1BottomGap(), 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        SetWindowPos(label2, nullptr, 0, h - layout.label2.height, w, layout.label2.height,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        if (resizeHandler) {
            runGuarded(resizeHandler);
        }
    }

    void report(void (FormEvents::*handler)()) {
        if (events != nullptr) {
            runGuarded([&] { (events->*handler)(); });
        }
    }

    void releaseLog() {
        if (logDc != nullptr) {
            SelectObject(logDc, logOld);
            DeleteDC(logDc);
            logDc = nullptr;
        }
        if (logBitmap != nullptr) {
            DeleteObject(logBitmap);
            logBitmap = nullptr;
        }
        logWidth = logHeight = 0;
    }

    RECT windowRect() const {
        RECT r{};
        GetWindowRect(window, &r);
        return r;
    }
    RECT clientRect() const {
        RECT r{};
        GetClientRect(window, &r);
        return r;
    }

    HWND window = nullptr;
    HWND groupBox1 = nullptr, label1 = nullptr, res = nullptr, sound = nullptr;
    HWND customBox = nullptr, customStrings = nullptr, button1 = nullptr, button2 = nullptr;
    HWND label2 = nullptr;
    HFONT formFont = nullptr;
    HFONT linkFont = nullptr;
    HFONT fittedFont = nullptr; // a smaller font for a label, when one was needed
    HBRUSH background = nullptr;

    FormEvents* events = nullptr;
    std::function<void()> resizeHandler;
    Bitmap logoPicture;
    uintptr_t previewHost = 0;
    bool panelVisible = false;
    bool soundVisible = true;
    bool customVisible = true;
    bool fullScreen = false;
    bool keptHidden = false;
    bool glOwned = false;
    bool closed = false;
    bool windowGone = false; // destroyed by the system with its host

    HDC logDc = nullptr;
    HBITMAP logBitmap = nullptr;
    HGDIOBJ logOld = nullptr;
    int logWidth = 0;
    int logHeight = 0;
};

LRESULT Win32Form::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ERASEBKGND: {
        if (glOwned || logDc != nullptr) {
            return 1; // the GL picture or the log covers it all
        }
        RECT r = clientRect();
        FillRect(reinterpret_cast<HDC>(wParam), &r,
                 panelVisible ? GetSysColorBrush(COLOR_BTNFACE) : background);
        return 1;
    }
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        if (logDc != nullptr) {
            BitBlt(dc, 0, 0, logWidth, logHeight, logDc, 0, 0, SRCCOPY);
        }
        EndPaint(window, &paint);
        return 0;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
        HDC dc = reinterpret_cast<HDC>(wParam);
        if (reinterpret_cast<HWND>(lParam) == label2) {
            SetTextColor(dc, static_cast<COLORREF>(layout.linkColour));
        }
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_SETCURSOR:
        if (reinterpret_cast<HWND>(wParam) == label2) {
            SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_HAND)));
            return TRUE;
        }
        if (fullScreen && LOWORD(lParam) == HTCLIENT) {
            SetCursor(nullptr);
            return TRUE;
        }
        break;
    case WM_GETDLGCODE:
        if (!panelVisible) {
            return DLGC_WANTALLKEYS; // every key of the full-screen run is its own
        }
        break;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case idButton1:
            report(&FormEvents::Button1Click);
            return 0;
        case idButton2:
            report(&FormEvents::Button2Click);
            return 0;
        case idLabel2:
            if (HIWORD(wParam) == STN_CLICKED) {
                report(&FormEvents::Label2Click);
            }
            return 0;
        default:
            return 0; // Enter and Escape are no requests of their own in this dialog
        }
    case WM_KEYDOWN:
        report(&FormEvents::FormKeyDown);
        return 0;
    case WM_SYSKEYDOWN:
        report(&FormEvents::FormKeyDown);
        break; // Alt+F4 and the window menu still work
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        report(&FormEvents::FormMouseDown);
        return 0;
    case WM_MOUSEMOVE:
        report(&FormEvents::FormMouseMove);
        return 0;
    case WM_TIMER:
        if (wParam == stopTimerId) {
            KillTimer(window, stopTimerId);
            report(&FormEvents::stopTimer);
        } else if (wParam == hostTimerId && !IsWindow(reinterpret_cast<HWND>(previewHost))) {
            runGuarded([this] { close(); });
        }
        return 0;
    case WM_SIZE:
        relayout();
        return 0;
    case WM_DISPLAYCHANGE:
        if (fullScreen && !closed) {
            coverScreen();
        }
        return 0;
    case WM_CLOSE:
        runGuarded([this] { close(); });
        return 0;
    case WM_DESTROY:
        // Only the system destroys the window while the form lives: its host went.
        windowGone = true;
        runGuarded([this] { close(); });
        return 0;
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK formProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        auto* form = static_cast<Win32Form*>(create->lpCreateParams);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
        form->attach(window);
    }
    auto* form = reinterpret_cast<Win32Form*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (form == nullptr) {
        return DefWindowProcA(window, message, wParam, lParam);
    }
    return form->handle(message, wParam, lParam);
}

} // namespace

std::unique_ptr<FormView> createWin32Form(const FormArt& art) {
    return std::make_unique<Win32Form>(art);
}
