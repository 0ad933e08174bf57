// Data-file costs: loading the intro's logo.dat from disk (the intro pays this once per run;
// the target is under 10 ms), the same from memory (parsing and JPEG decoding alone), and the
// floor: reading the file's bytes.
#include "datfile/datfile.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <vector>

namespace {

const char* const logoDat = KELVARA_BINARY_DIR "/Tarnwick/logo.dat";

std::vector<uint8_t> readFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void loadLogoDat(benchmark::State& state) {
    for (auto _ : state) {
        const DatFile file(logoDat);
        benchmark::DoNotOptimize(file.bitmaps[0].get());
    }
}
BENCHMARK(loadLogoDat)->Name("DatFile/load_logo_dat")->Unit(benchmark::kMillisecond);

void decodeLogoDatInMemory(benchmark::State& state) {
    const std::vector<uint8_t> bytes = readFile(logoDat);
    for (auto _ : state) {
        const DatFile file(bytes, "logo.dat");
        benchmark::DoNotOptimize(file.bitmaps[0].get());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(bytes.size()));
}
BENCHMARK(decodeLogoDatInMemory)
    ->Name("DatFile/decode_logo_dat_in_memory")
    ->Unit(benchmark::kMillisecond);

// The floor: the file's bytes into memory, nothing decoded.
void readLogoDatBytes(benchmark::State& state) {
    for (auto _ : state) {
        const std::vector<uint8_t> bytes = readFile(logoDat);
        benchmark::DoNotOptimize(bytes.data());
    }
}
BENCHMARK(readLogoDatBytes)->Name("DatFile/floor_read_bytes")->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
