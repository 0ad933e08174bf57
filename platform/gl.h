// OpenGL 1.1, GLU and the ARB multitexture names, as both back ends include them.
#pragma once

#ifdef _WIN32
#include <windows.h>
#endif
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glu.h>
