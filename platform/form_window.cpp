#include "platform/form_window.h"

#include "platform/gl_surface.h"

std::unique_ptr<GlSurface> FormWindow::createGlSurface(const PixelFormatDescriptor& descriptor) {
    return std::make_unique<GlSurface>(nativeWindow(), clientWidth(), clientHeight(), descriptor);
}
