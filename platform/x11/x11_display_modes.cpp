// Display modes on XRandR, the X11 window system's entry (x11_services.h):
// the modes of the primary output (or the first connected one) of the default screen, switched
// on that output's CRTC, with the screen resized to hold it and every other monitor as it is. A
// mode guardian process gives the mode back when the program dies without doing so.
#include "platform/x11/x11_services.h"

#include "platform/posix/mode_guardian.h"
#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_monitors.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Which switch configureCrtc is doing, for the test hook below.
const char* switchPhase = "switch";

// A test hook: KELVARA_TEST_PAUSE=<phase>:<step> ("switch:off", "restore:resized", ...) stops
// the process at that step, with what it sent in force, so that a test can kill it there.
void pauseForTest(Display* display, const char* step) {
    static const char* const wanted = std::getenv("KELVARA_TEST_PAUSE");
    if (wanted != nullptr && wanted == std::string(switchPhase) + ":" + step) {
        XSync(display, False);
        raise(SIGSTOP);
    }
}

bool hasRandr12(Display* display) {
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    return display != nullptr && XRRQueryExtension(display, &eventBase, &errorBase) &&
           XRRQueryVersion(display, &major, &minor) && (major > 1 || (major == 1 && minor >= 2));
}

// The process's connection, when its server offers RandR 1.2 or later; else nullptr.
Display* modeDisplay() {
    static Display* const display = hasRandr12(x11Display()) ? x11Display() : nullptr;
    return display;
}

struct Resources {
    explicit Resources(Display* display) {
        Window root = DefaultRootWindow(display);
        screen = XRRGetScreenResourcesCurrent(display, root);
        // Without any output in the cached answer the server has not probed yet.
        if (screen && screen->noutput == 0) {
            XRRFreeScreenResources(screen);
            screen = nullptr;
        }
        if (!screen)
            screen = XRRGetScreenResources(display, root);
    }
    ~Resources() {
        if (screen)
            XRRFreeScreenResources(screen);
    }
    Resources(const Resources&) = delete;
    Resources& operator=(const Resources&) = delete;

    const XRRModeInfo* mode(RRMode id) const {
        for (int i = 0; i < screen->nmode; ++i)
            if (screen->modes[i].id == id)
                return &screen->modes[i];
        return nullptr;
    }

    XRRScreenResources* screen = nullptr;
};

struct OutputInfo {
    OutputInfo(Display* display, XRRScreenResources* screen, RROutput output)
        : info(XRRGetOutputInfo(display, screen, output)) {}
    ~OutputInfo() {
        if (info)
            XRRFreeOutputInfo(info);
    }
    OutputInfo(const OutputInfo&) = delete;
    OutputInfo& operator=(const OutputInfo&) = delete;
    XRROutputInfo* info;
};

struct CrtcInfo {
    CrtcInfo(Display* display, XRRScreenResources* screen, RRCrtc crtc)
        : info(XRRGetCrtcInfo(display, screen, crtc)) {}
    ~CrtcInfo() {
        if (info)
            XRRFreeCrtcInfo(info);
    }
    CrtcInfo(const CrtcInfo&) = delete;
    CrtcInfo& operator=(const CrtcInfo&) = delete;
    XRRCrtcInfo* info;
};

// The primary output when it is connected, else the first connected one; None without any.
RROutput chosenOutput(Display* display, const Resources& resources) {
    RROutput primary = XRRGetOutputPrimary(display, DefaultRootWindow(display));
    if (primary != None) {
        OutputInfo output(display, resources.screen, primary);
        if (output.info && output.info->connection == RR_Connected && output.info->nmode > 0)
            return primary;
    }
    for (int i = 0; i < resources.screen->noutput; ++i) {
        OutputInfo output(display, resources.screen, resources.screen->outputs[i]);
        if (output.info && output.info->connection == RR_Connected && output.info->nmode > 0)
            return resources.screen->outputs[i];
    }
    return None;
}

int bitsPerPixelOfRootDepth(Display* display) {
    int depth = DefaultDepth(display, DefaultScreen(display));
    int count = 0;
    XPixmapFormatValues* formats = XListPixmapFormats(display, &count);
    int bits = depth;
    for (int i = 0; formats && i < count; ++i)
        if (formats[i].depth == depth)
            bits = formats[i].bits_per_pixel;
    if (formats)
        XFree(formats);
    return bits;
}

