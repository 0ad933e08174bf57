// Data files and JPEG streams built byte by byte, so the reader's tests say exactly what the
// file holds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

Bytes int32Bytes(int32_t value);
Bytes floatBytes(float value);
// A name field: the name, then NUL padding to 64 bytes.
Bytes nameField(const std::string& name);
Bytes operator+(Bytes a, const Bytes& b);

// The count, the name table, then the payloads given, back to back.
Bytes dataFile(const std::vector<std::string>& names, const Bytes& payloads = {});
// A picture payload: the length, then the stream.
Bytes picturePayload(const Bytes& jpeg);

// A JPEG whose left half is red and right half blue (or, in grey, dark and light).
struct JpegShape {
    int width = 16;
    int height = 8;
    bool grey = false;
    bool progressive = false;
    // A progressive script of several hundred one-coefficient scans.
    bool manyScans = false;
};
Bytes makeJpeg(const JpegShape& shape);
Bytes makeJpeg(int width, int height);

// A folder of this test program's own, removed when the program ends.
std::string tempFolder();
// A grey picture of any size that is cheap to make: every block is flat mid-grey.
Bytes flatGreyJpeg(int width, int height);

// Writes bytes to a fresh file in the temp folder and returns its path.
std::string writeTempFile(const Bytes& bytes, const std::string& name);
