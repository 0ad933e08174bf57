#include "shell/tform1.h"

#include "glv_main/glv_main.h"
#include "platform/exception.h"
#include "platform/host_window.h"
#include "shell/comma_text.h"
#include "shell/command_line.h"
#include "shell/desktop_capture.h"
#include "shell/maker_link.h"
#include "shell/saver_building.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace {

// A system that keeps enumerating modes none of which is offered must not hang the start.
constexpr int maxEnumeratedModes = 1 << 16;

// The preview's picture never changes: 25 repaints a second keep it on screen without
// burning a core.
constexpr int previewPaceMs = 40;

constexpr int settingsHeightWithoutCustomization = 180;

} // namespace

TForm1::TForm1(FormView& view, ShellServices& services, std::vector<std::string> args)
    : view(view), services(services), args(std::move(args)) {
    view.setEvents(this);
    try {
        setDataFolder();
        fillDisplayModeList();
        loadSettings();
        applyCustomization();
        switch (runModeOf(this->args)) {
        case RunMode::fullScreen:
            startFullScreen();
            break;
        case RunMode::preview:
            startPreview();
            break;
        case RunMode::settings:
            startSettings();
            break;
        case RunMode::host:
            startHost();
            break;
        case RunMode::none:
            services.application().terminate();
            break;
        }
    } catch (...) {
        // A half-made run still gives the display mode back before the error is shown.
        FormDestroy();
        view.setEvents(nullptr);
        throw;
    }
}

TForm1::~TForm1() {
    FormDestroy();
    view.setEvents(nullptr);
}

std::string TForm1::settingsKey() {
    return settingsKeyPrefix + services.saverName();
}

void TForm1::setDataFolder() {
    const std::string path = services.executablePath();
    const size_t slash = path.find_last_of("/\\");
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    services.setCurrentDirectory(folder + services.saverName());
}

void TForm1::fillDisplayModeList() {
    for (int i = 0; i < maxEnumeratedModes && displayModeCount < maxDisplayModes; ++i) {
        DisplayMode mode;
        if (!services.enumDisplayMode(i, mode)) {
            break;
        }
        if (!isOfferedDisplayMode(mode)) {
            continue;
        }
        view.resAdd(displayModeText(mode));
        displayModes[displayModeCount++] = mode;
    }
}

void TForm1::loadSettings() {
    const std::string key = settingsKey();
    Registry& registry = services.registry();
    if (!registry.keyExists(key)) {
        view.resSelect(0);
        std::vector<std::string> lines = view.customLines();
        services.saverDefaultCustomization(lines);
        view.setCustomLines(lines);
        return;
    }
    const std::unique_ptr<RegistryKey> values = registry.openKey(key);
    const int32_t index = values->readInteger("resolution");
    view.resSelect(index >= 0 && index < view.resCount() ? index : -1);
    view.setSoundChecked(values->readInteger("sound") != 0);
    view.setCustomLines(parseCommaText(values->readString("customize")));
}

void TForm1::applyCustomization() {
    std::vector<std::string> lines = view.customLines();
    if (lines.empty()) {
        services.saverDefaultCustomization(lines);
        view.setCustomLines(lines);
    }
    services.saverParseCustomization(lines);
}

void TForm1::startFullScreen() {
    if (services.saverNeedsDesktop()) {
        desktopBitmap = std::make_unique<Bitmap>(scaleDesktop(services.captureScreen()));
    }
    services.setHighPriority();
    view.makeFullScreen();
    view.show();
    running = 1;
    reportFrameRate = reportsFrameRate(args);

    SaverRequirements requirements;
    services.saverRequirements(requirements);
    adjustRequirements(requirements);

    DisplayMode mode = desktopMode;
    const int index = view.resSelectedIndex();
    if (index > 0 && index - 1 < displayModeCount) {
        mode = displayModes[index - 1];
    }

    int32_t performance = 0;
    graphicsStarted = 1;
    starting = 1;
    int started = 0;
    try {
        started = services.initGraphics(&glView, view, requirements, mode, &performance,
                                        ignoresRequirements(args));
    } catch (...) {
        starting = 0;
        throw;
    }
    starting = 0;

    if (closeRequested) {
        // The message loop has not started yet, so closing the form now would only hide it:
        // end the program instead.
        FormDestroy();
        services.application().terminate();
        return;
    }
    if (started) {
        services.application().setIdleHandler([this](bool& done) { onIdle(done); });
        view.setCaption("Kelvara, " + services.rendererName(glView.get()));
        theSaver = services.buildSaver(desktopBitmap.get(), glView.get(), performance);
        if (showsFrameRate(args)) {
            services.showFrameRate(glView.get());
        }
    } else {
        view.focus();
        view.bringToForeground();
        view.enableStopTimer();
    }
}