int refreshRate(const XRRModeInfo& mode) {
    double total = static_cast<double>(mode.hTotal) * mode.vTotal;
    if (total <= 0 || mode.dotClock == 0)
        return 0;
    return static_cast<int>(std::lround(static_cast<double>(mode.dotClock) / total));
}

// The modes of the chosen output, listed once and kept: index 0 lists them afresh.
std::vector<SystemDisplayMode> listedModes;

void listModes(Display* display) {
    listedModes.clear();
    Resources resources(display);
    if (!resources.screen)
        return;
    RROutput outputId = chosenOutput(display, resources);
    if (outputId == None)
        return;
    OutputInfo output(display, resources.screen, outputId);
    if (!output.info)
        return;
    int bits = bitsPerPixelOfRootDepth(display);
    for (int i = 0; i < output.info->nmode; ++i) {
        const XRRModeInfo* info = resources.mode(output.info->modes[i]);
        if (!info)
            continue;
        SystemDisplayMode mode;
        mode.mode.width = static_cast<int32_t>(info->width);
        mode.mode.height = static_cast<int32_t>(info->height);
        mode.mode.bitsPerPixel = bits;
        mode.mode.refreshRate = refreshRate(*info);
        mode.id = info->id;
        listedModes.push_back(mode);
    }
}

// The screen's size now. DisplayWidth holds the size Xlib last heard of, which lags behind a
// switch until someone reads the server's events; the server itself knows.
void rootSize(Display* display, int& width, int& height) {
    Window root = None;
    int x = 0, y = 0;
    unsigned w = 0, h = 0, border = 0, depth = 0;
    XGetGeometry(display, DefaultRootWindow(display), &root, &x, &y, &w, &h, &border, &depth);
    width = static_cast<int>(w);
    height = static_cast<int>(h);
}

// What the CRTC and the screen looked like before the first change.
struct SavedConfiguration {
    bool valid = false;
    RRCrtc crtc = None;
    RRMode mode = None;
    int x = 0;
    int y = 0;
    Rotation rotation = RR_Rotate_0;
    std::vector<RROutput> outputs;
    int screenWidth = 0;
    int screenHeight = 0;
    int screenWidthMm = 0;
    int screenHeightMm = 0;
};
SavedConfiguration saved;

