#include "test_files.h"

#include "tests/support/jpeg_writer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <unistd.h>

Bytes int32Bytes(int32_t value) {
    const auto bits = static_cast<uint32_t>(value);
    return {static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8),
            static_cast<uint8_t>(bits >> 16), static_cast<uint8_t>(bits >> 24)};
}

Bytes floatBytes(float value) {
    int32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return int32Bytes(bits);
}

Bytes nameField(const std::string& name) {
    Bytes field(name.begin(), name.end());
    field.resize(64, 0);
    return field;
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes dataFile(const std::vector<std::string>& names, const Bytes& payloads) {
    Bytes file = int32Bytes(static_cast<int32_t>(names.size()));
    for (const std::string& name : names) {
        file = file + nameField(name);
    }
    return file + payloads;
}

Bytes picturePayload(const Bytes& jpeg) {
    return int32Bytes(static_cast<int32_t>(jpeg.size())) + jpeg;
}

Bytes makeJpeg(const JpegShape& shape) {
    const int channels = shape.grey ? 1 : 3;
    Bytes pixels(static_cast<size_t>(shape.width) * shape.height * channels);
    for (size_t i = 0; i < pixels.size(); i += channels) {
        const bool left = static_cast<int>(i / channels % shape.width) < shape.width / 2;
        if (shape.grey) {
            pixels[i] = left ? 40 : 200;
        } else {
            pixels[i] = left ? 255 : 0;
            pixels[i + 2] = left ? 0 : 255;
        }
    }
    JpegOptions options;
    options.progressive = shape.progressive;
    options.manyScans = shape.manyScans;
    return encodeJpeg(shape.width, shape.height, channels, pixels, options);
}

Bytes makeJpeg(int width, int height) {
    JpegShape shape;
    shape.width = width;
    shape.height = height;
    return makeJpeg(shape);
}

namespace {

// One folder per test program, removed when the program ends.
struct TempFolder {
    std::filesystem::path path = std::filesystem::temp_directory_path() /
                                 ("kelvara-datfile-test-" + std::to_string(getpid()));
    TempFolder() { std::filesystem::create_directories(path); }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

} // namespace

std::string tempFolder() {
    static TempFolder folder;
    return folder.path.string();
}

Bytes flatGreyJpeg(int width, int height) {
    JpegShape shape;
    shape.grey = true;
    shape.width = shape.height = 8;
    Bytes jpeg = withClaimedSize(makeJpeg(shape), width, height);
    // Keep everything up to the end of the scan header, then write the entropy-coded data.
    size_t at = 2;
    while (!(jpeg[at] == 0xFF && jpeg[at + 1] == 0xDA)) {
        at += 2 + (jpeg[at + 2] << 8 | jpeg[at + 3]);
    }
    at += 2 + (jpeg[at + 2] << 8 | jpeg[at + 3]);
    jpeg.resize(at);
    // Every block is "DC unchanged" (00 in the standard table) then "end of block" (1010).
    const int64_t blocks = int64_t{(width + 7) / 8} * ((height + 7) / 8);
    uint32_t bits = 0;
    int count = 0;
    for (int64_t b = 0; b < blocks; ++b) {
        bits = bits << 6 | 0b001010;
        count += 6;
        while (count >= 8) {
            jpeg.push_back(static_cast<uint8_t>(bits >> (count - 8)));
            count -= 8;
        }
    }
    if (count > 0) { // pad the last byte with one bits
        jpeg.push_back(static_cast<uint8_t>(bits << (8 - count) | ((1u << (8 - count)) - 1)));
    }
    jpeg.push_back(0xFF);
    jpeg.push_back(0xD9);
    return jpeg;
}

std::string writeTempFile(const Bytes& bytes, const std::string& name) {
    const std::filesystem::path folder = tempFolder();
    const std::string path = (folder / name).string();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
    return path;
}
