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
// Makes this process the run of the monitor with that id (its device name); throws Exception
// when there is no such monitor.
void selectWin32RunMonitor(const std::string& id);
// This process's monitor as it is now (a mode switch changes its rectangle); false when the
// process is no monitor's run.
bool win32RunMonitor(Monitor& monitor);
bool win32IsMonitorRun();
// What a full-screen window covers and the screen capture reads, in physical pixels: the run's
// monitor, else the primary monitor, whose top-left corner is the origin.
Monitor win32CoveredArea();

// win32_monitor_runs.cpp: "/s" as a process per monitor, from two monitors on (see there).
bool runWin32MonitorRuns(const std::vector<std::string>& args, int& status);
// In a process started as one monitor's run: takes over its end of the starter's channel.
void joinWin32MonitorRuns();
// In a monitor's run, before its window first shows: tells the starter that this run has its
// picture and waits until every run has (or the starter lets them go all the same). Returns at
// once outside a started run and after the first call.
void waitForEveryWin32Picture();
// In a monitor's run: tells the starter that the run failed, whatever its exit status will be.
void reportWin32RunFailure();

// win32_display_modes.cpp: the system's own, which it takes back when the process ends.
bool win32EnumDisplaySettings(int index, SystemDisplayMode& mode);
int win32ChangeDisplaySettings(const SystemDisplayMode& mode);
void win32RestoreDisplaySettings();
// The primary display device back in its stored mode, where it is in another: for the runs'
// starter once the runs have ended, in case the primary's run did not end the orderly way.
void win32GiveBackPrimaryMode();
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
