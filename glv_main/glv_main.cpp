// Placeholder until the graphics start-up lands.
#include "glv_main/glv_main.h"

#include "shell/exception.h"

GLV::GLV(FormWindow& control, int) : control(&control) { throw Exception("wglCreateContext failed"); }
GLV::~GLV() = default;
void GLV::Resize() {}
int GLV::Swap() { return 1; }

int InitGraphics(GLV**, FormWindow&, const SaverRequirements&, DisplayMode&, int32_t*, bool) {
    return 0;
}
void ShutdownGraphics(GLV* view) { delete view; }
