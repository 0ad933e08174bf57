// Checks of the Windows back end's own code that need Windows (here Wine) to run, linked with
// the back end and the program's resources. Each prints what it found and exits 0 when the
// behaviour holds.
//   win32_checks failed-form    a form whose control cannot be made leaves no window behind
//   win32_checks owned NAME     the named mutex is held by another process
//   win32_checks repaint        the preview paints a picture that changed
//   win32_checks swap-interval  the GL surface asks for one frame per refresh, on a window left
//                               unpaced before (exits 77 without WGL_EXT_swap_control)
#include "platform/exception.h"
#include "platform/form_view.h"
#include "platform/gl.h"
#include "platform/win32/win32_services.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

// Refuses every combo box, as a system out of window resources would.
LRESULT CALLBACK refuseComboBoxes(int code, WPARAM wParam, LPARAM lParam) {
    char name[32] = "";
    if (code == HCBT_CREATEWND && GetClassNameA(reinterpret_cast<HWND>(wParam), name, 32) > 0 &&
        lstrcmpiA(name, "ComboBox") == 0) {
        return 1;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

int failedForm() {
    HHOOK hook = SetWindowsHookExA(WH_CBT, refuseComboBoxes, nullptr, GetCurrentThreadId());
    std::string message = "(none)";
    try {
        createWin32Form(FormArt{});
    } catch (const Exception& e) {
        message = e.message;
    }
    UnhookWindowsHookEx(hook);
    // A window still there would send its messages to the form that is gone.
    const bool left = FindWindowA("TForm1", nullptr) != nullptr;
    std::printf("error: %s\nform window left: %s\n", message.c_str(), left ? "yes" : "no");
    return message == "Cannot create the form's COMBOBOX" && !left ? 0 : 1;
}

int owned(const char* name) {
    HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, name);
    if (mutex == nullptr) {
        std::printf("no mutex %s\n", name);
        return 2;
    }
    const DWORD result = WaitForSingleObject(mutex, 0);
    std::printf("%s %s\n", name, result == WAIT_TIMEOUT ? "owned" : "free");
    if (result != WAIT_TIMEOUT) {
        ReleaseMutex(mutex);
    }
    CloseHandle(mutex);
    return result == WAIT_TIMEOUT ? 0 : 1;
}

Bitmap filled(int width, int height, uint8_t blue, uint8_t green, uint8_t red) {
    Bitmap picture(width, height, 24);
    for (size_t i = 0; i < picture.pixels.size(); i += 3) {
        picture.pixels[i] = blue;
        picture.pixels[i + 1] = green;
        picture.pixels[i + 2] = red;
    }
    return picture;
}

int repaint() {
    HWND host = CreateWindowExA(WS_EX_TOPMOST, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 200, 120,
                                nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    UpdateWindow(host);
    const uintptr_t window = reinterpret_cast<uintptr_t>(host);
    const Bitmap red = filled(140, 70, 0, 0, 255);
    const Bitmap blue = filled(100, 50, 255, 0, 0);
    paintIntoWin32Window(window, red, 5, 20, 140, 70);
    paintIntoWin32Window(window, blue, 5, 20, 100, 50);
    HDC dc = GetDC(host);
    const COLORREF inside = GetPixel(dc, 50, 40);
    ReleaseDC(host, dc);
    DestroyWindow(host);
    std::printf("after the change: 0x%06lx\n", static_cast<unsigned long>(inside));
    return inside == RGB(0, 0, 255) ? 0 : 1;
}

using SwapInterval = BOOL(WINAPI*)(int);
using GetSwapInterval = int(WINAPI*)();

// The window's drawable at swap interval 0 first, as a driver that does not sync by default
// leaves it (Wine's default is 1), through a context of the same pixel format that goes again.
bool unpaced(HWND window, const PIXELFORMATDESCRIPTOR& pfd) {
    HDC dc = GetDC(window);
    const int number = ChoosePixelFormat(dc, &pfd);
    HGLRC context =
        number != 0 && SetPixelFormat(dc, number, &pfd) ? wglCreateContext(dc) : nullptr;
    bool done = false;
    if (context != nullptr && wglMakeCurrent(dc, context)) {
        auto set = reinterpret_cast<SwapInterval>(wglProcAddress("wglSwapIntervalEXT"));
        auto get = reinterpret_cast<GetSwapInterval>(wglProcAddress("wglGetSwapIntervalEXT"));
        done = set != nullptr && get != nullptr && set(0) && get() == 0;
        wglMakeCurrent(nullptr, nullptr);
    }
    if (context != nullptr) {
        wglDeleteContext(context);
    }
    ReleaseDC(window, dc);
    return done;
}

int swapInterval() {
    HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 64, 64, nullptr,
                                  nullptr, GetModuleHandleA(nullptr), nullptr);
    // The format the surface chooses for the full-screen run's descriptor.
    PixelFormatDescriptor descriptor;
    descriptor.doubleBuffer = true;
    PIXELFORMATDESCRIPTOR pfd{};
    pfd.nSize = sizeof pfd;
    pfd.nVersion = 1;
    pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    pfd.iPixelType = PFD_TYPE_RGBA;
    pfd.cColorBits = static_cast<BYTE>(descriptor.colorBits);
    pfd.cDepthBits = static_cast<BYTE>(descriptor.depthBits);
    pfd.iLayerType = PFD_MAIN_PLANE;
    if (!unpaced(window, pfd)) {
        std::printf("no WGL_EXT_swap_control to set interval 0 with\n");
        DestroyWindow(window);
        return 77;
    }
    int interval = -1;
    try {
        const std::unique_ptr<GlSurface> surface = createWglSurface(
            NativeWindow{nullptr, reinterpret_cast<uintptr_t>(window)}, 64, 64, descriptor);
        interval = reinterpret_cast<GetSwapInterval>(wglProcAddress("wglGetSwapIntervalEXT"))();
    } catch (const Exception& e) {
        std::printf("no surface: %s\n", e.message.c_str());
    }
    DestroyWindow(window);
    std::printf("swap interval: %d\n", interval);
    return interval == 1 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "failed-form") == 0) {
        return failedForm();
    }
    if (argc == 3 && std::strcmp(argv[1], "owned") == 0) {
        return owned(argv[2]);
    }
    if (argc == 2 && std::strcmp(argv[1], "repaint") == 0) {
        return repaint();
    }
    if (argc == 2 && std::strcmp(argv[1], "swap-interval") == 0) {
        return swapInterval();
    }
    std::fprintf(stderr,
                 "usage: win32_checks failed-form | owned NAME | repaint | swap-interval\n");
    return 2;
}