// Host mode: the whole run (desktop picture, intro, mosaic) in a window the saver host gives,
// as the host's own savers behave. The host owns the screen: no display-mode switch, no raised
// priority (it may have lowered ours), no input handling (it ends the run), no start-up log
// (what falls short is written to standard error and the run goes on), and the form never shows.
void TForm1::startHost() {
    hostMode = 1;
    const HostOptions options = hostOptionsOf(args, std::getenv("XSCREENSAVER_WINDOW"));
    view.keepHidden();
    hostWindow = services.openHostWindow(options.window);
    hostWindow->setGoneHandler([this] { closeForm(); });
    if (services.saverNeedsDesktop()) {
        desktopBitmap = std::make_unique<Bitmap>(scaleDesktop(hostPicture(options)));
    }
    reportFrameRate = reportsFrameRate(args);

    SaverRequirements requirements;
    services.saverRequirements(requirements);
    adjustRequirements(requirements);
    DisplayMode mode = desktopMode;
    int32_t performance = 0;
    const int started = services.initGraphics(&glView, *hostWindow, requirements, mode,
                                              &performance, /*ignoreRequirements=*/true);
    if (!started || glView == nullptr) {
        // Only an error stops a start that ignores the minimums; its log went to standard
        // error already.
        throw Exception("The graphics start-up failed");
    }
    services.application().setIdleHandler([this](bool& done) { onIdle(done); });
    theSaver = services.buildSaver(desktopBitmap.get(), glView.get(), performance);
    if (options.showFrameRate) {
        services.showFrameRate(glView.get());
    }
}

// The picture a host-mode run starts from. XScreenSaver's user decides, as for its own image
// savers, whether savers may show the screen (a locked screen's passers-by would see it), or
// else a picture from a folder of theirs; where neither, a plain picture of our own.
Bitmap TForm1::hostPicture(const HostOptions& options) {
    HostImageSettings settings;
    if (options.underXScreenSaver) {
        settings = hostWindow->imageSettings();
        if (!settings.problem.empty()) {
            std::fprintf(stderr, "kelvara: %s; the screen is not shown\n",
                         settings.problem.c_str());
        }
    }
    if (!options.underXScreenSaver || settings.grabDesktopImages) {
        // What was on the screen before the host covered it, when the host kept it; else the
        // screen as it is now, which is all anyone else could see either.
        Bitmap screen;
        if (!hostWindow->hostScreenshot(screen)) {
            screen = services.captureScreen();
        }
        return screen;
    }
    const std::string& folder = settings.imageDirectory;
    if (settings.chooseRandomImages && !folder.empty()) {
        if (folder.starts_with("http://") || folder.starts_with("https://")) {
            std::fprintf(stderr,
                         "kelvara: pictures from a feed (%s) are not supported; a plain "
                         "picture instead\n",
                         folder.c_str());
        } else {
            try {
                return services.pictureFromFolder(folder);
            } catch (const Exception& e) {
                std::fprintf(stderr, "kelvara: %s; a plain picture instead\n", e.message.c_str());
            }
        }
    }
    return neutralDesktop();
}

void TForm1::startPreview() {
    previewHost = parseWindowId(args.size() > 1 ? args[1] : std::string());
    view.makePreviewChild(previewHost);
    previewMode = 1;
    services.application().setIdleHandler([this](bool& done) { onIdle(done); }, previewPaceMs);
}

void TForm1::startSettings() {
    configMode = 1;
    view.setCaption(services.saverName() + " Screensaver Settings");
    if (!services.saverHasCustomization()) {
        view.setCustomBoxVisible(false);
        view.setHeight(settingsHeightWithoutCustomization);
    }
    view.setPanel1Visible(true);
    view.setSoundVisible(services.saverHasSoundOption());
    services.application().setIdleHandler([this](bool& done) { onIdle(done); });
}

void TForm1::onIdle(bool& done) {
    done = false;
    if (inIdle || destroyed) {
        return;
    }
    struct Guard {
        int32_t& flag;
        explicit Guard(int32_t& flag) : flag(flag) { flag = 1; }
        ~Guard() { flag = 0; }
    } guard(inIdle);

    if (previewMode) {
        previewIdle();
    } else if (configMode) {
        view.hideOwnerWindow();
        services.application().clearIdleHandler();
    } else {
        fullScreenIdle();
    }
}

