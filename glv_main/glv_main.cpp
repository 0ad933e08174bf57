#include "glv_main/glv_main.h"

#include "common/cycle_counter.h"
#include "common/multitexture.h"
#include "glv_main/frame_rate_overlay.h"
#include "glv_main/frame_watch.h"
#include "glv_main/startup_steps.h"
#include "platform/exception.h"
#include "platform/gl.h"
#include "platform/gl_surface.h"
#include "platform/process.h"
#include "platform/startup_trace.h"
#include "platform/window_system.h"

#include <cctype>
#include <chrono>
#include <cstdio>
#include <memory>

namespace {

constexpr double frameRateTraceSeconds = 5.0;

std::string glText(GLenum name) {
    const GLubyte* text = glGetString(name);
    return text ? reinterpret_cast<const char*>(text) : "";
}

} // namespace

GLV::GLV() = default;

GLV::GLV(FormWindow& control, int flags) : control(&control) {
    PixelFormatDescriptor descriptor;
    descriptor.doubleBuffer = (flags & doubleBuffer) != 0;
    descriptor.stencilBits = (flags & stencil) ? 8 : 0;
    surface = windowSystem().createGlSurface(control.nativeWindow(), control.clientWidth(),
                                             control.clientHeight(), descriptor);
    renderer = glText(GL_RENDERER);
    version = glText(GL_VERSION);
    vendor = glText(GL_VENDOR);
    const GLubyte* extensions = glGetString(GL_EXTENSIONS);
    extensionNames = splitExtensions(reinterpret_cast<const char*>(extensions));

    Resize();
    control.setResizeHandler([this] { Resize(); });

    glLoadIdentity();
    gluLookAt(0, 1, 5, 0, 0, 0, 0, 1, 0);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    loadMultitextureEntryPoints();
}

GLV::~GLV() {
    // The form must not call back into a view that is gone.
    if (control && surface)
        control->setResizeHandler(nullptr);
}

void GLV::Resize() {
    if (!control || !surface)
        return;
    // A window without height (or width) has no aspect ratio; one row (or column) stands in.
    int width = control->clientWidth() > 0 ? control->clientWidth() : 1;
    int height = control->clientHeight() > 0 ? control->clientHeight() : 1;
    surface->resize(width, height);
    glMatrixMode(GL_PROJECTION);
    glViewport(0, 0, width, height);
    glLoadIdentity();
    gluPerspective(fieldOfView, static_cast<double>(static_cast<float>(width) / height), 0.1,
                   farDistance);
    glMatrixMode(GL_MODELVIEW);
}

int GLV::Swap() {
    using Clock = std::chrono::steady_clock;
    static bool presented = false;
    static FrameWatch watch;
    static uint64_t framesSince = 0;
    static Clock::time_point since;
    if (frameRate && control) {
        frameRate->frame();
        frameRate->draw(control->clientWidth(), control->clientHeight());
    }
    if (surface)
        surface->swapBuffers();
    watch.presented();
    if (!presented) {
        presented = true;
        since = Clock::now();
        traceStartup("first frame presented");
    } else if (startupTracing()) {
        // Beside the start-up's steps, the frame rate every few seconds.
        ++framesSince;
        const Clock::time_point now = Clock::now();
        const double seconds = std::chrono::duration<double>(now - since).count();
        if (seconds >= frameRateTraceSeconds) {
            char line[64];
            std::snprintf(line, sizeof line, "frames per second: %.1f",
                          static_cast<double>(framesSince) / seconds);
            traceStartup(line);
            framesSince = 0;
            since = now;
        }
    }
    return 1;
}

void GLV::showFrameRate() {
    if (!frameRate)
        frameRate = std::make_unique<FrameRateOverlay>();
}

std::vector<std::string> splitExtensions(const char* extensions) {
    std::vector<std::string> names;
    if (!extensions)
        return names;
    std::string piece;
    for (const char* c = extensions; *c; ++c) {
        if (*c == ' ') {
            names.push_back(piece);
            piece.clear();
        } else {
            piece += *c;
        }
    }
    if (!piece.empty())
        names.push_back(piece);
    return names;
}

