// The intro's cost: one whole frame at 1024 x 768 in the middle of the sweep (sparks and puffs
// alive, beams and bar lit), next to the floor frame measured in the same run, with the heap
// allocations a frame makes.
#include "bench/floor_frame.h"
#include "common/multitexture.h"
#include "logo_intro/intro_state.h"
#include "logo_intro/logo_intro.h"
#include "platform/gl.h"
#include "tests/gl/logo_intro/logo_data_writer.h"
#include "tests/support/allocation_counter.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

uint32_t now = 1000;
uint32_t benchTick() {
    return now;
}
void swapBenchContext(GLV*) {
    benchGlContext().swap();
}

// The build's own artwork when it is there, else a generated logo of the same sizes.
fs::path prepareDataFolder() {
    const fs::path folder = fs::path(KELVARA_BINARY_DIR) / "bench" / "logo_intro_data";
    fs::create_directories(folder);
    const fs::path built = fs::path(KELVARA_BINARY_DIR) / "Tarnwick" / "logo.dat";
    if (fs::exists(built)) {
        fs::copy_file(built, folder / "logo.dat", fs::copy_options::overwrite_existing);
    } else {
        logo_data::writeLogoData((folder / "logo.dat").string());
    }
    return folder;
}

[[maybe_unused]] const auto* floorBenchmark = registerFloorFrameBenchmark();

// The projection a view of the context's size sets up, and the intro set up on the bench's data.
void startIntro() {
    TestGlContext& context = benchGlContext();
    context.makeCurrent();
    glViewport(0, 0, context.width(), context.height());
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(50, static_cast<double>(context.width()) / context.height(), 0.1, 100);
    glMatrixMode(GL_MODELVIEW);
    loadMultitextureEntryPoints();

    const fs::path previous = fs::current_path();
    fs::current_path(prepareDataFolder());
    introState.lastTick = 0;
    introState.introClock = 0;
    introState.logoAlpha = 1;
    setIntroTickSource(benchTick);
    setIntroPresenter(swapBenchContext);
    introSetup(nullptr);
    fs::current_path(previous);
}

// Runs the intro's last frame, which releases it and restores the GL state it changed.
void endIntro() {
    introState.introClock = 10.5f;
    introFrame();
    glFinish();
    setIntroTickSource(nullptr);
    setIntroPresenter(nullptr);
}

// One frame in the middle of the sweep, where every part of the frame is drawn: beams and bar
// lit, sparks and puffs alive.
void busyFrame(benchmark::State& state) {
    startIntro();
    constexpr float midSweep = 2.5f;
    while (introState.introClock < midSweep) {
        now += 20; // 60 frames per second
        introFrame();
    }
    glFinish();

    FloorRatio ratio(state);
    for (auto _ : state) {
        now += 20;
        if (introState.introClock > midSweep + 0.5f) {
            introState.introClock = midSweep; // stay in the busy part
        }
        introFrame();
    }
    glFinish();
    ratio.report();
    endIntro();
}
BENCHMARK(busyFrame)
    ->Name("LogoIntro/busy_frame_1024x768")
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// The whole intro at 60 frames per second, from its first frame to the one that ends it: the
// iteration is the whole intro, the counter the mean time of one of its frames.
void wholeIntro(benchmark::State& state) {
    const double floorSeconds = floorFrameSeconds();
    int64_t frames = 0;
    uint64_t allocations = 0;
    double seconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        startIntro();
        introFrame(); // the first frame uploads the textures
        glFinish();
        state.ResumeTiming();
        const uint64_t before = allocationCount();
        const auto start = std::chrono::steady_clock::now();
        int result = 1;
        while (result == 1) {
            now += 20;
            result = introFrame();
            ++frames;
        }
        glFinish();
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        allocations += allocationCount() - before;
        setIntroTickSource(nullptr);
        setIntroPresenter(nullptr);
    }
    const double frameSeconds = seconds / static_cast<double>(frames);
    state.counters["ms/frame"] = frameSeconds * 1000;
    state.counters["floor_ms"] = floorSeconds * 1000;
    state.counters["x_floor"] = frameSeconds / floorSeconds;
    state.counters["allocs_per_frame"] =
        static_cast<double>(allocations) / static_cast<double>(frames);
}
BENCHMARK(wholeIntro)
    ->Name("LogoIntro/whole_intro_1024x768")
    ->UseRealTime()
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

} // namespace

BENCHMARK_MAIN();
