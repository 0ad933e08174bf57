// Desktop capture and its scaling into the saver's 1024 x 1024 picture: the capture at the
// screen's size, the scaling of a synthetic 1920 x 1080 desktop, and both together on a
// 1920 x 1080 screen when the display can switch to one. The floor frame runs alongside.
#include "bench/floor_frame.h"
#include "platform/bitmap.h"
#include "platform/display_modes.h"
#include "platform/window_system.h"

#include <benchmark/benchmark.h>

namespace {

// What the shell does with a capture: the upper 1024 x 768 of a 1024 x 1024, 24-bit picture.
Bitmap scaled(const Bitmap& screen) {
    Bitmap desktop(1024, 1024, 24);
    desktop.stretchDraw(screen, 0, 0, 1024, 768);
    return desktop;
}

// A busy 1920 x 1080 desktop, the same on every run.
Bitmap syntheticDesktop() {
    Bitmap screen(1920, 1080, 32);
    for (int y = 0; y < screen.height; ++y) {
        uint8_t* row = screen.row(y);
        for (int x = 0; x < screen.width; ++x) {
            row[4 * x] = static_cast<uint8_t>(x * 7 + y);
            row[4 * x + 1] = static_cast<uint8_t>((x ^ y) * 3);
            row[4 * x + 2] = static_cast<uint8_t>(y * 5 - x);
        }
    }
    return screen;
}

void captureAtScreenSize(benchmark::State& state) {
    for (auto _ : state) {
        Bitmap screen = windowSystem().captureScreen();
        benchmark::DoNotOptimize(screen.pixels.data());
    }
    state.SetLabel(std::to_string(windowSystem().screenWidth()) + "x" +
                   std::to_string(windowSystem().screenHeight()));
}
BENCHMARK(captureAtScreenSize)
    ->Name("Capture/screen")
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void scaleSynthetic(benchmark::State& state) {
    Bitmap screen = syntheticDesktop();
    for (auto _ : state) {
        Bitmap desktop = scaled(screen);
        benchmark::DoNotOptimize(desktop.pixels.data());
    }
}
BENCHMARK(scaleSynthetic)->Name("Capture/scale_1920x1080")->Unit(benchmark::kMillisecond);

void captureAndScale1920(benchmark::State& state) {
    SystemDisplayMode mode;
    bool found = false;
    for (int i = 0; !found && windowSystem().enumDisplaySettings(i, mode); ++i)
        found = mode.mode.width == 1920 && mode.mode.height == 1080;
    if (!found || windowSystem().changeDisplaySettings(mode) != 0) {
        state.SkipWithError("the display has no 1920 x 1080 mode to switch to");
        return;
    }
    for (auto _ : state) {
        Bitmap desktop = scaled(windowSystem().captureScreen());
        benchmark::DoNotOptimize(desktop.pixels.data());
    }
    windowSystem().restoreDisplaySettings();
}
BENCHMARK(captureAndScale1920)
    ->Name("Capture/capture_and_scale_1920x1080")
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

[[maybe_unused]] const auto* floorBenchmark = registerFloorFrameBenchmark();

} // namespace

BENCHMARK_MAIN();
