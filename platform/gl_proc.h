// Looks up an OpenGL entry point by name; needs a current context on some platforms.
#pragma once

void* glProcAddress(const char* name);
