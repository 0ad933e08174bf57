// Reading the command line: the mode switches, the preview's host window and, for the Windows
// build, splitting the one command-line string into arguments.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Run modes, tested in this order on the lower-cased first argument; a switch counts when it
// occurs anywhere in it, so "/C:1234" selects the settings dialog.
enum class RunMode { fullScreen, preview, settings, none };

std::string lowerCase(std::string_view text);
RunMode runModeOf(const std::vector<std::string>& args);

// The instance lock of a run: previews and every other kind of run exclude only their own kind.
std::string instanceLockName(const std::vector<std::string>& args);

// Whether "--ignore-requirements" follows the first argument.
bool ignoresRequirements(const std::vector<std::string>& args);
// Whether "--report-fps" follows the first argument: the run prints its frame rates at its end.
bool reportsFrameRate(const std::vector<std::string>& args);

// A window id in plain decimal digits that fits in 32 bits; anything else throws Exception
// "'<text>' is not a valid integer value".
uintptr_t parseWindowId(const std::string& text);

// Splits a Windows-style command line: blanks and control characters separate arguments,
// double quotes group blanks into an argument and are dropped. Arguments that come out empty
// (a lone "") are left out.
std::vector<std::string> splitCommandLine(std::string_view line);

// The text printed for --help.
std::string usageText();
