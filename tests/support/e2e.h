// Helpers of the end-to-end tests: run the real program on the private X server, find and
// drive its windows with XTest, read pixels back and keep screenshots.
//
//   e2e::ConfigHome config;                         // a fresh XDG_CONFIG_HOME
//   e2e::Program run({"/c"}, config.environment());  // build/kelvara /c
//   Window dialog = e2e::waitForWindow("Tarnwick Screensaver Settings");
//   e2e::clickIn(dialog, 237, 316);                  // client coordinates
//   ASSERT_TRUE(run.waitForExit());
//   EXPECT_EQ(run.exitStatus(), 0);
//
// Every wait polls its condition until a generous time-out; none of them sleeps blindly.
#pragma once

// No X11 header here: its macros (None, Bool, Status) break GoogleTest's own names.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

struct _XDisplay;

namespace e2e {

using Window = unsigned long; // an X window id (XID)
constexpr Window noWindow = 0;

using Environment = std::vector<std::pair<std::string, std::string>>;

// Generous: the test machine may be busy and Mesa renders on the processor.
constexpr double defaultTimeout = 30.0;

// Polls condition every few milliseconds until it holds (true) or the time-out passes (false).
bool waitUntil(const std::function<bool()>& condition, double seconds = defaultTimeout);

// The program under test, build/kelvara.
std::string programPath();

// A temporary folder, removed with everything in it when this goes.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    std::string path;
};

// A configuration folder of its own for one run: XDG_CONFIG_HOME and the registry file in it.
class ConfigHome {
public:
    Environment environment() const { return {{"XDG_CONFIG_HOME", folder.path}}; }
    std::string registryPath() const { return folder.path + "/kelvara/registry.reg"; }
    // The registry file's text; empty when there is none.
    std::string readRegistry() const;
    void writeRegistry(const std::string& text) const;
    TempFolder folder;
};

// A started program with its standard output and error captured. Killed (SIGKILL) when this
// goes while it still runs.
class Program {
public:
    // Runs path (default: the program under test) with the arguments and with environment
    // entries added to (or replacing those of) this process's environment, less its Wayland
    // display (WAYLAND_DISPLAY, WAYLAND_SOCKET) unless environment names one.
    explicit Program(const std::vector<std::string>& arguments, const Environment& environment = {},
                     const std::string& path = programPath());
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool waitForExit(double seconds = defaultTimeout);
    bool running();
    // The exit status, or 128 + the signal that ended it; -1 while it runs.
    int exitStatus();
    // Whether it has ended by a signal rather than by exiting.
    bool endedBySignal();
    void signal(int number);
    std::string standardOutput() const;
    std::string standardError() const;

    pid_t pid = -1;

private:
    TempFolder output;
    int status = -1;
    bool signalled = false;
};

// The private X server's connection, opened once.
_XDisplay* display();
// How many connections the process holds to the private X server now, from the server's own
// list of its clients (the X-Resource extension); -1 when the server cannot tell.
int xConnectionsOf(pid_t pid);
int displayWidth();
int displayHeight();

// How a title is matched: the whole of it, or its start (the full-screen caption is "Kelvara, "
// followed by the renderer's name).
enum class Title { exact, prefix };

// A viewable window whose title (_NET_WM_NAME or WM_NAME) matches; noWindow when there is none.
Window findWindow(const std::string& title, Title match = Title::exact);
// Waits until such a window is viewable; noWindow after the time-out.
Window waitForWindow(const std::string& title, double seconds = defaultTimeout,
                     Title match = Title::exact);
// The viewable top-level windows, titled or not (a dropped-down list is one of them).
std::vector<Window> topLevelWindows();
// Waits until no viewable window has the title.
bool waitForWindowGone(const std::string& title, double seconds = defaultTimeout,
                       Title match = Title::exact);
// A window's title, its position on the root window and its size.
std::string windowTitle(Window window);
struct Geometry {
    int x = 0, y = 0, width = 0, height = 0;
};
Geometry windowGeometry(Window window);

// Real input through XTest; positions are in the window's own (client) coordinates.
void moveTo(Window window, int x, int y);
void clickIn(Window window, int x, int y, unsigned button = 1);
// Asks the window to close as a window manager's close box does (WM_DELETE_WINDOW).
void closeWindow(Window window);
// A key by its keysym name ("Escape", "a", "Return"), pressed and released.
void pressKey(const std::string& keysymName);

// Pixels of a window as 0xRRGGBB, row by row; empty when the window cannot be read.
std::vector<uint32_t> readPixels(Window window, int x, int y, int width, int height);
uint32_t readPixel(Window window, int x, int y);
// Clears the window to its background, as an expose by another window would.
void clearWindow(Window window);

// Saves the whole screen as <build>/test-output/<name>.png and prints where to standard output;
// returns the path ("" when import failed).
std::string screenshot(const std::string& name);

// A picture in 8-bit RGB, top row first, as the screenshots of the root window come.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb;

    const unsigned char* at(int x, int y) const {
        return rgb.data() + (static_cast<size_t>(y) * width + x) * 3;
    }
};

// A binary PPM file (P6, 8 bits a channel); throws std::runtime_error on any other content.
Picture readPpm(const std::string& path);

// The root window as ImageMagick's import sees it, kept as a PPM file at path and read back;
// throws std::runtime_error when import fails.
Picture takeScreenshot(const std::string& path);

// The share of pixels whose channels all lie within 24 levels of the other picture's; 0 when
// the sizes differ.
double shareAlike(const Picture& picture, const Picture& other);

// Shows the image file on the root window, scaled to the screen, so that an effect built on
// the desktop shows something recognisable. Its files go into folder; returns the picture as
// scaled, to compare screenshots with. Throws std::runtime_error when convert fails.
Picture showOnRoot(const std::string& image, const std::string& folder);

// Takes screenshots into the PPM file at path until one meets the condition. Fails when the
// program ends first or the time runs out, naming what it waited for and with the program's
// output. The last screenshot stays at path.
testing::AssertionResult waitForScreen(Program& program, const std::string& path,
                                       const std::string& what,
                                       const std::function<bool(const Picture&)>& condition,
                                       double seconds = defaultTimeout);

// A plain window of this test process to host a preview; mapped and viewable on return.
class HostWindow {
public:
    HostWindow(int width, int height, uint32_t background = 0x000000);
    ~HostWindow();
    // Fills the host with a window of its own inside it, as many programs' top-level windows
    // are; returned mapped and viewable.
    Window addInnerWindow(uint32_t background);
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;
    Window window = noWindow;
};

} // namespace e2e
