#include "e2e.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XRes.h>
#include <X11/extensions/XTest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace e2e {

namespace {

namespace fs = std::filesystem;

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

int ignoreErrors(Display*, XErrorEvent*) {
    return 0;
}

// Calls that may name a window that has just gone.
class ErrorsIgnored {
public:
    ErrorsIgnored() : previous(XSetErrorHandler(ignoreErrors)) {}
    ~ErrorsIgnored() {
        XSync(display(), False);
        XSetErrorHandler(previous);
    }
    ErrorsIgnored(const ErrorsIgnored&) = delete;
    ErrorsIgnored& operator=(const ErrorsIgnored&) = delete;

private:
    XErrorHandler previous;
};

bool viewable(Window window) {
    XWindowAttributes a{};
    return XGetWindowAttributes(display(), window, &a) != 0 && a.map_state == IsViewable;
}

bool matches(const std::string& name, const std::string& title, Title match) {
    return match == Title::exact ? name == title : name.compare(0, title.size(), title) == 0;
}

Window searchTree(Window parent, const std::string& title, Title match) {
    Window root = None, up = None, *children = nullptr;
    unsigned count = 0;
    if (XQueryTree(display(), parent, &root, &up, &children, &count) == 0) {
        return None;
    }
    Window found = None;
    // Top of the stacking order first.
    for (unsigned i = count; i-- > 0 && found == None;) {
        if (matches(windowTitle(children[i]), title, match) && viewable(children[i])) {
            found = children[i];
        } else {
            found = searchTree(children[i], title, match); // under a window manager's frame
        }
    }
    if (children != nullptr) {
        XFree(children);
    }
    return found;
}

void flushInput() {
    XSync(display(), False);
}

} // namespace

bool waitUntil(const std::function<bool()>& condition, double seconds) {
    const auto end = std::chrono::steady_clock::now() +
                     std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                         std::chrono::duration<double>(seconds));
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

std::string programPath() {
    return std::string(KELVARA_BINARY_DIR) + "/kelvara";
}

TempFolder::TempFolder() {
    char pattern[] = "/tmp/kelvara-e2e-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path, ignored);
}

std::string ConfigHome::readRegistry() const {
    return readText(registryPath());
}

void ConfigHome::writeRegistry(const std::string& text) const {
    fs::create_directories(fs::path(registryPath()).parent_path());
    std::ofstream(registryPath(), std::ios::binary) << text;
}

Program::Program(const std::vector<std::string>& arguments, const Environment& environment,
                 const std::string& path) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        // The program runs on the private X server, never on the Wayland desktop that the tests
        // may have been started from; a test that wants a compositor names it.
        bool replaced =
            entry.rfind("WAYLAND_DISPLAY=", 0) == 0 || entry.rfind("WAYLAND_SOCKET=", 0) == 0;
        for (const auto& [name, value] : environment) {
            replaced = replaced || entry.compare(0, name.size() + 1, name + "=") == 0;
        }
        if (!replaced) {
            env.push_back(entry);
        }
    }
    for (const auto& [name, value] : environment) {
        env.push_back(name + "=" + value);
    }
    std::vector<char*> argv{const_cast<char*>(path.c_str())};
    for (const std::string& a : arguments) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& e : env) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);
    const std::string out = output.path + "/stdout", err = output.path + "/stderr";

    pid = fork();
    if (pid == 0) {
        if (!freopen(out.c_str(), "w", stdout) || !freopen(err.c_str(), "w", stderr)) {
            _exit(126);
        }
        execve(path.c_str(), argv.data(), envp.data());
        std::perror("execve");
        _exit(127);
    }
    if (pid < 0) {
        throw std::runtime_error("fork failed");
    }
}