bool sameExtensionName(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool findDisplayMode(const std::function<bool(int, SystemDisplayMode&)>& enumerate,
                     DisplayMode& mode, SystemDisplayMode& found) {
    for (int pass = 1; pass <= 3; ++pass) {
        SystemDisplayMode candidate;
        for (int i = 0; enumerate(i, candidate); ++i) {
            const DisplayMode& m = candidate.mode;
            bool match = m.width == mode.width && m.height == mode.height &&
                         (pass == 3 || m.bitsPerPixel == mode.bitsPerPixel) &&
                         (pass != 1 || m.refreshRate == mode.refreshRate);
            if (match) {
                if (pass == 3)
                    mode.bitsPerPixel = m.bitsPerPixel;
                if (pass >= 2)
                    mode.refreshRate = 60;
                found = candidate;
                return true;
            }
        }
    }
    return false;
}

uint64_t clockMhz(uint64_t cycles) {
    return cycles / 10000000 * 10;
}

int32_t memoryFigure(uint64_t totalPhysicalBytes) {
    int64_t figure = static_cast<int64_t>(totalPhysicalBytes / 1008000) - 4;
    if (figure > INT32_MAX)
        return INT32_MAX;
    return static_cast<int32_t>(figure);
}

int32_t trianglesPerSecond(uint64_t cycles, uint64_t mhz) {
    if (mhz == 0)
        throw Exception("Processor clock could not be measured");
    uint64_t microseconds = cycles / mhz;
    if (microseconds == 0)
        throw Exception("Graphics performance test too short to measure");
    return static_cast<int32_t>(10000000 / microseconds);
}

namespace {

// Writes a measured value in the pass or fail colour. A value below its minimum ends the checks
// with message, unless the requirements are ignored: then it is only reported.
class Checker {
public:
    Checker(StartupLog& log, const StartupSteps& steps, bool ignoreRequirements, bool& success)
        : log(log), steps(steps), ignoreRequirements(ignoreRequirements), success(success) {}

    void result(const std::string& label, const std::string& value, bool missed,
                const char* message, int indent = StartupLog::headingIndent) {
        log.colour = StartupLog::white;
        log.label(label, indent);
        log.colour = missed ? StartupLog::failColour : StartupLog::passColour;
        log.value(value);
        log.colour = StartupLog::white;
        if (!missed)
            return;
        if (ignoreRequirements) {
            steps.warn("kelvara: " + label + ": " + value + " is below the requirement (" +
                       message + "); going on as asked");
            return;
        }
        success = false;
        throw Exception(message);
    }

private:
    StartupLog& log;
    const StartupSteps& steps;
    bool ignoreRequirements;
    bool& success;
};

} // namespace

int runStartup(std::unique_ptr<GLV>* view, FormWindow& form, const SaverRequirements& requirements,
               DisplayMode& mode, int32_t* performance, bool ignoreRequirements,
               const StartupSteps& steps, StartupLog& log) {
    traceStartup("start-up begins");
    int logWidth = form.width();
    int logHeight = form.height();

    SystemDisplayMode found;
    bool matched = findDisplayMode(steps.enumMode, mode, found);
    if (mode.width >= 1) {
        if (!matched)
            throw Exception("Selected resolution not found!");
        if (steps.changeMode(found) != 0)
            throw Exception("Change resolution failed!");
        form.setSize(mode.width, mode.height);
    }
    form.processPendingMessages();
    traceStartup("display mode set");

    if (mode.width < 1)
        log.heading("Using desktop resolution");
    else
        log.heading("Resolution set to " + std::to_string(mode.width) + "x" +
                    std::to_string(mode.height) + "x" + std::to_string(mode.bitsPerPixel) + "x" +
                    std::to_string(mode.refreshRate));
    log.heading("Initializing OpenGL...");

    bool success = true;
    Checker check(log, steps, ignoreRequirements, success);
    try {
        *view = steps.createView(form);
        traceStartup("view created");
        log.heading("Detecting Hardware...");
        form.processPendingMessages();

        uint64_t first = steps.cycleCounter();
        uint64_t overhead = steps.cycleCounter() - first;
        traceStartup("clock measurement begins");
        uint64_t before = steps.cycleCounter();
        steps.sleep(1000);
        uint64_t elapsed = steps.cycleCounter() - before;
        traceStartup("clock measurement ends");
        uint64_t mhz = clockMhz(elapsed > overhead ? elapsed - overhead : 0);
        // 50 MHz or less is not a measurement: shown as "???" and never a failure.
        bool measurable = mhz > 50;
        check.result("CPU", measurable ? std::to_string(mhz) + " MHz" : "???",
                     measurable && static_cast<int64_t>(mhz) < requirements.minCpuMhz,
                     "Required hardware not found");
        form.processPendingMessages();

        int32_t memory = memoryFigure(steps.physicalMemory());
        check.result("RAM", std::to_string(memory) + " Mb", memory < requirements.minRamMb,
                     "Not enough RAM");
        form.processPendingMessages();

        const GLV& v = **view;
        log.heading("OpenGL " + v.version + " (" + v.renderer + " " + v.vendor + ")");

        log.heading("Checking required extensions...");
        for (const std::string& name : requirements.extensions) {
            bool present = false;
            for (const std::string& offered : v.extensionNames)
                present = present || sameExtensionName(name, offered);
            check.result(name, present ? "ok" : "failed", !present, "Graphics Card not supported",
                         StartupLog::extensionIndent);
            form.processPendingMessages();
        }

        log.heading("Checking required specs...");
        int32_t size = steps.maxTextureSize();
        check.result("Max Texture Size", std::to_string(size) + "x" + std::to_string(size),
                     size < requirements.minTextureSize, "Graphics Card not supported");
        int32_t units = steps.textureUnits();
        check.result("Texture Units", std::to_string(units), units < requirements.minTextureUnits,
                     "Graphics Card not supported");

        log.heading("Testing graphics performance...");
        traceStartup("triangle test begins");
        uint64_t t0 = steps.cycleCounter();
        steps.triangleTest();
        uint64_t t1 = steps.cycleCounter();
        traceStartup("triangle test ends");
        uint64_t spent = t1 - t0 > overhead ? t1 - t0 - overhead : 0;
        int32_t figure = trianglesPerSecond(spent, mhz);
        if (performance)
            *performance = figure;
        check.result("K Triangles/sec", std::to_string(figure),
                     figure < requirements.minPerformance, "Graphics performance test failed");
    } catch (const Exception& error) {
        log.skipLine();
        log.colour = StartupLog::failColour;
        log.heading("Exception: " + error.message);
        success = false;
    }

    if (!success) {
        // The view's surface covers the form: uncover it, let the form repaint, then paint.
        if (*view && (*view)->surface)
            (*view)->surface->hide();
        form.processPendingMessages();
        form.paintTexts(logWidth, logHeight, log.texts);
        for (const std::string& line : log.plainLines())
            steps.warn(line);
    }
    traceStartup("start-up ends");
    return success ? 1 : 0;
}

namespace {

void drawTriangleTest() {
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glLoadIdentity();
    gluLookAt(2, 2, 6, 0, 0, 0, 0, 1, 0);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_COLOR_MATERIAL);
    glEnable(GL_DEPTH_TEST);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glBegin(GL_TRIANGLES);
    for (int i = 0; i < 10000; ++i) {
        float f = static_cast<float>(i) * 0.0001f;
        glColor3f(1, 0, 0);
        glNormal3f(1, 0, 0);
        glVertex3f(-2 * f, 0, f);
        glColor3f(0, 1, 0);
        glNormal3f(0, 1, 0);
        glVertex3f(1 - 2 * f, 0, 0);
        glColor3f(0, 0, 1);
        glNormal3f(0, 0, 1);
        glVertex3f(1 - 2 * f, 1 + f, 1 - f);
    }
    glEnd();
    glPopAttrib();
    glFinish();
}

int32_t glInteger(GLenum name) {
    GLint value = 0;
    glGetIntegerv(name, &value);
    return value;
}

} // namespace

