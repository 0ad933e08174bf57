// What a window-system back end provides, as one list. The program reaches the window system
// only through the back end chosen at start: on Linux among those built in, by what the process
// finds; on Windows there is one. A back end is one class that fills every entry below (one
// left out is a compile error: the class stays abstract) and one line in the choice
// (window_system.cpp). Services that do not depend on the window system (process, instance
// lock, registry, web link, picture memory, the mode guardian's process) are the operating
// system's: process.h, registry.h, desktop_services.h, pixel_buffer.h, posix/mode_guardian.h.
//
//  entry          what it must do                               x11 (+ FLTK)    win32
//  -------------  --------------------------------------------  --------------  ---------------
//  choice         say which runs it serves; open its display    all; $DISPLAY   all; always
//  outputs        list the monitors; "/s" as a run per monitor, RandR monitors  EnumDisplay-
//                 each over its monitor with its own picture;   a process per   Monitors; a
//                 this process's run of one monitor             monitor from 2  process each
//  display modes  list the primary output's modes, switch to    RandR, with a   the system's
//                 one, give the first mode back; the guardian   guardian        own, no guardian
//  GL surface     a context on a form's window, made current,   GLX             WGL
//                 presented; GL entry points by name
//  capture        the size and picture of the screen, or of     root window     screen DC
//                 the monitor of this process's run
//  host window    another program's window by id: draw into     X windows of    preview only;
//                 it (host mode), paint the preview into it     saver hosts     no host mode
//  form           the one form: dialog, full-screen window,     FLTK widgets    native controls
//                 preview, start-up log (form_view.h)
//  message loop   the application: idle hook, pace, end         FLTK            PeekMessage
//                 (application.h)
//  error display  the text on standard error, and a modal box   FLTK alert      MessageBoxA
//                 titled "Kelvara" where there is a screen
//  idle           the user's idle time and the desktop's lock   GNOME's idle    none: Windows
//                 for the idle watcher ("--idle"), honouring    monitor, else   starts its
//                 idle inhibitors                               MIT-SCREEN-     savers itself
//                                                               SAVER; none
//                                                               under XScreen-
//                                                               Saver
//
// wayland (platform/wayland/, tried first; serves the full-screen run and the dialog): a
// process per output, also for one, since outputs come and go during the run; each with EGL on
// a layer-shell surface (a fullscreen xdg_toplevel where there is none), a loop paced by the
// compositor's frame callbacks, its output's picture, sizes that switch nothing (the compositor
// scales the stored size to the output), no guardian, errors on standard error; the dialog is
// X11's form, loop and box through XWayland, listing the Wayland sizes; no host window ("/p",
// "--root" and "--window-id" stay X11's); the idle time from GNOME's idle monitor, else the
// compositor's ext-idle-notify-v1. On Linux both back ends take the desktop's lock from the
// session bus's screen saver and from logind (platform/dbus/desktop_lock.h).
#pragma once

#include "platform/application.h"
#include "platform/bitmap.h"
#include "platform/display_modes.h"
#include "platform/form_view.h"
#include "platform/form_window.h"
#include "platform/gl_surface.h"
#include "platform/host_window.h"
#include "platform/idle_watch.h"
#include "platform/pixel_format.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

// One monitor of the desktop, as its back end lists it.
struct Monitor {
    std::string id;   // the back end's name for it, the same in every process of the session
    std::string name; // the connector's, for people: "DUMMY1", "HEADLESS-2", "\\.\DISPLAY2"
    int x = 0;        // its place on the desktop and its size, in pixels
    int y = 0;
    int width = 0;
    int height = 0;
    bool primary = false; // the one whose display mode the stored resolution switches
};

// The internal switch of one monitor's run: "--monitor-run <id>" in front of the run's own
// arguments. The back end's full-screen run gives it to the processes it starts; it is not for
// people.
inline constexpr const char* monitorRunSwitch = "--monitor-run";

// One monitor's full-screen run in this process: its message loop and its form, which covers
// that monitor. While it lives, the back end serves that monitor alone: its picture, its size,
// and a display-mode switch only where it is the primary monitor.
class MonitorRun {
public:
    MonitorRun();
    virtual ~MonitorRun();
    MonitorRun(const MonitorRun&) = delete;
    MonitorRun& operator=(const MonitorRun&) = delete;
    virtual Application& application() = 0;
    virtual FormView& form() = 0;

    // Set by showMonitorRunError: the run's exit status then tells its starter that it failed.
    bool errorShown = false;
};

// How a monitor's run shows an error, whether or not its MonitorRun was made yet: on standard
// error, which the runs share, and in no box (a box on every monitor would each wait for a
// click, while any run's end ends them all).
void showMonitorRunError(const std::string& message);

// What a run needs of its window system; the command line decides.
enum class WindowSystemUse {
    fullScreen,  // "/s": a window of its own over the screen, its display mode, its picture
    settings,    // "/c": the dialog with its controls
    otherWindow, // "/p", "--root", "--window-id": a window of another program, by its id
};

class WindowSystem {
public:
    virtual ~WindowSystem() = default;

