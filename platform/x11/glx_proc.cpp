// GL procedure lookup through GLX (glXGetProcAddressARB).
#include "platform/gl_proc.h"

#include <GL/glx.h>

void* glProcAddress(const char* name) {
    return reinterpret_cast<void*>(glXGetProcAddressARB(reinterpret_cast<const GLubyte*>(name)));
}
