// The start-up sequence over fake machine services: the mode search, the measurements and their
// arithmetic, the log it writes and where it stops on each failure.
#include "glv_main/startup_steps.h"
#include "platform/exception.h"

#include <gtest/gtest.h>

#include <deque>

namespace {

class FakeForm : public FormWindow {
public:
    NativeWindow nativeWindow() override { return {}; }
    int width() const override { return outerWidth; }
    int height() const override { return outerHeight; }
    int clientWidth() const override { return outerWidth; }
    int clientHeight() const override { return outerHeight; }
    void setSize(int w, int h) override {
        outerWidth = w;
        outerHeight = h;
        ++resizes;
    }
    void setResizeHandler(std::function<void()>) override {}
    void processPendingMessages() override { ++pumps; }
    void paintTexts(int w, int h, const std::vector<CanvasText>& texts) override {
        ++paints;
        paintedWidth = w;
        paintedHeight = h;
        painted = texts;
    }

    int outerWidth = 1920;
    int outerHeight = 1080;
    int resizes = 0;
    int pumps = 0;
    int paints = 0;
    int paintedWidth = 0;
    int paintedHeight = 0;
    std::vector<CanvasText> painted;
};

SystemDisplayMode systemMode(int32_t w, int32_t h, int32_t bits, int32_t hz, uint64_t id) {
    SystemDisplayMode m;
    m.mode = {w, h, bits, hz};
    m.id = id;
    return m;
}

// A machine with a 3000 MHz clock, 4 GB, a good card and the given triangle test time.
struct FakeMachine {
    std::vector<SystemDisplayMode> modes{
        systemMode(1024, 768, 32, 75, 1), systemMode(1024, 768, 32, 60, 2),
        systemMode(800, 600, 16, 85, 3), systemMode(800, 600, 32, 72, 4)};
    uint64_t cyclesPerSecond = 3'000'000'000;
    uint64_t overhead = 40;
    uint64_t triangleMicroseconds = 5000; // 2000 K triangles per second
    uint64_t memoryBytes = 4'000'000'000;
    int32_t textureSize = 2048;
    int32_t units = 4;
    std::string extensions = "GL_ARB_multitexture GL_EXT_bgra GL_ARB_texture_env_combine ";
    bool viewFails = false;

    std::vector<uint64_t> changed;
    std::vector<std::string> warnings;
    int triangleTests = 0;

    StartupSteps steps() {
        StartupSteps s;
        s.enumMode = [this](int i, SystemDisplayMode& m) {
            if (i < 0 || static_cast<size_t>(i) >= modes.size())
                return false;
            m = modes[static_cast<size_t>(i)];
            return true;
        };
        s.changeMode = [this](const SystemDisplayMode& m) {
            changed.push_back(m.id);
            return 0;
        };
        s.createView = [this](FormWindow&) {
            if (viewFails)
                throw Exception("wglCreateContext failed");
            auto view = std::make_unique<GLV>();
            view->version = "1.3";
            view->renderer = "Fake";
            view->vendor = "Tests";
            view->extensionNames = splitExtensions(extensions.c_str());
            return view;
        };
        // Reads: overhead pair, the second's start and end, the test's start and end.
        auto counter = std::make_shared<uint64_t>(1000);
        auto reads = std::make_shared<int>(0);
        s.cycleCounter = [this, counter, reads] {
            int n = (*reads)++;
            if (n == 1 || n == 3 || n == 5)
                *counter += overhead;
            return *counter;
        };
        s.sleep = [this, counter](uint32_t ms) { *counter += cyclesPerSecond / 1000 * ms; };
        s.physicalMemory = [this] { return memoryBytes; };
        s.maxTextureSize = [this] { return textureSize; };
        s.textureUnits = [this] { return units; };
        s.triangleTest = [this, counter] {
            ++triangleTests;
            *counter += triangleMicroseconds * (cyclesPerSecond / 1'000'000);
        };
        s.warn = [this](const std::string& line) { warnings.push_back(line); };
        return s;
    }
};

SaverRequirements requirements() {
    SaverRequirements r;
    r.minCpuMhz = 500;
    r.minRamMb = 128;
    r.minTextureSize = 512;
    r.minTextureUnits = 2;
    r.minPerformance = 1000;
    r.extensions = {"GL_ARB_multitexture", "gl_ext_BGRA"};
    return r;
}

struct StartupRun {
    int result = -1;
    std::unique_ptr<GLV> view;
    int32_t performance = -7;
    StartupLog log;

