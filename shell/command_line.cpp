#include "shell/command_line.h"

#include "platform/ascii_text.h"
#include "platform/exception.h"

#include <cstdint>

RunMode runModeOf(const std::vector<std::string>& args) {
    if (args.empty()) {
        return RunMode::none;
    }
    const std::string first = asciiLower(args[0]);
    if (first.find("/s") != std::string::npos) {
        return RunMode::fullScreen;
    }
    if (first.find("/p") != std::string::npos) {
        return RunMode::preview;
    }
    if (first.find("/c") != std::string::npos) {
        return RunMode::settings;
    }
    for (const std::string& arg : args) {
        if (arg == "--root" || arg == "-root" || arg == "--window-id" || arg == "-window-id") {
            return RunMode::host;
        }
    }
    return RunMode::none;
}

std::string instanceLockName(const std::vector<std::string>& args) {
    // Only "/p" is looked at here, so a first argument such as "/s/p" takes the preview lock
    // and then runs full-screen; that keeps the choice of lock independent of the mode order.
    const bool preview = !args.empty() && asciiLower(args[0]).find("/p") != std::string::npos;
    return preview ? "KELVARA_PREVIEW_MUTEX" : "KELVARA_OTHER_MUTEX";
}

namespace {
bool hasOption(const std::vector<std::string>& args, std::string_view option) {
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == option) {
            return true;
        }
    }
    return false;
}
} // namespace

bool ignoresRequirements(const std::vector<std::string>& args) {
    return hasOption(args, "--ignore-requirements");
}

bool showsFrameRate(const std::vector<std::string>& args) {
    return hasOption(args, "--fps") || hasOption(args, "-fps");
}

bool reportsFrameRate(const std::vector<std::string>& args) {
    return hasOption(args, "--report-fps");
}

HostOptions hostOptionsOf(const std::vector<std::string>& args, const char* saverWindowVariable) {
    HostOptions options;
    options.underXScreenSaver = saverWindowVariable != nullptr && saverWindowVariable[0] != '\0';
    bool root = false;
    bool named = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--root" || arg == "-root") {
            root = true;
        } else if (arg == "--fps" || arg == "-fps") {
            options.showFrameRate = true;
        } else if (arg == "--window-id" || arg == "-window-id") {
            if (i + 1 >= args.size()) {
                throw Exception(arg + " needs a window id");
            }
            options.window = parseHostWindowId(args[++i]);
            named = true;
        }
    }
    // An explicit window wins over the root, as with the host's own savers.
    if (!named && root && options.underXScreenSaver) {
        try {
            options.window = parseHostWindowId(saverWindowVariable);
        } catch (const Exception& e) {
            throw Exception("XSCREENSAVER_WINDOW: " + e.message);
        }
    }
    return options;
}

uintptr_t parseHostWindowId(const std::string& text) {
    const Exception invalid("'" + text + "' is not a valid window id");
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const size_t start = hex ? 2 : 0;
    if (text.size() <= start) {
        throw invalid;
    }
    uint64_t value = 0;
    for (size_t i = start; i < text.size(); ++i) {
        const char c = text[i];
        int digit = -1;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (hex && c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (hex && c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        }
        if (digit < 0) {
            throw invalid;
        }
        value = value * (hex ? 16 : 10) + static_cast<uint64_t>(digit);
        if (value > UINT32_MAX) {
            throw invalid;
        }
    }
    if (value == 0) {
        throw invalid;
    }
    return static_cast<uintptr_t>(value);
}

uintptr_t parseWindowId(const std::string& text) {
    const Exception invalid("'" + text + "' is not a valid integer value");
    if (text.empty()) {
        throw invalid;
    }
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            throw invalid;
        }
        value = value * 10 + static_cast<uint64_t>(c - '0');
        if (value > UINT32_MAX) {
            throw invalid;
        }
    }
    return static_cast<uintptr_t>(value);
}

std::vector<std::string> splitCommandLine(std::string_view line) {
    auto isSeparator = [](char c) { return static_cast<unsigned char>(c) <= 32; };
    std::vector<std::string> args;
    size_t p = 0;
    const size_t end = line.size();
    while (p < end) {
        while (p < end && isSeparator(line[p])) {
            ++p;
        }
        std::string arg;
        while (p < end && !isSeparator(line[p])) {
            if (line[p] == '"') {
                ++p;
                while (p < end && line[p] != '"') {
                    arg += line[p++];
                }
                if (p < end) {
                    ++p; // the closing quote
                }
            } else {
                arg += line[p++];
            }
        }
        if (!arg.empty()) {
            args.push_back(std::move(arg));
        }
    }
    return args;
}

std::string usageText() {
    return "Usage: kelvara MODE\n"
           "  /s [--ignore-requirements]  run the screen saver full-screen; with\n"
           "                              --ignore-requirements a missed minimum of the\n"
           "                              start-up checks is logged but does not stop it;\n"
           "  /s ... --report-fps          print the frame rates when the run ends\n"
           "  /s ... --fps                draw the frame rate in a corner\n"
           "  /p WINDOW                   paint the preview into the X window WINDOW\n"
           "                              (its id in decimal)\n"
           "  /c                          show the settings dialog\n"
           "  --root [--fps]              host mode, for XScreenSaver: draw into the window\n"
           "                              in $XSCREENSAVER_WINDOW, else the root window;\n"
           "                              --fps draws the frame rate in a corner\n"
           "  --window-id WINDOW [--fps]  host mode in the X window WINDOW (decimal or 0x hex)\n"
           "                              (one-dash spellings work too: -root, -window-id, -fps)\n"
           "  --idle SECONDS [ARGS...]    stay running: start \"/s ARGS\" after SECONDS (1 to\n"
           "                              86400) without input, and again after the next\n"
           "                              idle time; none while the desktop is locked or\n"
           "                              an idle inhibitor holds (a video); a lock ends\n"
           "                              the run. On GNOME, KDE Plasma, Wayland\n"
           "                              compositors with ext-idle-notify-v1 and X11\n"
           "                              without XScreenSaver; as a service after 10\n"
           "                              minutes (systemctl --user edit kelvara-idle\n"
           "                              changes it):\n"
           "                                systemctl --user enable --now kelvara-idle\n"
           "  --help                      show this text\n"
           "  --version                   show the version\n"
           "Any other first argument ends the program at once.\n"
           "/s covers every monitor, each with the run of its own part of the desktop; the\n"
           "stored resolution switches the primary monitor only. On a Wayland desktop\n"
           "($WAYLAND_DISPLAY) every output draws at the stored size, scaled to the output;\n"
           "/c runs through XWayland; /p and host mode are X11's.\n"
           "Settings are stored in $XDG_CONFIG_HOME/kelvara/registry.reg\n"
           "($XDG_CONFIG_HOME defaults to ~/.config).\n";
}
