// The choice among the window systems built in: by what the run needs and by which display opens.
#include "platform/window_system.h"

#include "platform/exception.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

// A back end that serves some uses and whose display opens or not; nothing else of it is used.
class StubWindowSystem : public WindowSystem {
public:
    StubWindowSystem(bool opens, std::vector<WindowSystemUse> uses)
        : opens(opens), uses(std::move(uses)) {}

    bool serves(WindowSystemUse use) const override {
        return std::find(uses.begin(), uses.end(), use) != uses.end();
    }
    bool connect() override {
        ++connects;
        return opens;
    }

    std::vector<Monitor> monitors() override { return {}; }
    bool runOnEveryMonitor(const std::vector<std::string>&, int&) override { return false; }
    std::unique_ptr<MonitorRun> openMonitorRun(const std::string&, int, char**,
                                               const FormArt&) override {
        throw Exception("unused");
    }
    bool enumDisplaySettings(int, SystemDisplayMode&) override { return false; }
    int changeDisplaySettings(const SystemDisplayMode&) override { return -1; }
    void restoreDisplaySettings() override {}
    bool runModeGuardian(int, char**, int&) override { return false; }
    std::unique_ptr<GlSurface> createGlSurface(const NativeWindow&, int, int,
                                               const PixelFormatDescriptor&) override {
        throw Exception("unused");
    }
    void* glProcAddress(const char*) override { return nullptr; }
    int screenWidth() override { return 0; }
    int screenHeight() override { return 0; }
    Bitmap captureScreen() override { throw Exception("unused"); }
    std::unique_ptr<HostWindow> openHostWindow(uintptr_t) override { throw Exception("unused"); }
    void paintIntoWindow(uintptr_t, const Bitmap&, int, int, int, int) override {}
    std::unique_ptr<FormView> createFormView(const FormArt&) override { throw Exception("unused"); }
    std::unique_ptr<Application> createApplication(int, char**) override {
        throw Exception("unused");
    }
    void showError(const std::string&) override {}
    IdleWatch openIdleWatch(int) override { throw Exception("unused"); }

    bool opens;
    std::vector<WindowSystemUse> uses;
    int connects = 0;
};

using Use = WindowSystemUse;

// As Linux will have it: a compositor's back end tried first, serving only the full-screen run,
// then X11 for everything.
TEST(WindowSystemChoice, TheFirstThatServesTheRunAndConnectsWinsAndOthersAreNotOpened) {
    StubWindowSystem first(true, {Use::fullScreen});
    StubWindowSystem x11(true, {Use::fullScreen, Use::settings, Use::otherWindow});
    WindowSystem* const builtIn[] = {&first, &x11};

    EXPECT_EQ(&chooseWindowSystem(builtIn, Use::fullScreen), &first);
    EXPECT_EQ(x11.connects, 0);
    // A window of another program by id, or the dialog: only the second serves them.
    first.connects = 0;
    EXPECT_EQ(&chooseWindowSystem(builtIn, Use::otherWindow), &x11);
    EXPECT_EQ(&chooseWindowSystem(builtIn, Use::settings), &x11);
    EXPECT_EQ(first.connects, 0);

    // The first's display does not open: the next that serves and connects.
    first.opens = false;
    EXPECT_EQ(&chooseWindowSystem(builtIn, Use::fullScreen), &x11);
}

TEST(WindowSystemChoice, WithoutADisplayTheFirstThatServesTheRunReportsWhatIsMissing) {
    StubWindowSystem first(false, {Use::fullScreen});
    StubWindowSystem x11(false, {Use::fullScreen, Use::settings, Use::otherWindow});
    WindowSystem* const builtIn[] = {&first, &x11};
    EXPECT_EQ(&chooseWindowSystem(builtIn, Use::fullScreen), &first);
    EXPECT_EQ(&chooseWindowSystem(builtIn, Use::otherWindow), &x11);

    // One that serves nothing asked for is still the answer when it is all there is.
    WindowSystem* const only[] = {&first};
    EXPECT_EQ(&chooseWindowSystem(only, Use::settings), &first);
}

// Wayland is tried first on Linux: it must not answer for a process that names no Wayland
// display, nor take another program's window; its sizes switch nothing.
TEST(WaylandWindowSystem, ServesOnlyWhereAWaylandDisplayIsNamedAndSwitchesNothing) {
    WindowSystem& wayland = waylandWindowSystem();
    unsetenv("WAYLAND_DISPLAY");
    EXPECT_FALSE(wayland.serves(Use::fullScreen));
    EXPECT_FALSE(wayland.serves(Use::settings));
    setenv("WAYLAND_DISPLAY", "kelvara-test-no-such-compositor", 1);
    EXPECT_TRUE(wayland.serves(Use::fullScreen));
    EXPECT_TRUE(wayland.serves(Use::settings));
    EXPECT_FALSE(wayland.serves(Use::otherWindow));
    EXPECT_FALSE(wayland.connect());
    SystemDisplayMode mode;
    int count = 0;
    while (count < 100 && wayland.enumDisplaySettings(count, mode)) {
        EXPECT_EQ(wayland.changeDisplaySettings(mode), 0);
        ++count;
    }
    EXPECT_GT(count, 0);
    EXPECT_LT(count, 100);
    EXPECT_FALSE(wayland.runModeGuardian(0, nullptr, count));
    unsetenv("WAYLAND_DISPLAY");
}

} // namespace