    int start(FakeMachine& machine, FakeForm& form, const SaverRequirements& r, DisplayMode& mode,
              bool ignore = false) {
        result = runStartup(&view, form, r, mode, &performance, ignore, machine.steps(), log);
        return result;
    }
    std::vector<std::string> lines() const { return log.plainLines(); }
    const CanvasText* find(const std::string& text) const {
        for (const auto& t : log.texts)
            if (t.text == text)
                return &t;
        return nullptr;
    }
};

TEST(StartupModeSearch, TakesTheExactModeThenFallsBackOnRefreshThenOnDepth) {
    FakeMachine machine;
    auto enumerate = machine.steps().enumMode;
    SystemDisplayMode found;

    DisplayMode exact{1024, 768, 32, 60};
    ASSERT_TRUE(findDisplayMode(enumerate, exact, found));
    EXPECT_EQ(found.id, 2u);
    EXPECT_EQ(exact.refreshRate, 60);

    // No 70 Hz mode: the first 1024x768x32 one, logged as 60 Hz.
    DisplayMode otherRefresh{1024, 768, 32, 70};
    ASSERT_TRUE(findDisplayMode(enumerate, otherRefresh, found));
    EXPECT_EQ(found.id, 1u);
    EXPECT_EQ(otherRefresh.refreshRate, 60);
    EXPECT_EQ(otherRefresh.bitsPerPixel, 32);

    // No 24-bit 800x600: the first 800x600, with its depth.
    DisplayMode otherDepth{800, 600, 24, 85};
    ASSERT_TRUE(findDisplayMode(enumerate, otherDepth, found));
    EXPECT_EQ(found.id, 3u);
    EXPECT_EQ(otherDepth.bitsPerPixel, 16);
    EXPECT_EQ(otherDepth.refreshRate, 60);

    DisplayMode missing{1280, 1024, 32, 60};
    EXPECT_FALSE(findDisplayMode(enumerate, missing, found));
    EXPECT_EQ(missing.refreshRate, 60);
    DisplayMode desktop{};
    EXPECT_FALSE(findDisplayMode(enumerate, desktop, found));
}

TEST(StartupModeSearch, SwitchesToTheMatchedModeAndResizesTheForm) {
    FakeMachine machine;
    FakeForm form;
    StartupRun run;
    DisplayMode mode{1024, 768, 32, 70};
    EXPECT_EQ(run.start(machine, form, requirements(), mode), 1);
    // The mode as enumerated, with its own refresh rate, while the log says 60.
    EXPECT_EQ(machine.changed, std::vector<uint64_t>{1});
    EXPECT_EQ(form.outerWidth, 1024);
    EXPECT_EQ(form.outerHeight, 768);
    EXPECT_EQ(run.lines().at(0), "  Resolution set to 1024x768x32x60");
}

TEST(StartupModeSearch, DesktopResolutionNeitherSwitchesNorResizes) {
    FakeMachine machine;
    FakeForm form;
    StartupRun run;
    DisplayMode mode{0, 0, 0, 0};
    EXPECT_EQ(run.start(machine, form, requirements(), mode), 1);
    EXPECT_TRUE(machine.changed.empty());
    EXPECT_EQ(form.resizes, 0);
    EXPECT_EQ(run.lines().at(0), "  Using desktop resolution");
}

TEST(StartupModeSearch, MissingOrRefusedModeIsRaisedToTheCaller) {
    FakeMachine machine;
    FakeForm form;
    {
        StartupRun run;
        DisplayMode mode{1280, 1024, 32, 60};
        try {
            run.start(machine, form, requirements(), mode);
            FAIL() << "no exception";
        } catch (const Exception& e) {
            EXPECT_EQ(e.message, "Selected resolution not found!");
        }
        EXPECT_EQ(run.view, nullptr);
    }
    {
        StartupRun run;
        DisplayMode mode{800, 600, 32, 72};
        StartupSteps steps = machine.steps();
        steps.changeMode = [](const SystemDisplayMode&) { return -1; };
        try {
            runStartup(&run.view, form, requirements(), mode, &run.performance, false, steps,
                       run.log);
            FAIL() << "no exception";
        } catch (const Exception& e) {
            EXPECT_EQ(e.message, "Change resolution failed!");
        }
        EXPECT_EQ(form.resizes, 0);
    }
    EXPECT_EQ(form.paints, 0);
}

TEST(StartupArithmetic, ClockMemoryAndThroughputFollowTheirFormulas) {
    EXPECT_EQ(clockMhz(2'999'999'999), 2990u);
    EXPECT_EQ(clockMhz(3'000'000'000), 3000u);
    EXPECT_EQ(clockMhz(9'999'999), 0u);
    EXPECT_EQ(memoryFigure(1'008'000ull * 516 + 1'007'999), 512);
    EXPECT_EQ(memoryFigure(0), -4);
    EXPECT_EQ(memoryFigure(UINT64_MAX), INT32_MAX);
    // 3000 cycles a microsecond, 5 ms for 10,000 triangles: 2,000 K per second.
    EXPECT_EQ(trianglesPerSecond(15'000'000, 3000), 2000);
    EXPECT_EQ(trianglesPerSecond(3000, 3000), 10'000'000);
    EXPECT_THROW(trianglesPerSecond(2999, 3000), Exception);
    EXPECT_THROW(trianglesPerSecond(15'000'000, 0), Exception);
}

TEST(StartupExtensions, NamesAreCutAtEverySpaceAndCompareWithoutCase) {
    using Names = std::vector<std::string>;
    EXPECT_EQ(splitExtensions("GL_A GL_B"), (Names{"GL_A", "GL_B"}));
    EXPECT_EQ(splitExtensions("GL_A GL_B "), (Names{"GL_A", "GL_B"}));
    EXPECT_EQ(splitExtensions("GL_A  GL_B"), (Names{"GL_A", "", "GL_B"}));
    EXPECT_EQ(splitExtensions(" GL_A"), (Names{"", "GL_A"}));
    EXPECT_EQ(splitExtensions("GL_A GL_A"), (Names{"GL_A", "GL_A"}));
    EXPECT_TRUE(splitExtensions("").empty());
    EXPECT_TRUE(splitExtensions(nullptr).empty());
    EXPECT_TRUE(sameExtensionName("gl_arb_MULTITEXTURE", "GL_ARB_multitexture"));
    EXPECT_FALSE(sameExtensionName("GL_ARB_multitextur", "GL_ARB_multitexture"));
}

TEST(StartupLogOfARun, SuccessWritesEveryLineInPlaceAndPaintsNothing) {
    FakeMachine machine;
    FakeForm form;
    StartupRun run;
    DisplayMode mode{};
    ASSERT_EQ(run.start(machine, form, requirements(), mode), 1);
    EXPECT_EQ(run.performance, 2000);
    EXPECT_EQ(form.paints, 0);
    EXPECT_TRUE(machine.warnings.empty());
    std::vector<std::string> expected = {
        "  Using desktop resolution",
        "  Initializing OpenGL...",
        "  Detecting Hardware...",
        "  CPU" + std::string(45, ' ') + "3000 MHz",
        "  RAM" + std::string(45, ' ') + "3964 Mb",
        "  OpenGL 1.3 (Fake Tests)",
        "  Checking required extensions...",
        "      GL_ARB_multitexture" + std::string(25, ' ') + "ok",
        "      gl_ext_BGRA" + std::string(33, ' ') + "ok",
        "  Checking required specs...",
        "  Max Texture Size" + std::string(32, ' ') + "2048x2048",
        "  Texture Units" + std::string(35, ' ') + "4",
        "  Testing graphics performance...",
        "  K Triangles/sec" + std::string(33, ' ') + "2000",
    };
    EXPECT_EQ(run.lines(), expected);
    EXPECT_EQ(run.log.texts.front().y, 16);
    EXPECT_EQ(run.find("gl_ext_BGRA")->x, 48);
    EXPECT_EQ(run.find("ok")->colour, StartupLog::passColour);
    EXPECT_EQ(run.find("3000 MHz")->colour, StartupLog::passColour);
    EXPECT_EQ(run.find("CPU")->colour, StartupLog::white);
    EXPECT_EQ(run.find("K Triangles/sec")->y, 16 * 14);
    // Steps 5, 9, 11, 12 and one per extension.
    EXPECT_EQ(form.pumps, 6);
}

TEST(StartupLogOfARun, ValuesExactlyAtTheirMinimumPass) {
    FakeMachine machine;
    FakeForm form;
    StartupRun run;
    SaverRequirements r = requirements();
    r.minCpuMhz = 3000;
    r.minRamMb = 3964;
    r.minTextureSize = 2048;
    r.minTextureUnits = 4;
    r.minPerformance = 2000;
    r.extensions.clear();
    DisplayMode mode{};
    EXPECT_EQ(run.start(machine, form, r, mode), 1);
    auto lines = run.lines();
    EXPECT_EQ(lines.at(6), "  Checking required extensions...");
    EXPECT_EQ(lines.at(7), "  Checking required specs...");
}

struct Failure {
    const char* what;
    std::function<void(FakeMachine&, SaverRequirements&)> arrange;
    std::string lastValue; // the failing value on the last written line, "" for none
    std::string message;
    int lastLine; // the line number of the last value or heading before the empty line
};

TEST(StartupLogOfARun, EachFailureStopsAtItsLineThenAnEmptyLineAndTheException) {
    std::vector<Failure> failures = {
        {"view", [](FakeMachine& m, SaverRequirements&) { m.viewFails = true; }, "",
         "wglCreateContext failed", 2},
        {"clock", [](FakeMachine& m, SaverRequirements&) { m.cyclesPerSecond = 400'000'000; },
         "400 MHz", "Required hardware not found", 4},
        {"memory", [](FakeMachine& m, SaverRequirements&) { m.memoryBytes = 100'000'000; }, "95 Mb",
         "Not enough RAM", 5},
        {"extension", [](FakeMachine& m, SaverRequirements&) { m.extensions = "GL_EXT_bgra"; },
         "failed", "Graphics Card not supported", 8},
        {"texture size", [](FakeMachine& m, SaverRequirements&) { m.textureSize = 256; }, "256x256",
         "Graphics Card not supported", 11},
        {"texture units", [](FakeMachine& m, SaverRequirements&) { m.units = 1; }, "1",
         "Graphics Card not supported", 12},
        {"performance", [](FakeMachine& m, SaverRequirements&) { m.triangleMicroseconds = 31'250; },
         "320", "Graphics performance test failed", 14},
        {"too fast", [](FakeMachine& m, SaverRequirements&) { m.triangleMicroseconds = 0; }, "",
         "Graphics performance test too short to measure", 13},
        {"no clock", [](FakeMachine& m, SaverRequirements&) { m.cyclesPerSecond = 0; }, "",
         "Processor clock could not be measured", 13},
    };
    for (const Failure& f : failures) {
        SCOPED_TRACE(f.what);
        FakeMachine machine;
        FakeForm form;
        SaverRequirements r = requirements();
        f.arrange(machine, r);
        StartupRun run;
        DisplayMode mode{};
        EXPECT_EQ(run.start(machine, form, r, mode), 0);

        const auto& texts = run.log.texts;
        ASSERT_GE(texts.size(), 2u);
        const CanvasText& exception = texts.back();
        EXPECT_EQ(exception.text, "Exception: " + f.message);
        EXPECT_EQ(exception.x, 16);
        EXPECT_EQ(exception.colour, StartupLog::failColour);
        const CanvasText& last = texts[texts.size() - 2];
        EXPECT_EQ(last.y, 16 * f.lastLine);
        EXPECT_EQ(exception.y, 16 * (f.lastLine + 2));
        if (!f.lastValue.empty()) {
            EXPECT_EQ(last.text, f.lastValue);
            EXPECT_EQ(last.x, 400);
            EXPECT_EQ(last.colour, StartupLog::failColour);
        }
        // Painted once at the size the form had when the start-up began, and on stderr.
        EXPECT_EQ(form.paints, 1);
        EXPECT_EQ(form.paintedWidth, 1920);
        EXPECT_EQ(form.painted.size(), texts.size());
        ASSERT_FALSE(machine.warnings.empty());
        EXPECT_EQ(machine.warnings.back(), "  Exception: " + f.message);
        // The performance figure is written only when the test measured one.
        EXPECT_EQ(run.performance, f.lastLine == 14 ? 320 : -7);
        // A view that was built stays with the caller.
        EXPECT_EQ(run.view != nullptr, f.message != "wglCreateContext failed");
    }
}

TEST(StartupLogOfARun, TheFirstMissingExtensionEndsTheCheck) {
    FakeMachine machine;
    machine.extensions = "GL_EXT_bgra";
    FakeForm form;
    StartupRun run;
    SaverRequirements r = requirements();
    r.extensions = {"GL_ARB_multitexture", "GL_EXT_bgra"};
    DisplayMode mode{};
    EXPECT_EQ(run.start(machine, form, r, mode), 0);
    EXPECT_EQ(run.find("GL_EXT_bgra"), nullptr);
    EXPECT_EQ(run.find("failed")->y, run.find("GL_ARB_multitexture")->y);
}

TEST(StartupLogOfARun, AnUnmeasurableClockShowsQuestionMarksAndPasses) {
    FakeMachine machine;
    machine.cyclesPerSecond = 59'000'000; // 50 MHz
    FakeForm form;
    StartupRun run;
    DisplayMode mode{};
    EXPECT_EQ(run.start(machine, form, requirements(), mode), 1);
    EXPECT_EQ(run.find("???")->colour, StartupLog::passColour);
}

TEST(StartupLogOfARun, IgnoredRequirementsAreMeasuredWarnedAndTheStartGoesOn) {
    FakeMachine machine;
    machine.cyclesPerSecond = 400'000'000;
    machine.memoryBytes = 100'000'000;
    machine.extensions = "GL_EXT_bgra";
    machine.textureSize = 256;
    machine.units = 1;
    machine.triangleMicroseconds = 31'250;
    FakeForm form;
    StartupRun run;
    DisplayMode mode{};
    EXPECT_EQ(run.start(machine, form, requirements(), mode, true), 1);
    EXPECT_EQ(form.paints, 0);
    EXPECT_EQ(run.performance, 320);
    EXPECT_EQ(machine.triangleTests, 1);
    EXPECT_EQ(machine.warnings.size(), 6u);
    for (const char* value : {"400 MHz", "95 Mb", "failed", "256x256", "1", "320"})
        EXPECT_EQ(run.find(value)->colour, StartupLog::failColour) << value;
    EXPECT_EQ(run.find("ok")->colour, StartupLog::passColour);
    EXPECT_EQ(run.lines().size(), 14u);
}

TEST(StartupLogOfARun, IgnoringRequirementsStillEndsOnAnError) {
    FakeMachine machine;
    machine.viewFails = true;
    FakeForm form;
    StartupRun run;
    DisplayMode mode{};
    EXPECT_EQ(run.start(machine, form, requirements(), mode, true), 0);
    EXPECT_EQ(form.paints, 1);
}

} // namespace
