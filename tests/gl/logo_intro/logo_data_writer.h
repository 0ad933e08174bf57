// Writes small "logo.dat" files for the intro's tests and benchmark: pictures are stored as
// JPEG streams under their names, in the packed data-file layout.
#pragma once

#include "platform/bitmap.h"
#include "tests/support/jpeg_writer.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace logo_data {

inline std::vector<uint8_t> encodeJpeg(const Bitmap& picture) {
    std::vector<uint8_t> rgb(static_cast<size_t>(picture.width) * picture.height * 3);
    uint8_t* out = rgb.data();
    for (int y = 0; y < picture.height; ++y) {
        const uint8_t* p = picture.row(y);
        for (int x = 0; x < picture.width; ++x, p += picture.bytesPerPixel(), out += 3) {
            out[0] = p[2];
            out[1] = p[1];
            out[2] = p[0];
        }
    }
    return ::encodeJpeg(picture.width, picture.height, 3, rgb);
}

inline void putInt(std::vector<uint8_t>& out, int32_t value) {
    const uint32_t u = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<uint8_t>(u >> (8 * i)));
    }
}

// The pictures in order; each becomes one "bmp" entry.
inline void writeDataFile(const std::string& path,
                          const std::vector<std::pair<std::string, const Bitmap*>>& pictures) {
    std::vector<uint8_t> out;
    putInt(out, static_cast<int32_t>(pictures.size()));
    for (const auto& entry : pictures) {
        char field[64] = {};
        std::strncpy(field, entry.first.c_str(), sizeof field - 1);
        out.insert(out.end(), field, field + sizeof field);
    }
    for (const auto& entry : pictures) {
        const std::vector<uint8_t> jpeg = encodeJpeg(*entry.second);
        putInt(out, static_cast<int32_t>(jpeg.size()));
        out.insert(out.end(), jpeg.begin(), jpeg.end());
    }
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        throw std::runtime_error("cannot write " + path);
    }
    const bool ok = std::fwrite(out.data(), 1, out.size(), file) == out.size();
    if (std::fclose(file) != 0 || !ok) {
        throw std::runtime_error("cannot write " + path);
    }
}

inline Bitmap filled(int width, int height, uint8_t grey) {
    Bitmap picture(width, height, 24);
    std::memset(picture.pixels.data(), grey, picture.pixels.size());
    return picture;
}

// A 512 x 256 logo: a white band across its middle half (rows 64 to 191, y from -0.1 to 0.1
// on the logo's rectangle), black above and below.
inline Bitmap bandLogo() {
    Bitmap logo(512, 256, 24);
    for (int y = 64; y < 192; ++y) {
        std::memset(logo.row(y), 255, logo.rowBytes());
    }
    return logo;
}

// logo1.bmp (the band), smoke.bmp (mid grey) and shine.bmp (white), 64 x 64 for the last two.
inline void writeLogoData(const std::string& path) {
    const Bitmap logo = bandLogo();
    const Bitmap smoke = filled(64, 64, 128);
    const Bitmap shine = filled(64, 64, 255);
    writeDataFile(path, {{"logo1.bmp", &logo}, {"smoke.bmp", &smoke}, {"shine.bmp", &shine}});
}

} // namespace logo_data