// Puts crtc into the given configuration, resizing the screen so that every active CRTC fits:
// the CRTC is switched off first, because the screen may not shrink past a lit one.
// 0 on success.
int configureCrtc(Display* display, RRCrtc crtc, RRMode modeId, int x, int y, Rotation rotation,
                  std::vector<RROutput> outputs, int forcedWidth, int forcedHeight,
                  int forcedWidthMm, int forcedHeightMm) {
    Resources resources(display);
    if (!resources.screen)
        return -1;
    const XRRModeInfo* mode = resources.mode(modeId);
    if (!mode)
        return -1;
    bool sideways = (rotation & (RR_Rotate_90 | RR_Rotate_270)) != 0;
    int width = static_cast<int>(sideways ? mode->height : mode->width);
    int height = static_cast<int>(sideways ? mode->width : mode->height);

    int screenWidth = x + width;
    int screenHeight = y + height;
    for (int i = 0; i < resources.screen->ncrtc; ++i) {
        if (resources.screen->crtcs[i] == crtc)
            continue;
        CrtcInfo other(display, resources.screen, resources.screen->crtcs[i]);
        if (other.info && other.info->mode != None) {
            screenWidth =
                std::max(screenWidth, other.info->x + static_cast<int>(other.info->width));
            screenHeight =
                std::max(screenHeight, other.info->y + static_cast<int>(other.info->height));
        }
    }
    if (forcedWidth > 0) {
        screenWidth = std::max(screenWidth, forcedWidth);
        screenHeight = std::max(screenHeight, forcedHeight);
    }

    int minWidth = 0, minHeight = 0, maxWidth = 0, maxHeight = 0;
    Window root = DefaultRootWindow(display);
    if (XRRGetScreenSizeRange(display, root, &minWidth, &minHeight, &maxWidth, &maxHeight) &&
        (screenWidth > maxWidth || screenHeight > maxHeight))
        return -1;
    screenWidth = std::max(screenWidth, minWidth);
    screenHeight = std::max(screenHeight, minHeight);

    int screen = DefaultScreen(display);
    int currentWidth = 0;
    int currentHeight = 0;
    rootSize(display, currentWidth, currentHeight);
    int widthMm = forcedWidthMm;
    int heightMm = forcedHeightMm;
    if (forcedWidth <= 0 || screenWidth != forcedWidth || screenHeight != forcedHeight) {
        // Keep the pixel density Xlib knows for the screen.
        widthMm = static_cast<int>(static_cast<long>(DisplayWidthMM(display, screen)) *
                                   screenWidth / std::max(DisplayWidth(display, screen), 1));
        heightMm = static_cast<int>(static_cast<long>(DisplayHeightMM(display, screen)) *
                                    screenHeight / std::max(DisplayHeight(display, screen), 1));
    }

    // X errors during a switch are results, not reasons to end the process.
    X11ErrorTrap trap(display);
    XGrabServer(display);
    Status status = RRSetConfigSuccess;
    bool resize = screenWidth != currentWidth || screenHeight != currentHeight;
    if (resize) {
        status = XRRSetCrtcConfig(display, resources.screen, crtc, CurrentTime, 0, 0, None,
                                  RR_Rotate_0, nullptr, 0);
        pauseForTest(display, "off");
        if (status == RRSetConfigSuccess) {
            XRRSetScreenSize(display, root, screenWidth, screenHeight, std::max(widthMm, 1),
                             std::max(heightMm, 1));
            pauseForTest(display, "resized");
        }
    }
    if (status == RRSetConfigSuccess) {
        status = XRRSetCrtcConfig(display, resources.screen, crtc, CurrentTime, x, y, modeId,
                                  rotation, outputs.data(), static_cast<int>(outputs.size()));
        pauseForTest(display, "set");
    }
    XUngrabServer(display);
    return status == RRSetConfigSuccess && !trap.failed() ? 0 : -1;
}

// Gives the CRTC and the screen back as they were before the first change; 0 on success.
int restoreConfiguration(Display* display, const SavedConfiguration& before) {
    if (before.mode != None)
        return configureCrtc(display, before.crtc, before.mode, before.x, before.y, before.rotation,
                             before.outputs, before.screenWidth, before.screenHeight,
                             before.screenWidthMm, before.screenHeightMm);
    // The CRTC was dark before: switch it off again and give back the old screen size.
    Resources resources(display);
    if (!resources.screen)
        return -1;
    X11ErrorTrap trap(display);
    Status status = XRRSetCrtcConfig(display, resources.screen, before.crtc, CurrentTime, 0, 0,
                                     None, RR_Rotate_0, nullptr, 0);
    XRRSetScreenSize(display, DefaultRootWindow(display), before.screenWidth, before.screenHeight,
                     std::max(before.screenWidthMm, 1), std::max(before.screenHeightMm, 1));
    return status == RRSetConfigSuccess && !trap.failed() ? 0 : -1;
}

// What the mode guardian keeps of the configuration before the first change: the display's
// name, the CRTC, its mode, position and rotation, the screen's size in pixels and millimetres,
// then the outputs.
std::vector<std::string> guardianRecord(Display* display, const SavedConfiguration& before) {
    std::vector<std::string> words = {DisplayString(display)};
    for (long number :
         {static_cast<long>(before.crtc), static_cast<long>(before.mode),
          static_cast<long>(before.x), static_cast<long>(before.y),
          static_cast<long>(before.rotation), static_cast<long>(before.screenWidth),
          static_cast<long>(before.screenHeight), static_cast<long>(before.screenWidthMm),
          static_cast<long>(before.screenHeightMm)})
        words.push_back(std::to_string(number));
    for (RROutput output : before.outputs)
        words.push_back(std::to_string(output));
    return words;
}

// A change as the guardian compares it with the CRTC it finds: CRTC, mode, position, rotation.
struct Change {
    unsigned long crtc = 0;
    unsigned long mode = 0;
    long x = 0;
    long y = 0;
    unsigned long rotation = 0;
};

std::string changeRecord(const Change& change) {
    return std::to_string(change.crtc) + " " + std::to_string(change.mode) + " " +
           std::to_string(change.x) + " " + std::to_string(change.y) + " " +
           std::to_string(change.rotation);
}

