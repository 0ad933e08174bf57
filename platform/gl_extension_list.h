// Whether a space-separated extension list (glXQueryExtensionsString, WGL's or OpenGL's own)
// names an extension: as a whole word, since one name may begin another's
// (GLX_EXT_swap_control, GLX_EXT_swap_control_tear).
#pragma once

#include <cstring>

inline bool listsExtension(const char* list, const char* name) {
    const size_t length = std::strlen(name);
    for (const char* at = list; at != nullptr && (at = std::strstr(at, name)) != nullptr;
         at += length) {
        if ((at == list || at[-1] == ' ') && (at[length] == ' ' || at[length] == '\0'))
            return true;
    }
    return false;
}
