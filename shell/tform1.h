// The one form of the program: settings dialog, full-screen window and preview window. Its
// construction sets the data folder, loads the settings and starts the mode the command line
// asks for; onIdle then drives the preview, the dialog or the intro and saver frames.
#pragma once

#include "platform/display_mode.h"
#include "platform/form_view.h"
#include "shell/command_line.h"
#include "shell/display_mode_list.h"
#include "shell/frame_rate.h"
#include "shell/shell_services.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class GLV;
class HostWindow;
struct Saver;

// The saver's settings live under this key followed by the saver's name.
inline constexpr const char* settingsKeyPrefix = "SOFTWARE\\Velloran\\";

class TForm1 : public FormEvents {
public:
    // args are the command-line arguments after the program's name. Throws Exception when the
    // settings cannot be read, the preview's window id is no number or the run cannot start;
    // whatever the run had made by then is released first.
    TForm1(FormView& view, ShellServices& services, std::vector<std::string> args);
    ~TForm1() override;
    TForm1(const TForm1&) = delete;
    TForm1& operator=(const TForm1&) = delete;

    void onIdle(bool& done);

    // FormEvents.
    void FormKeyDown() override;
    void FormMouseDown() override;
    void FormMouseMove() override;
    void stopTimer() override;
    void Button1Click() override;
    void Button2Click() override;
    void Label2Click() override;
    // Releases the run's objects; runs once, whichever way out is taken first.
    void FormDestroy() override;

    // Shell state; flags are 32-bit integers used as booleans.
    std::unique_ptr<GLV> glView;
    std::unique_ptr<Bitmap> desktopBitmap;
    int32_t running = 0;
    int32_t introRunning = 1;
    int32_t previewMode = 0;
    int32_t configMode = 0;
    std::unique_ptr<Saver> theSaver;
    const DisplayMode desktopMode{};
    int32_t mouseMoveCount = 0;
    int32_t previewHidePending = 1;
    int32_t introSetupPending = 1;
    int32_t saverSetupPending = 1;
    uintptr_t previewHost = 0;
    // Host mode: the run draws into a window of the saver host (see startHost).
    int32_t hostMode = 0;
    std::unique_ptr<HostWindow> hostWindow;
    std::array<DisplayMode, maxDisplayModes> displayModes{};
    int displayModeCount = 0;

private:
    void setDataFolder();
    void fillDisplayModeList();
    void loadSettings();
    void applyCustomization();
    void startFullScreen();
    void startPreview();
    void startSettings();
    void startHost();
    Bitmap hostPicture(const HostOptions& options);
    void reportError(const std::string& message);
    void closeForm();
    void inputEndsRun();
    void previewIdle();
    void fullScreenIdle();
    void introFailed(const std::string& message);
    void endRunAfterError(const std::string& message);
    std::string settingsKey();

    FormView& view;
    ShellServices& services;
    std::vector<std::string> args;
    // Start-up pumps messages; input that comes then ends the program once it returns.
    int32_t starting = 0;
    int32_t closeRequested = 0;
    int32_t closing = 0;
    int32_t destroyed = 0;
    // Set once the start-up may have switched the display mode: from then on the teardown
    // gives it back, also when no view was made.
    int32_t graphicsStarted = 0;
    // The frame calls may pump messages (an error box does); a nested pass does nothing.
    int32_t inIdle = 0;
    // With --report-fps the run prints the intro's and the mosaic's frame rates at its end.
    int32_t reportFrameRate = 0;
    FrameRate introFrames;
    FrameRate saverFrames;
    FrameRate allFrames;
};