template <typename Number> bool parseNumber(const std::string& word, Number& value) {
    const char* end = word.data() + word.size();
    auto [stop, error] = std::from_chars(word.data(), end, value);
    return error == std::errc() && stop == end && !word.empty();
}

bool parseChange(const std::string& text, Change& change) {
    std::vector<std::string> words(1);
    for (char c : text) {
        if (c == ' ')
            words.emplace_back();
        else
            words.back() += c;
    }
    return words.size() == 5 && parseNumber(words[0], change.crtc) &&
           parseNumber(words[1], change.mode) && parseNumber(words[2], change.x) &&
           parseNumber(words[3], change.y) && parseNumber(words[4], change.rotation);
}

bool parseRecord(const std::vector<std::string>& words, SavedConfiguration& before) {
    if (words.size() < 10)
        return false;
    unsigned long crtc = 0, mode = 0, rotation = 0;
    bool ok = parseNumber(words[1], crtc) && parseNumber(words[2], mode) &&
              parseNumber(words[3], before.x) && parseNumber(words[4], before.y) &&
              parseNumber(words[5], rotation) && parseNumber(words[6], before.screenWidth) &&
              parseNumber(words[7], before.screenHeight) &&
              parseNumber(words[8], before.screenWidthMm) &&
              parseNumber(words[9], before.screenHeightMm);
    for (size_t i = 10; ok && i < words.size(); ++i) {
        unsigned long output = 0;
        ok = parseNumber(words[i], output);
        before.outputs.push_back(output);
    }
    before.crtc = crtc;
    before.mode = mode;
    before.rotation = static_cast<Rotation>(rotation);
    before.valid = ok;
    return ok;
}

// Whether the CRTC is as the change left it.
bool inForce(const XRRCrtcInfo& crtc, const Change& change) {
    return crtc.mode == change.mode && crtc.x == change.x && crtc.y == change.y &&
           crtc.rotation == change.rotation;
}

// In the guardian, after the program ended without giving the mode back: restores it, but only
// while the display is in a state the program passed through: one of its changes, the CRTC
// switched off half-way through a switch (or through the program's own restore), or the
// configuration before. Any other state is someone else's doing. The guardian is a process of
// its own, started before the program's connection existed, so it opens its own: the one
// exception to the one connection of the process, and it lives only after the program has gone.
void restoreForGuardian(const std::vector<std::string>& words,
                        const std::vector<std::string>& texts) {
    switchPhase = "guardian";
    SavedConfiguration before;
    std::vector<Change> changes(texts.size());
    bool readable = parseRecord(words, before);
    for (size_t i = 0; readable && i < texts.size(); ++i)
        readable = parseChange(texts[i], changes[i]);
    if (!readable) {
        std::fprintf(stderr, "kelvara: mode guardian: unreadable configuration, left alone\n");
        return;
    }
    Display* display = XOpenDisplay(words[0].c_str());
    if (!hasRandr12(display)) {
        if (display)
            XCloseDisplay(display);
        std::fprintf(stderr, "kelvara: mode guardian: cannot reach display %s\n", words[0].c_str());
        return;
    }
    bool ours = false;
    {
        X11ErrorTrap trap(display); // a CRTC that has gone is an answer
        Resources resources(display);
        if (resources.screen) {
            const Change& last = changes.back();
            CrtcInfo now(display, resources.screen, static_cast<RRCrtc>(last.crtc));
            const Change unchanged{before.crtc, before.mode, before.x, before.y, before.rotation};
            ours = now.info && (now.info->mode == None || inForce(*now.info, unchanged) ||
                                std::any_of(changes.begin(), changes.end(), [&](const Change& c) {
                                    return inForce(*now.info, c);
                                }));
        }
    }
    if (!ours)
        std::fprintf(stderr, "kelvara: mode guardian: the display mode was changed since the "
                             "run set it; left as it is\n");
    else if (restoreConfiguration(display, before) == 0)
        std::fprintf(stderr, "kelvara: mode guardian: the run ended without giving the display "
                             "mode back; restored it\n");
    else
        std::fprintf(stderr, "kelvara: mode guardian: restoring the display mode failed\n");
    XCloseDisplay(display);
}

} // namespace

