// The X11 back end's services, one file each, as the X11 window system's list hands them out
// (platform/fltk/fltk_window_system.cpp, see platform/window_system.h for what each must do).
#pragma once

#include "platform/bitmap.h"
#include "platform/display_modes.h"
#include "platform/form_window.h"
#include "platform/gl_surface.h"
#include "platform/host_window.h"
#include "platform/pixel_format.h"

#include <cstdint>
#include <memory>

// x11_display_modes.cpp: RandR on the primary output, with the mode guardian.
bool x11EnumDisplaySettings(int index, SystemDisplayMode& mode);
int x11ChangeDisplaySettings(const SystemDisplayMode& mode);
void x11RestoreDisplaySettings();
bool runX11ModeGuardian(int argc, char** argv, int& status);

// glx_surface.cpp, glx_proc.cpp
std::unique_ptr<GlSurface> createGlxSurface(const NativeWindow& window, int width, int height,
                                            const PixelFormatDescriptor& descriptor);
void* glxProcAddress(const char* name);

// x11_screen_capture.cpp
int x11ScreenWidth();
int x11ScreenHeight();
Bitmap captureX11Screen();

// x11_host_window.cpp
std::unique_ptr<HostWindow> openX11HostWindow(uintptr_t window);

// x11_preview_painting.cpp
void paintIntoX11Window(uintptr_t window, const Bitmap& picture, int x, int y, int width,
                        int height);
