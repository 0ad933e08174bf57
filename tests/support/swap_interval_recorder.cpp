// Preloaded into the program (LD_PRELOAD) by the end-to-end tests: stands in for a GLX driver
// that lets a program choose its swap interval, and writes down what the program asks for.
//
//   KELVARA_TEST_SWAP_EXTENSIONS  the swap-control extensions that glXQueryExtensionsString
//                                 lists (GLX_EXT_swap_control, GLX_MESA_swap_control, both or
//                                 none), in place of the driver's own
//   KELVARA_TEST_SWAP_RECORD      the file that gets one line per request:
//                                 "glXSwapIntervalEXT <interval>" (on a drawable; "... on no
//                                 drawable" for None) or "glXSwapIntervalMESA <interval>"
//
// The entry points come through glXGetProcAddressARB or glXGetProcAddress, as a program must
// find them; the requests go no further, since the test server's driver may not offer them.
#include <GL/glx.h>
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>

namespace {

using ProcAddress = void (*(*)(const GLubyte*))();
using ExtensionList = const char* (*)(Display*, int);

void record(const std::string& line) {
    const char* path = std::getenv("KELVARA_TEST_SWAP_RECORD");
    if (path == nullptr)
        return;
    if (FILE* file = std::fopen(path, "a")) {
        std::fprintf(file, "%s\n", line.c_str());
        std::fclose(file);
    }
}

void swapIntervalExt(Display*, GLXDrawable drawable, int interval) {
    record("glXSwapIntervalEXT " + std::to_string(interval) +
           (drawable == None ? " on no drawable" : ""));
}

int swapIntervalMesa(unsigned interval) {
    record("glXSwapIntervalMESA " + std::to_string(interval));
    return 0;
}

void (*lookUp(const char* function, const GLubyte* name))() {
    const char* text = reinterpret_cast<const char*>(name);
    if (std::strcmp(text, "glXSwapIntervalEXT") == 0)
        return reinterpret_cast<void (*)()>(swapIntervalExt);
    if (std::strcmp(text, "glXSwapIntervalMESA") == 0)
        return reinterpret_cast<void (*)()>(swapIntervalMesa);
    auto real = reinterpret_cast<ProcAddress>(dlsym(RTLD_NEXT, function));
    return real != nullptr ? real(name) : nullptr;
}

} // namespace

extern "C" {

__attribute__((visibility("default"))) void (*glXGetProcAddressARB(const GLubyte* name))() {
    return lookUp("glXGetProcAddressARB", name);
}

__attribute__((visibility("default"))) void (*glXGetProcAddress(const GLubyte* name))() {
    return lookUp("glXGetProcAddress", name);
}

__attribute__((visibility("default"))) const char* glXQueryExtensionsString(Display* display,
                                                                            int screen) {
    static std::string list; // the program asks from one thread
    auto real = reinterpret_cast<ExtensionList>(dlsym(RTLD_NEXT, "glXQueryExtensionsString"));
    const char* offered = real != nullptr ? real(display, screen) : nullptr;
    const char* swapControl = std::getenv("KELVARA_TEST_SWAP_EXTENSIONS");
    list = swapControl != nullptr ? swapControl : "";
    std::istringstream names(offered != nullptr ? offered : "");
    for (std::string name; names >> name;)
        if (name.find("_swap_control") == std::string::npos)
            list += " " + name;
    return list.c_str();
}
}
