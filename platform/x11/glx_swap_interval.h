// The swap interval of a GLX drawable (setGlxSwapInterval): GLX_EXT_swap_control sets it on the
// drawable, GLX_MESA_swap_control on the current context's; where neither is offered the
// driver's own default stands. Header-only, for the benchmarks' context as well.
#pragma once

#include "platform/gl_extension_list.h"

#include <GL/glx.h>
#include <GL/glxext.h>

inline void setGlxSwapInterval(Display* display, GLXDrawable drawable, int interval) {
    const char* extensions = glXQueryExtensionsString(display, DefaultScreen(display));
    auto entryPoint = [](const char* name) {
        return glXGetProcAddressARB(reinterpret_cast<const GLubyte*>(name));
    };
    if (listsExtension(extensions, "GLX_EXT_swap_control")) {
        if (auto set =
                reinterpret_cast<PFNGLXSWAPINTERVALEXTPROC>(entryPoint("glXSwapIntervalEXT")))
            set(display, drawable, interval);
    } else if (listsExtension(extensions, "GLX_MESA_swap_control")) {
        if (auto set =
                reinterpret_cast<PFNGLXSWAPINTERVALMESAPROC>(entryPoint("glXSwapIntervalMESA")))
            set(static_cast<unsigned>(interval));
    }
}
