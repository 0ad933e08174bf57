// GL procedure lookup through GLX (glXGetProcAddressARB).
#include "platform/x11/x11_services.h"

#include <GL/glx.h>

void* glxProcAddress(const char* name) {
    return reinterpret_cast<void*>(glXGetProcAddressARB(reinterpret_cast<const GLubyte*>(name)));
}