    // --- choice
    virtual bool serves(WindowSystemUse use) const = 0;
    // Opens the connection to the display the process finds; false when there is none.
    virtual bool connect() = 0;

    // --- outputs
    // The monitors there are now; empty without a display.
    virtual std::vector<Monitor> monitors() = 0;
    // "/s" over every monitor, where the back end gives each monitor a run of a process of its
    // own ("<program> --monitor-run <id> <args>"): starts them, ends them together (by input
    // on any of them, a termination signal or one that fails) and returns true with the exit
    // status: 0, else the first failure's (a run's own status, or 128 + the signal that killed
    // it). False when this process is to run "/s" itself, as the one run over the one monitor.
    virtual bool runOnEveryMonitor(const std::vector<std::string>& args, int& status) = 0;
    // In a process started by runOnEveryMonitor: the run of the monitor with that id. argc and
    // argv are the process's. Throws Exception when there is no such monitor (any more).
    virtual std::unique_ptr<MonitorRun> openMonitorRun(const std::string& id, int argc, char** argv,
                                                       const FormArt& art) = 0;

    // --- display modes
    // Mode number index of the primary output; false when there are no more (or no display).
    virtual bool enumDisplaySettings(int index, SystemDisplayMode& mode) = 0;
    // Switches to mode for a full-screen run; 0 on success, like DISP_CHANGE_SUCCESSFUL.
    virtual int changeDisplaySettings(const SystemDisplayMode& mode) = 0;
    // Returns the display to the mode it had before the first change; harmless when none was
    // made.
    virtual void restoreDisplaySettings() = 0;
    // When the program was started as this back end's mode guardian (the process that gives the
    // mode back if the program dies without doing so), runs it, stores its exit status and
    // returns true.
    virtual bool runModeGuardian(int argc, char** argv, int& status) = 0;

    // --- GL surface
    // Sets up the best format for descriptor on window's client area of width x height pixels,
    // creates the context and makes it current. Throws Exception "SetPixelFormat failed",
    // "wglCreateContext failed" or "wglMakeCurrent failed" at the failing step, having released
    // what the earlier steps got.
    virtual std::unique_ptr<GlSurface> createGlSurface(const NativeWindow& window, int width,
                                                       int height,
                                                       const PixelFormatDescriptor& descriptor) = 0;
    // An OpenGL entry point by name; some systems need a current context.
    virtual void* glProcAddress(const char* name) = 0;

    // --- capture
    // The screen's size in pixels; 0 without a display.
    virtual int screenWidth() = 0;
    virtual int screenHeight() = 0;
    // The whole screen as it is now; throws Exception when it cannot be read.
    virtual Bitmap captureScreen() = 0;

    // --- host window
    // Host mode's window: 0 stands for the whole screen (the root window). Throws Exception when
    // there is no display or no such window.
    virtual std::unique_ptr<HostWindow> openHostWindow(uintptr_t window) = 0;
    // The preview: copies the top-left width x height pixels of picture to (x, y) of the window,
    // over the windows it holds inside itself. A window that does not exist (any more) is not an
    // error: nothing is painted.
    virtual void paintIntoWindow(uintptr_t window, const Bitmap& picture, int x, int y, int width,
                                 int height) = 0;

    // --- form
    // The form, built from the stored layout (form_layout.h): hidden Panel1, black background.
    virtual std::unique_ptr<FormView> createFormView(const FormArt& art) = 0;

    // --- message loop
    // argc and argv are the process's.
    virtual std::unique_ptr<Application> createApplication(int argc, char** argv) = 0;

    // --- error display
    // The text (errorDisplayText) on standard error, and in a modal box titled "Kelvara" with an
    // error icon and an OK button where the back end has a screen to show it on.
    virtual void showError(const std::string& message) = 0;

    // --- idle
    // What the idle watcher sleeps on (platform/idle_watch.h): the user's idle time, told once
    // the user has been idle for seconds, and the desktop's lock. Throws Exception with a line
    // that says what to use instead where this desktop gives no idle time to a program.
    virtual IdleWatch openIdleWatch(int seconds) = 0;
};

// The back ends; each fills its list in its own folder.
WindowSystem& waylandWindowSystem(); // platform/wayland/wayland_window_system.cpp
WindowSystem& x11WindowSystem();     // platform/fltk/fltk_window_system.cpp
WindowSystem& win32WindowSystem();   // platform/win32/win32_window_system.cpp

// The first candidate that serves use and connects. When none connects: the first that serves
// use, whose services then report what is missing; else the first candidate.
WindowSystem& chooseWindowSystem(std::span<WindowSystem* const> candidates, WindowSystemUse use);
// Chooses among the back ends built in, for the rest of the process.
WindowSystem& chooseWindowSystem(WindowSystemUse use);
// The chosen back end; one for a full-screen run when nothing chose yet.
WindowSystem& windowSystem();

// Called first thing in main: when the program was started as the mode guardian of a back end
// built in, runs it, stores its exit status and returns true.
bool runDisplayModeGuardian(int argc, char** argv, int& status);
