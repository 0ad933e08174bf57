// The OpenGL surface (createWglSurface) and entry-point lookup (wglProcAddress) on WGL: the
// window's own device context, ChoosePixelFormat and SetPixelFormat with the descriptor as asked,
// wglCreateContext, wglMakeCurrent, one frame per refresh of the display where the driver lets a
// program ask, SwapBuffers.
#include "platform/win32/win32_services.h"

#include "platform/exception.h"
#include "platform/gl.h"
#include "platform/gl_extension_list.h"

#include <windows.h>

void* wglProcAddress(const char* name) {
    void* address = reinterpret_cast<void*>(wglGetProcAddress(name));
    // Some drivers answer 1, 2, 3 or -1 for "none".
    const intptr_t value = reinterpret_cast<intptr_t>(address);
    if (value >= -1 && value <= 3) {
        // OpenGL 1.1 functions are exported by opengl32 itself, not by the driver.
        HMODULE library = GetModuleHandleA("opengl32.dll");
        address = library ? reinterpret_cast<void*>(GetProcAddress(library, name)) : nullptr;
    }
    return address;
}

namespace {

// Asks for one frame per refresh of the display (WGL_EXT_swap_control, interval 1). Every frame
// moves the effect one step, so its pace is the frame rate, and drivers that do not sync by
// default would draw thousands of frames a second. WGL's extensions are listed by
// wglGetExtensionsStringARB or EXT, or by older drivers among OpenGL's own; where none lists
// it, the driver's default stands. Needs the context current.
void askForOneFramePerRefresh(HDC deviceContext) {
    using ArbList = const char*(WINAPI*)(HDC);
    using ExtList = const char*(WINAPI*)();
    using SwapInterval = BOOL(WINAPI*)(int);
    const char* wglList = nullptr;
    if (auto arb = reinterpret_cast<ArbList>(wglProcAddress("wglGetExtensionsStringARB"))) {
        wglList = arb(deviceContext);
    } else if (auto ext = reinterpret_cast<ExtList>(wglProcAddress("wglGetExtensionsStringEXT"))) {
        wglList = ext();
    }
    const char* glList = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    if (listsExtension(wglList, "WGL_EXT_swap_control") ||
        listsExtension(glList, "WGL_EXT_swap_control")) {
        if (auto set = reinterpret_cast<SwapInterval>(wglProcAddress("wglSwapIntervalEXT"))) {
            set(1);
        }
    }
}

// What the surface holds of the window and WGL.
struct Native {
    HWND window = nullptr;
    HDC deviceContext = nullptr;
    HGLRC renderContext = nullptr;

    // Releases in the reverse order of creation; safe on a half-built surface.
    void release() {
        if (renderContext != nullptr) {
            if (wglGetCurrentContext() == renderContext) {
                wglMakeCurrent(nullptr, nullptr);
            }
            wglDeleteContext(renderContext);
            renderContext = nullptr;
        }
        if (deviceContext != nullptr) {
            ReleaseDC(window, deviceContext);
            deviceContext = nullptr;
        }
    }
};

class WglSurface final : public GlSurface {
public:
    WglSurface(const NativeWindow& window, const PixelFormatDescriptor& descriptor);
    ~WglSurface() override { native.release(); }
    WglSurface(const WglSurface&) = delete;
    WglSurface& operator=(const WglSurface&) = delete;

    // The context draws on the window itself, which has the client size already.
    void resize(int, int) override {}
    void swapBuffers() override { SwapBuffers(native.deviceContext); }
    // The window paints over its own client area with GDI; nothing covers it.
    void hide() override { glFinish(); }

private:
    Native native;
};

WglSurface::WglSurface(const NativeWindow& window, const PixelFormatDescriptor& descriptor) {
    native.window = reinterpret_cast<HWND>(window.handle);
    try {
        native.deviceContext = native.window ? GetDC(native.window) : nullptr;

        PIXELFORMATDESCRIPTOR pfd{};
        pfd.nSize = sizeof pfd; // 40
        pfd.nVersion = 1;
        pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL;
        if (descriptor.doubleBuffer) {
            pfd.dwFlags |= PFD_DOUBLEBUFFER;
        }
        pfd.iPixelType = PFD_TYPE_RGBA;
        pfd.cColorBits = static_cast<BYTE>(descriptor.colorBits);
        pfd.cDepthBits = static_cast<BYTE>(descriptor.depthBits);
        pfd.cStencilBits = static_cast<BYTE>(descriptor.stencilBits);
        pfd.iLayerType = PFD_MAIN_PLANE;
        // A number of 0 makes SetPixelFormat fail, which is the one test made.
        const int number = native.deviceContext ? ChoosePixelFormat(native.deviceContext, &pfd) : 0;
        if (native.deviceContext == nullptr ||
            !SetPixelFormat(native.deviceContext, number, &pfd)) {
            throw Exception("SetPixelFormat failed");
        }
        PIXELFORMATDESCRIPTOR set{};
        if (DescribePixelFormat(native.deviceContext, number, sizeof set, &set) != 0) {
            format.usableOnWindow = true;
            format.doubleBuffer = (set.dwFlags & PFD_DOUBLEBUFFER) != 0;
            format.colorBits = set.cRedBits + set.cGreenBits + set.cBlueBits + set.cAlphaBits;
            format.depthBits = set.cDepthBits;
            format.stencilBits = set.cStencilBits;
            format.accumBits = set.cAccumRedBits;
            format.slow = (set.dwFlags & PFD_GENERIC_FORMAT) != 0 &&
                          (set.dwFlags & PFD_GENERIC_ACCELERATED) == 0;
        }

        native.renderContext = wglCreateContext(native.deviceContext);
        if (native.renderContext == nullptr) {
            throw Exception("wglCreateContext failed");
        }
        if (!wglMakeCurrent(native.deviceContext, native.renderContext)) {
            throw Exception("wglMakeCurrent failed");
        }
        askForOneFramePerRefresh(native.deviceContext);
    } catch (...) {
        native.release();
        throw;
    }
}

} // namespace

std::unique_ptr<GlSurface> createWglSurface(const NativeWindow& window, int, int,
                                            const PixelFormatDescriptor& descriptor) {
    return std::make_unique<WglSurface>(window, descriptor);
}