bool x11EnumDisplaySettings(int index, SystemDisplayMode& mode) {
    if (index < 0)
        return false;
    Display* display = modeDisplay();
    if (!display)
        return false;
    if (index == 0 || listedModes.empty())
        listModes(display);
    if (static_cast<size_t>(index) >= listedModes.size())
        return false;
    mode = listedModes[static_cast<size_t>(index)];
    return true;
}

int x11ChangeDisplaySettings(const SystemDisplayMode& mode) {
    // Of a run per monitor, only the primary monitor's switches: the others keep their modes and
    // draw at their own sizes.
    if (x11IsMonitorRun() && !x11RunMonitorIsPrimary())
        return 0;
    Display* display = modeDisplay();
    if (!display)
        return -1;
    Resources resources(display);
    if (!resources.screen || !resources.mode(static_cast<RRMode>(mode.id)))
        return -1;
    RROutput outputId = chosenOutput(display, resources);
    if (outputId == None)
        return -1;
    OutputInfo output(display, resources.screen, outputId);
    if (!output.info)
        return -1;
    bool offered = false;
    for (int i = 0; i < output.info->nmode; ++i)
        offered = offered || output.info->modes[i] == static_cast<RRMode>(mode.id);
    if (!offered)
        return -1;

    RRCrtc crtc = output.info->crtc;
    if (crtc == None) {
        // The output is dark: light it on the first CRTC it can use that nothing else uses.
        for (int i = 0; i < output.info->ncrtc && crtc == None; ++i) {
            CrtcInfo candidate(display, resources.screen, output.info->crtcs[i]);
            if (candidate.info && candidate.info->noutput == 0)
                crtc = output.info->crtcs[i];
        }
        if (crtc == None)
            return -1;
    }
    CrtcInfo current(display, resources.screen, crtc);
    if (!current.info)
        return -1;

    if (!saved.valid) {
        pauseForTest(display, "begin");
        int screen = DefaultScreen(display);
        saved.crtc = crtc;
        saved.mode = current.info->mode;
        saved.x = current.info->x;
        saved.y = current.info->y;
        saved.rotation = current.info->rotation;
        saved.outputs.assign(current.info->outputs, current.info->outputs + current.info->noutput);
        rootSize(display, saved.screenWidth, saved.screenHeight);
        saved.screenWidthMm =
            static_cast<int>(static_cast<long>(DisplayWidthMM(display, screen)) *
                             saved.screenWidth / std::max(DisplayWidth(display, screen), 1));
        saved.screenHeightMm =
            static_cast<int>(static_cast<long>(DisplayHeightMM(display, screen)) *
                             saved.screenHeight / std::max(DisplayHeight(display, screen), 1));
        saved.valid = true;
        startModeGuardian(guardianRecord(display, saved));
    }

    // A CRTC that drives no output yet takes the chosen one.
    std::vector<RROutput> outputs =
        current.info->noutput > 0
            ? std::vector<RROutput>(current.info->outputs,
                                    current.info->outputs + current.info->noutput)
            : std::vector<RROutput>{outputId};
    Rotation rotation = current.info->rotation ? current.info->rotation : RR_Rotate_0;
    announceModeChange(changeRecord({crtc, static_cast<RRMode>(mode.id), current.info->x,
                                     current.info->y, static_cast<unsigned long>(rotation)}));
    // The switched screen is exactly the mode where this CRTC is the only one, so that a
    // maximised window covers the mode and nothing beyond.
    return configureCrtc(display, crtc, static_cast<RRMode>(mode.id), current.info->x,
                         current.info->y, rotation, outputs, 0, 0, 0, 0);
}

void x11RestoreDisplaySettings() {
    if (!saved.valid)
        return;
    Display* display = modeDisplay();
    switchPhase = "restore";
    if (display && restoreConfiguration(display, saved) == 0)
        dismissModeGuardian();
    switchPhase = "switch";
    saved = SavedConfiguration();
}

unsigned long x11ModeOutput() {
    Display* display = modeDisplay();
    if (!display)
        return None;
    Resources resources(display);
    return resources.screen ? chosenOutput(display, resources) : None;
}

bool runX11ModeGuardian(int argc, char** argv, int& status) {
    return runModeGuardianIfAsked(argc, argv, restoreForGuardian, status);
}
