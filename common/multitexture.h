// The two multitexture entry points, fetched from the driver once a GL context is current.
#pragma once

#include "platform/gl.h"

// Named without the gl prefix: GL headers may already declare functions of those names.
extern PFNGLACTIVETEXTUREARBPROC activeTextureARB;
extern PFNGLMULTITEXCOORD2FARBPROC multiTexCoord2fARB;

// Needs a current context; the results are not tested (the start-up checks require the
// extension before anything calls them).
void loadMultitextureEntryPoints();
