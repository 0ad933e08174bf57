// The Windows back end's services, one file each, as the Win32 window system's list hands them
// out (win32_window_system.cpp, see platform/window_system.h for what each must do).
#pragma once

#include "platform/application.h"
#include "platform/bitmap.h"
#include "platform/display_modes.h"
#include "platform/form_view.h"
#include "platform/form_window.h"
#include "platform/gl_surface.h"
#include "platform/host_window.h"
#include "platform/pixel_format.h"
#include "platform/window_system.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// win32_monitors.cpp
std::vector<Monitor> win32Monitors();

// win32_display_modes.cpp: the system's own, which it takes back when the process ends.
bool win32EnumDisplaySettings(int index, SystemDisplayMode& mode);
int win32ChangeDisplaySettings(const SystemDisplayMode& mode);
void win32RestoreDisplaySettings();
bool runWin32ModeGuardian(int argc, char** argv, int& status);

// wgl_surface.cpp
std::unique_ptr<GlSurface> createWglSurface(const NativeWindow& window, int width, int height,
                                            const PixelFormatDescriptor& descriptor);
void* wglProcAddress(const char* name);

// win32_screen_capture.cpp
int win32ScreenWidth();
int win32ScreenHeight();
Bitmap captureWin32Screen();

// win32_host_window.cpp, win32_desktop_services.cpp
std::unique_ptr<HostWindow> openWin32HostWindow(uintptr_t window);
void paintIntoWin32Window(uintptr_t window, const Bitmap& picture, int x, int y, int width,
                          int height);

std::unique_ptr<FormView> createWin32Form(const FormArt& art);              // win32_form.cpp
std::unique_ptr<Application> createWin32Application(int argc, char** argv); // win32_application.cpp
void showWin32Error(const std::string& message); // win32_error_display.cpp