Program::~Program() {
    if (running()) {
        ::kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
}

bool Program::running() {
    if (status >= 0 || pid <= 0) {
        return false;
    }
    int s = 0;
    if (waitpid(pid, &s, WNOHANG) == pid) {
        status = WIFEXITED(s) ? WEXITSTATUS(s) : 128 + WTERMSIG(s);
        signalled = WIFSIGNALED(s);
        return false;
    }
    return true;
}

bool Program::waitForExit(double seconds) {
    return waitUntil([this] { return !running(); }, seconds);
}

int Program::exitStatus() {
    running();
    return status;
}

bool Program::endedBySignal() {
    running();
    return signalled;
}

void Program::signal(int number) {
    if (running()) {
        ::kill(pid, number);
    }
}

std::string Program::standardOutput() const {
    return readText(output.path + "/stdout");
}
std::string Program::standardError() const {
    return readText(output.path + "/stderr");
}

Display* display() {
    static Display* connection = [] {
        Display* d = XOpenDisplay(nullptr);
        if (d == nullptr) {
            throw std::runtime_error("cannot open the X display; is DISPLAY set?");
        }
        return d;
    }();
    return connection;
}

int xConnectionsOf(pid_t pid) {
    XResClientIdSpec everyClient{0, XRES_CLIENT_ID_PID_MASK};
    long count = 0;
    XResClientIdValue* ids = nullptr;
    if (XResQueryClientIds(display(), 1, &everyClient, &count, &ids) != Success) {
        return -1;
    }
    int connections = 0;
    for (long i = 0; i < count; ++i) {
        connections += XResGetClientPid(&ids[i]) == pid;
    }
    XResClientIdsDestroy(count, ids);
    return connections;
}

int displayWidth() {
    return DisplayWidth(display(), DefaultScreen(display()));
}
int displayHeight() {
    return DisplayHeight(display(), DefaultScreen(display()));
}

std::string windowTitle(Window window) {
    ErrorsIgnored ignored;
    std::string title;
    Atom utf8 = XInternAtom(display(), "UTF8_STRING", False);
    Atom netName = XInternAtom(display(), "_NET_WM_NAME", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display(), window, netName, 0, 1024, False, utf8, &type, &format, &count,
                           &after, &data) == Success &&
        data != nullptr) {
        title.assign(reinterpret_cast<char*>(data), count);
        XFree(data);
        return title;
    }
    char* name = nullptr;
    if (XFetchName(display(), window, &name) != 0 && name != nullptr) {
        title = name;
        XFree(name);
    }
    return title;
}

Window findWindow(const std::string& title, Title match) {
    ErrorsIgnored ignored;
    return searchTree(DefaultRootWindow(display()), title, match);
}

Window waitForWindow(const std::string& title, double seconds, Title match) {
    Window found = None;
    waitUntil([&] { return (found = findWindow(title, match)) != None; }, seconds);
    return found;
}

std::vector<Window> topLevelWindows() {
    ErrorsIgnored ignored;
    std::vector<Window> found;
    Window root = None, up = None, *children = nullptr;
    unsigned count = 0;
    if (XQueryTree(display(), DefaultRootWindow(display()), &root, &up, &children, &count) != 0) {
        for (unsigned i = 0; i < count; ++i) {
            if (viewable(children[i])) {
                found.push_back(children[i]);
            }
        }
        XFree(children);
    }
    return found;
}

bool waitForWindowGone(const std::string& title, double seconds, Title match) {
    return waitUntil([&] { return findWindow(title, match) == None; }, seconds);
}

Geometry windowGeometry(Window window) {
    ErrorsIgnored ignored;
    Geometry g;
    XWindowAttributes a{};
    if (XGetWindowAttributes(display(), window, &a) == 0) {
        return g;
    }
    Window child = None;
    XTranslateCoordinates(display(), window, DefaultRootWindow(display()), 0, 0, &g.x, &g.y,
                          &child);
    g.width = a.width;
    g.height = a.height;
    return g;
}

void moveTo(Window window, int x, int y) {
    const Geometry g = windowGeometry(window);
    XTestFakeMotionEvent(display(), DefaultScreen(display()), g.x + x, g.y + y, CurrentTime);
    flushInput();
}

void clickIn(Window window, int x, int y, unsigned button) {
    moveTo(window, x, y);
    XTestFakeButtonEvent(display(), button, True, CurrentTime);
    XTestFakeButtonEvent(display(), button, False, CurrentTime);
    flushInput();
}