StartupSteps platformStartupSteps() {
    StartupSteps steps;
    steps.enumMode = [](int index, SystemDisplayMode& mode) {
        return windowSystem().enumDisplaySettings(index, mode);
    };
    steps.changeMode = [](const SystemDisplayMode& mode) {
        return windowSystem().changeDisplaySettings(mode);
    };
    steps.createView = [](FormWindow& form) {
        return std::make_unique<GLV>(form, GLV::doubleBuffer);
    };
    steps.cycleCounter = readCycleCounter;
    steps.sleep = sleepMilliseconds;
    steps.physicalMemory = totalPhysicalMemory;
    steps.maxTextureSize = [] { return glInteger(GL_MAX_TEXTURE_SIZE); };
    steps.textureUnits = [] { return glInteger(GL_MAX_TEXTURE_UNITS_ARB); };
    steps.triangleTest = drawTriangleTest;
    steps.warn = [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); };
    return steps;
}

int InitGraphics(std::unique_ptr<GLV>* view, FormWindow& form,
                 const SaverRequirements& requirements, DisplayMode& mode, int32_t* performance,
                 bool ignoreRequirements) {
    StartupLog log;
    return runStartup(view, form, requirements, mode, performance, ignoreRequirements,
                      platformStartupSteps(), log);
}

void ShutdownGraphics(std::unique_ptr<GLV> view) {
    view.reset();
    windowSystem().restoreDisplaySettings();
}
