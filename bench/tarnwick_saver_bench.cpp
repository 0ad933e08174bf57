// Tarnwick costs: one simulation step without drawing, and one whole frame at 1024 x 768 next to
// the floor frame measured in the same run, with the heap allocations a frame makes.
#include "bench/floor_frame.h"
#include "platform/gl.h"
#include "shell/saver.h"
#include "tarnwick_saver/tarnwick_saver.h"
#include "tests/support/allocation_counter.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

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
BENCHMARK(floorFrameBenchmark)
    ->Name("Floor/frame_1024x768")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The effect's whole frame as the shell runs it, the swap included, under the view's projection.
void wholeFrame(benchmark::State& state) {
    TestGlContext& context = benchGlContext();
    context.makeCurrent();
    Bitmap desktop = floorPicture();
    Saver saver;
    saver.desktop = &desktop;
    saverSetup(saver);
    glViewport(0, 0, context.width(), context.height());
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(50, static_cast<double>(context.width()) / context.height(), 0.1, 100);
    glMatrixMode(GL_MODELVIEW);

    auto mosaic = disturbedMosaic();
    drawMosaicFrame(*mosaic, *saver.textures.front()); // uploads the texture
    context.swap();
    glFinish();

    const uint64_t allocationsBefore = allocationCount();
    for (auto _ : state) {
        drawMosaicFrame(*mosaic, *saver.textures.front());
        context.swap();
    }
    glFinish();
    state.counters["allocations/frame"] = benchmark::Counter(
        static_cast<double>(allocationCount() - allocationsBefore) / state.iterations());

    for (Texture* texture : saver.textures) {
        delete texture;
    }
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_COLOR_MATERIAL);
    glDisable(GL_LIGHTING);
    glDisable(GL_LIGHT0);
    glDisable(GL_TEXTURE_2D);
}
BENCHMARK(wholeFrame)
    ->Name("Tarnwick/frame_1024x768")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();