void TForm1::previewIdle() {
    if (previewHidePending) {
        previewHidePending = 0;
        view.hide();
    }
    services.paintIntoWindow(previewHost, view.logo(), 5, 20, 140, 70);
}

void TForm1::fullScreenIdle() {
    if (closing || theSaver == nullptr) {
        return;
    }
    // Each pending flag is cleared before its call, so a call that fails is never made again.
    if (introSetupPending) {
        if (!hostMode) {
            view.focus();
            view.bringToForeground();
        }
        introSetupPending = 0;
        try {
            services.introSetup(glView.get());
        } catch (...) {
            introFailed(currentExceptionMessage());
            return;
        }
    }
    if (introRunning) {
        try {
            introRunning = services.introFrame() != 0;
            if (introRunning) {
                introFrames.frame();
                allFrames.frame(introFrames.last);
            }
        } catch (...) {
            introFailed(currentExceptionMessage());
        }
        return; // the pass that ends the intro draws no saver frame
    }
    try {
        if (saverSetupPending) {
            saverSetupPending = 0;
            services.saverSetup(*theSaver);
        }
        services.saverFrame(*theSaver);
        saverFrames.frame();
        allFrames.frame(saverFrames.last);
    } catch (...) {
        endRunAfterError(currentExceptionMessage());
    }
}

void TForm1::introFailed(const std::string& message) {
    introRunning = 0;
    if (hostMode) {
        // Logged for the host, which ends the run itself: the saver follows on the next pass.
        reportError(message);
        return;
    }
    // The run ends as after a failed saver frame: a box over a full-screen window of the run
    // may sit behind it, out of reach, with the input the run would need to end.
    endRunAfterError(message);
}

void TForm1::endRunAfterError(const std::string& message) {
    // Tear down before the message: the display is back in its own mode while the box shows.
    services.application().clearIdleHandler();
    FormDestroy();
    reportError(message);
    closeForm();
}

void TForm1::reportError(const std::string& message) {
    // A box of our own would pop up over the host's screen, or behind it, unanswered.
    if (hostMode) {
        std::fprintf(stderr, "kelvara: %s\n", message.c_str());
        return;
    }
    services.showError(message);
}

void TForm1::closeForm() {
    if (closing) {
        return;
    }
    closing = 1;
    view.close();
}

void TForm1::inputEndsRun() {
    if (!running) {
        return;
    }
    if (starting) {
        closeRequested = 1;
        return;
    }
    closeForm();
}

void TForm1::FormKeyDown() {
    inputEndsRun();
}

void TForm1::FormMouseDown() {
    inputEndsRun();
}

void TForm1::FormMouseMove() {
    if (!running) {
        return;
    }
    ++mouseMoveCount;
    if (mouseMoveCount > 10) {
        inputEndsRun();
    }
}

void TForm1::stopTimer() {
    closeForm();
}

void TForm1::Button1Click() {
    try {
        const std::unique_ptr<RegistryKey> values = services.registry().createKey(settingsKey());
        values->writeInteger("resolution", view.resSelectedIndex());
        values->writeInteger("sound", view.soundChecked() ? 1 : 0);
        values->writeString("customize", commaText(view.customLines()));
    } catch (...) {
        // Nothing is lost: the dialog stays open for another try.
        services.showError(currentExceptionMessage());
        return;
    }
    closeForm();
}

void TForm1::Button2Click() {
    std::vector<std::string> lines = view.customLines();
    services.saverDefaultCustomization(lines);
    view.setCustomLines(lines);
}

void TForm1::Label2Click() {
    services.openUrl(makerUrl);
    closeForm();
}

void TForm1::FormDestroy() {
    if (destroyed) {
        return;
    }
    if (starting) {
        // A signal handled by the start-up's message pump: the view is still in use there, so
        // the teardown waits until the start-up returns.
        closeRequested = 1;
        return;
    }
    destroyed = 1;
    services.application().clearIdleHandler();
    // The saver's textures and quadric go while the GL context still exists.
    if (theSaver != nullptr) {
        services.destroySaver(std::move(theSaver));
    }
    // Also without a view: the start-up may have switched the mode before making it.
    if (glView != nullptr || graphicsStarted) {
        services.shutdownGraphics(std::move(glView));
    }
    desktopBitmap.reset();
    view.hide();
    if (reportFrameRate) {
        std::printf("kelvara: %llu frames, frames per second: %.1f (intro %.1f, mosaic %.1f)\n",
                    static_cast<unsigned long long>(allFrames.frames), allFrames.perSecond(),
                    introFrames.perSecond(), saverFrames.perSecond());
        std::fflush(stdout);
    }
}
