// The floor that frame benchmarks are measured against: the least a full-screen frame of this
// program can cost on the renderer at hand. At 1024 x 768 it clears colour and depth, draws a
// 1024 x 1024 texture once as a single full-screen lit quad (light 0, colour material, texture
// modulate) and swaps. An effect's frame is reported as a ratio to it, measured in the same run.
#pragma once

#include "platform/bitmap.h"
#include "tests/support/gl_context.h"
#include "texture/texture.h"

#include <benchmark/benchmark.h>

// The one 1024 x 768 GL context of a benchmark program, made on first use, so that the floor
// and the frames compared with it draw on the same window.
TestGlContext& benchGlContext();

// A colourful 1024 x 1024, 24-bit picture, the same on every run: the floor's texture unless a
// benchmark passes its own.
Bitmap floorPicture();

class FloorFrame {
public:
    // Makes the texture and uploads it on benchGlContext(), so draw() does no set-up work.
    explicit FloorFrame(const Bitmap& picture = floorPicture());

    // One frame, swap included. Leaves the GL state and matrices as it found them and
    // allocates nothing.
    void draw();

    Texture texture;
};

// A ready benchmark of the floor, for a program to register next to its own frames.
void floorFrameBenchmark(benchmark::State& state);

// Registers floorFrameBenchmark as "Floor/frame_1024x768", so that every program reports the
// floor under one name. The renderer draws on threads of its own, so it measures real time.
// At namespace scope, where the program's other benchmarks are registered:
//     [[maybe_unused]] const auto* floorBenchmark = registerFloorFrameBenchmark();
benchmark::internal::Benchmark* registerFloorFrameBenchmark();

// Real seconds of one floor frame: the median of a few batches, measured once per program on
// benchGlContext() on first use.
double floorFrameSeconds();

// Reports a frame benchmark as a multiple of the floor, in counters "floor_ms" and "x_floor",
// and the heap allocations its loop made per frame, in "allocs_per_frame":
//     FloorRatio ratio(state); // measures the floor first, if not done yet
//     for (auto _ : state) { ...one frame... }
//     ratio.report();
// The ratio takes the real time between construction and report(), paused parts included.
class FloorRatio {
public:
    explicit FloorRatio(benchmark::State& state);
    void report();

private:
    benchmark::State& state_;
    double floorSeconds_;
    uint64_t allocations_;
    double start_;
};
