// Tarnwick costs: one simulation step without drawing, and one whole frame at 1024 x 768 next to
// the floor frame measured in the same run, with the heap allocations a frame makes.
#include "bench/floor_frame.h"
#include "platform/gl.h"
#include "saver/saver.h"
#include "tarnwick_saver/tarnwick_saver.h"
#include "tests/support/allocation_counter.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

// A mosaic some way into a run, so the frames measured draw lifted and spinning tiles.
std::unique_ptr<Mosaic> disturbedMosaic() {
    auto mosaic = std::make_unique<Mosaic>();
    std::srand(1);
    for (int n = 0; n < 400; ++n) {
        stepMosaic(*mosaic);
    }
    return mosaic;
}

void simulationStep(benchmark::State& state) {
    auto mosaic = disturbedMosaic();
    const uint64_t allocationsBefore = allocationCount();
    for (auto _ : state) {
        stepMosaic(*mosaic);
        benchmark::ClobberMemory();
    }
    state.counters["allocations/step"] = benchmark::Counter(
        static_cast<double>(allocationCount() - allocationsBefore) / state.iterations());
}
BENCHMARK(simulationStep)->Name("Tarnwick/step")->Unit(benchmark::kMicrosecond);

// Frames are timed by the wall clock: the software renderer rasterizes on threads of its own.
[[maybe_unused]] const auto* floorBenchmark = registerFloorFrameBenchmark();

// The effect set up on the benchmark window as the shell sets it up, under the view's projection,
// with its texture uploaded and a disturbed mosaic.
struct EffectOnBenchWindow {
    TestGlContext& context = benchGlContext();
    Bitmap desktop = floorPicture();
    Saver saver;
    std::unique_ptr<Mosaic> mosaic = disturbedMosaic();

    EffectOnBenchWindow() {
        context.makeCurrent();
        saver.desktop = &desktop;
        saverSetup(saver);
        glViewport(0, 0, context.width(), context.height());
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        gluPerspective(50, static_cast<double>(context.width()) / context.height(), 0.1, 100);
        glMatrixMode(GL_MODELVIEW);
        frame(); // uploads the texture
        glFinish();
    }
    ~EffectOnBenchWindow() {
        for (GLenum capability :
             {GL_DEPTH_TEST, GL_COLOR_MATERIAL, GL_LIGHTING, GL_LIGHT0, GL_TEXTURE_2D}) {
            glDisable(capability);
        }
    }
    // Every frame from a flat mosaic: shows what the tiling itself costs, without lifted tiles.
    bool flat = false;

    // One frame as the shell runs it, the swap included.
    void frame() {
        if (flat) {
            *mosaic = Mosaic();
        }
        drawMosaicFrame(*mosaic, *saver.textures.front());
        context.swap();
    }
};

// Reported as "x_floor" against the floor measured once in this program, with
// "allocs_per_frame".
void wholeFrame(benchmark::State& state) {
    EffectOnBenchWindow effect;
    FloorRatio ratio(state);
    for (auto _ : state) {
        effect.frame();
    }
    ratio.report();
}
BENCHMARK(wholeFrame)
    ->Name("Tarnwick/frame_1024x768")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The floor and the effect's frame drawn in turns, so that both meet the same load on a shared
// machine; reports the median of the per-pair ratios. The time shown is that of one pair.
void frameOverFloor(benchmark::State& state) {
    FloorFrame floor;
    EffectOnBenchWindow effect;
    effect.flat = state.range(0) != 0;
    std::vector<double> ratios;
    ratios.reserve(100000);
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        floor.draw();
        const auto t1 = std::chrono::steady_clock::now();
        effect.frame();
        const auto t2 = std::chrono::steady_clock::now();
        if (ratios.size() < ratios.capacity()) {
            ratios.push_back(std::chrono::duration<double>(t2 - t1).count() /
                             std::chrono::duration<double>(t1 - t0).count());
        }
    }
    std::sort(ratios.begin(), ratios.end());
    state.counters["frame/floor"] = ratios.empty() ? 0 : ratios[ratios.size() / 2];
}
BENCHMARK(frameOverFloor)
    ->Name("Tarnwick/frame_over_floor")
    ->ArgName("flat")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();