void closeWindow(Window window) {
    ErrorsIgnored ignored;
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = window;
    e.xclient.message_type = XInternAtom(display(), "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = static_cast<long>(XInternAtom(display(), "WM_DELETE_WINDOW", False));
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(display(), window, False, NoEventMask, &e);
}

void pressKey(const std::string& keysymName) {
    const KeySym sym = XStringToKeysym(keysymName.c_str());
    const KeyCode code = XKeysymToKeycode(display(), sym);
    if (code == 0) {
        throw std::runtime_error("no key for " + keysymName);
    }
    XTestFakeKeyEvent(display(), code, True, CurrentTime);
    XTestFakeKeyEvent(display(), code, False, CurrentTime);
    flushInput();
}

std::vector<uint32_t> readPixels(Window window, int x, int y, int width, int height) {
    ErrorsIgnored ignored;
    std::vector<uint32_t> pixels;
    XImage* image = XGetImage(display(), window, x, y, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (image == nullptr) {
        return pixels;
    }
    pixels.reserve(static_cast<size_t>(width) * height);
    for (int row = 0; row < height; ++row) {
        for (int col = 0; col < width; ++col) {
            const unsigned long p = XGetPixel(image, col, row);
            auto channel = [p](unsigned long mask) {
                int shift = 0;
                while (mask != 0 && (mask & 1) == 0) {
                    mask >>= 1;
                    ++shift;
                }
                return static_cast<uint32_t>(((p >> shift) & mask) * 255 / (mask ? mask : 1));
            };
            pixels.push_back(channel(image->red_mask) << 16 | channel(image->green_mask) << 8 |
                             channel(image->blue_mask));
        }
    }
    XDestroyImage(image);
    return pixels;
}

void clearWindow(Window window) {
    ErrorsIgnored ignored;
    XClearWindow(display(), window);
}

uint32_t readPixel(Window window, int x, int y) {
    const std::vector<uint32_t> p = readPixels(window, x, y, 1, 1);
    return p.empty() ? 0xFFFFFFFFu : p[0];
}

std::string screenshot(const std::string& name) {
    const fs::path folder = fs::path(KELVARA_BINARY_DIR) / "test-output";
    std::error_code ignored;
    fs::create_directories(folder, ignored);
    const std::string path = (folder / (name + ".png")).string();
    const std::string command = "import -window root '" + path + "' 2>/dev/null";
    if (std::system(command.c_str()) != 0) {
        return {};
    }
    std::printf("screenshot: %s\n", path.c_str());
    return path;
}

Picture readPpm(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int maxValue = 0;
    Picture picture;
    in >> magic >> picture.width >> picture.height >> maxValue;
    in.get();
    if (magic != "P6" || maxValue != 255 || picture.width <= 0 || picture.height <= 0) {
        throw std::runtime_error("unexpected picture format in " + path);
    }
    picture.rgb.resize(static_cast<size_t>(picture.width) * picture.height * 3);
    in.read(reinterpret_cast<char*>(picture.rgb.data()),
            static_cast<std::streamsize>(picture.rgb.size()));
    if (!in) {
        throw std::runtime_error("short picture " + path);
    }
    return picture;
}

Picture takeScreenshot(const std::string& path) {
    const std::string command = "import -window root -depth 8 'ppm:" + path + "'";
    if (std::system(command.c_str()) != 0) {
        throw std::runtime_error("import failed");
    }
    return readPpm(path);
}

double shareAlike(const Picture& picture, const Picture& other) {
    if (picture.rgb.size() != other.rgb.size() || picture.rgb.empty()) {
        return 0;
    }
    size_t alike = 0;
    for (size_t p = 0; p < picture.rgb.size(); p += 3) {
        bool close = true;
        for (size_t c = 0; c < 3; ++c) {
            close = close && std::abs(picture.rgb[p + c] - other.rgb[p + c]) <= 24;
        }
        alike += close;
    }
    return static_cast<double>(alike) / static_cast<double>(picture.rgb.size() / 3);
}

Picture showOnRoot(const std::string& image, const std::string& folder) {
    const Picture before = takeScreenshot(folder + "/before.ppm");
    const std::string scaled = folder + "/desktop.png", picture = folder + "/picture.ppm";
    const std::string resize = "convert '" + image + "' -resize " + std::to_string(before.width) +
                               "x" + std::to_string(before.height) + "! '" + scaled + "'";
    const std::string toPpm = "convert '" + scaled + "' -depth 8 'ppm:" + picture + "'";
    if (std::system(resize.c_str()) != 0 || std::system(toPpm.c_str()) != 0) {
        throw std::runtime_error("convert failed on " + image);
    }
    // display exits with 1 even when it did its work, so only the screen itself can tell.
    const int ignored = std::system(("display -window root '" + scaled + "'").c_str());
    (void)ignored;
    return readPpm(picture);
}

testing::AssertionResult waitForScreen(Program& program, const std::string& path,
                                       const std::string& what,
                                       const std::function<bool(const Picture&)>& condition,
                                       double seconds) {
    bool ended = false;
    const bool stopped = waitUntil(
        [&] {
            ended = !program.running();
            return ended || condition(takeScreenshot(path));
        },
        seconds);
    if (stopped && !ended) {
        return testing::AssertionSuccess();
    }
    return testing::AssertionFailure()
           << (ended ? "kelvara ended while waiting for " : "timed out waiting for ") << what
           << "\n"
           << program.standardOutput() << program.standardError();
}

HostWindow::HostWindow(int width, int height, uint32_t background) {
    Display* d = display();
    window = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, static_cast<unsigned>(width),
                                 static_cast<unsigned>(height), 0, 0, background);
    XStoreName(d, window, "kelvara e2e host");
    XMapRaised(d, window);
    XSync(d, False);
    waitUntil([this] { return viewable(window); });
}

Window HostWindow::addInnerWindow(uint32_t background) {
    Display* d = display();
    XWindowAttributes host{};
    XGetWindowAttributes(d, window, &host);
    const Window inner = XCreateSimpleWindow(d, window, 0, 0, static_cast<unsigned>(host.width),
                                             static_cast<unsigned>(host.height), 0, 0, background);
    XMapRaised(d, inner);
    XSync(d, False);
    waitUntil([inner] { return viewable(inner); });
    return inner;
}

HostWindow::~HostWindow() {
    XDestroyWindow(display(), window);
    XSync(display(), False);
}

} // namespace e2e
