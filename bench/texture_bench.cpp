// Texture costs: converting a bitmap into texture pixels (bytes per second of source bitmap),
// the first upload, and the floor frame that frame benchmarks are compared with.
#include "bench/floor_frame.h"
#include "platform/bitmap.h"
#include "platform/gl.h"
#include "texture/texture.h"

#include <benchmark/benchmark.h>

namespace {

// state.range(0): bits per pixel; state.range(1): alpha source.
void convertBitmap(benchmark::State& state) {
    Bitmap picture = floorPicture();
    picture.setPixelFormat(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        Texture texture(picture, false, static_cast<int32_t>(state.range(1)));
        benchmark::DoNotOptimize(texture.pixels.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(picture.pixels.size()));
}
BENCHMARK(convertBitmap)
    ->Name("Texture/convert_1024x1024")
    ->ArgNames({"bits", "alpha"})
    ->Args({24, 0})
    ->Args({24, 2})
    ->Args({32, 0})
    ->Unit(benchmark::kMicrosecond);

// The first Bind of a 1024 x 1024 texture: the GL upload the saver pays once.
void firstBind(benchmark::State& state) {
    benchGlContext().makeCurrent();
    Texture texture(floorPicture(), static_cast<bool>(state.range(0)), 0);
    for (auto _ : state) {
        texture.Bind();
        glFinish();
        state.PauseTiming();
        texture.Release();
        state.ResumeTiming();
    }
}
BENCHMARK(firstBind)
    ->Name("Texture/first_bind_1024x1024")
    ->ArgName("mipmapped")
    ->Arg(0)
    ->Arg(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

[[maybe_unused]] const auto* floorBenchmark = registerFloorFrameBenchmark();

} // namespace

BENCHMARK_MAIN();
