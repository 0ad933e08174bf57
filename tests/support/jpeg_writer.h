// JPEG streams for the tests and benchmarks, written with libjpeg at quality 95.
#pragma once

#include <cstdint>
#include <vector>

struct JpegOptions {
    bool progressive = false;
    // A progressive script of several hundred one-coefficient scans.
    bool manyScans = false;
};

// pixels holds height rows of width pixels, top row first, each pixel components bytes: red,
// green, blue (3) or grey (1).
std::vector<uint8_t> encodeJpeg(int width, int height, int components,
                                const std::vector<uint8_t>& pixels,
                                const JpegOptions& options = {});

// A copy of a JPEG with other dimensions written into its frame header (baseline, extended or
// progressive).
std::vector<uint8_t> withClaimedSize(std::vector<uint8_t> jpeg, int width, int height);
