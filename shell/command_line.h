// Reading the command line: the mode switches, the preview's host window and, for the Windows
// build, splitting the one command-line string into arguments.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Run modes, tested in this order on the lower-cased first argument; a switch counts when it
// occurs anywhere in it, so "/C:1234" selects the settings dialog. When none of the three is
// there, a saver host's window switch anywhere on the line ("--root", "--window-id", or their
// one-dash spellings) selects host mode: the run drawn into a window the host gives.
enum class RunMode { fullScreen, preview, settings, host, none };

RunMode runModeOf(const std::vector<std::string>& args);

// The instance lock of a run: previews and every other kind of run exclude only their own kind.
std::string instanceLockName(const std::vector<std::string>& args);

// Whether "--ignore-requirements" follows the first argument.
bool ignoresRequirements(const std::vector<std::string>& args);
// Whether "--fps" (or "-fps") follows the first argument: the frame rate drawn in a corner.
bool showsFrameRate(const std::vector<std::string>& args);
// Whether "--report-fps" follows the first argument: the run prints its frame rates at its end.
bool reportsFrameRate(const std::vector<std::string>& args);

// Host mode's choices. window 0 stands for the root window.
struct HostOptions {
    uintptr_t window = 0;
    bool showFrameRate = false; // "--fps": the frame rate drawn in a corner
    // Run by XScreenSaver, which names its window in XSCREENSAVER_WINDOW for every saver it
    // starts (with --root, and with --window-id for its settings' preview): its user's image
    // settings decide the picture.
    bool underXScreenSaver = false;
};

// Reads the host switches: "--window-id N" names the window; "--root" names the window in
// saverWindowVariable (the host's XSCREENSAVER_WINDOW, nullptr or empty when unset), else the
// root window. Throws Exception on a missing or malformed window id.
HostOptions hostOptionsOf(const std::vector<std::string>& args, const char* saverWindowVariable);

// An X window id as saver hosts write it: decimal, or hexadecimal after "0x"; not 0, and
// within 32 bits. Anything else throws Exception "'<text>' is not a valid window id".
uintptr_t parseHostWindowId(const std::string& text);

// A window id in plain decimal digits that fits in 32 bits; anything else throws Exception
// "'<text>' is not a valid integer value".
uintptr_t parseWindowId(const std::string& text);

// Splits a Windows-style command line: blanks and control characters separate arguments,
// double quotes group blanks into an argument and are dropped. Arguments that come out empty
// (a lone "") are left out.
std::vector<std::string> splitCommandLine(std::string_view line);

// The text printed for --help.
std::string usageText();
