// The pictures the stand-in for KWin's screenshot service gives, shared by the stand-in and its
// tests: each output's pixels follow a pattern of its own, laid out in the QImage format and
// row stride that output uses, so that a test can check every pixel it gets back.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

struct StandInPicture {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t stride = 0;
    uint32_t format = 0; // a QImage::Format number
    int seed = 0;        // tells the outputs' patterns apart
    std::vector<uint8_t> bytes;
};

struct StandInColour {
    uint8_t red, green, blue;
};

inline StandInColour standInColour(int seed, uint32_t x, uint32_t y) {
    return {static_cast<uint8_t>(x * 7 + seed), static_cast<uint8_t>(y * 11 + seed * 3),
            static_cast<uint8_t>((x ^ y) + seed * 5)};
}

// The picture of an output the stand-in knows: Virtual-0 in KWin's own format (ARGB32, with an
// alpha that must not matter), Virtual-1 in packed RGB888 rows padded to 4 bytes, Large-1 in
// RGBA8888 and larger than a pipe holds. Empty for any other name.
inline StandInPicture standInPicture(const std::string& output) {
    StandInPicture p;
    uint32_t bytesPerPixel = 4;
    if (output == "Virtual-0") {
        p.width = 64, p.height = 48, p.format = 5, p.seed = 1;
    } else if (output == "Virtual-1") {
        p.width = 5, p.height = 3, p.format = 13, p.seed = 2, bytesPerPixel = 3;
    } else if (output == "Large-1") {
        p.width = 700, p.height = 500, p.format = 17, p.seed = 3;
    } else {
        return p;
    }
    p.stride = (p.width * bytesPerPixel + 3) / 4 * 4;
    p.bytes.assign(static_cast<size_t>(p.stride) * p.height, 0xee); // padding shows as 0xee
    for (uint32_t y = 0; y < p.height; ++y) {
        for (uint32_t x = 0; x < p.width; ++x) {
            const StandInColour c = standInColour(p.seed, x, y);
            uint8_t* at = p.bytes.data() + static_cast<size_t>(y) * p.stride + x * bytesPerPixel;
            if (p.format == 5) {
                const uint32_t word =
                    0x80000000u | uint32_t{c.red} << 16 | uint32_t{c.green} << 8 | c.blue;
                std::memcpy(at, &word, 4);
            } else {
                at[0] = c.red, at[1] = c.green, at[2] = c.blue;
                if (bytesPerPixel == 4)
                    at[3] = 0x40;
            }
        }
    }
    return p;
}
