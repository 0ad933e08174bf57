#include "common/multitexture.h"

#include "platform/window_system.h"

PFNGLACTIVETEXTUREARBPROC activeTextureARB = nullptr;
PFNGLMULTITEXCOORD2FARBPROC multiTexCoord2fARB = nullptr;

void loadMultitextureEntryPoints() {
    activeTextureARB = reinterpret_cast<PFNGLACTIVETEXTUREARBPROC>(
        windowSystem().glProcAddress("glActiveTextureARB"));
    multiTexCoord2fARB = reinterpret_cast<PFNGLMULTITEXCOORD2FARBPROC>(
        windowSystem().glProcAddress("glMultiTexCoord2fARB"));
}
