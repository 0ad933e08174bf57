#include "common/multitexture.h"

#include "platform/gl_proc.h"

PFNGLACTIVETEXTUREARBPROC activeTextureARB = nullptr;
PFNGLMULTITEXCOORD2FARBPROC multiTexCoord2fARB = nullptr;

void loadMultitextureEntryPoints() {
    activeTextureARB =
        reinterpret_cast<PFNGLACTIVETEXTUREARBPROC>(glProcAddress("glActiveTextureARB"));
    multiTexCoord2fARB =
        reinterpret_cast<PFNGLMULTITEXCOORD2FARBPROC>(glProcAddress("glMultiTexCoord2fARB"));
}
