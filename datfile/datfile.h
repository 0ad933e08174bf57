// Reader of the packed data files: named JPEG pictures, sound markers and meshes.
#pragma once

#include "shell/vector3.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/bitmap.h"

// A sound marker: the files carry no sound data.
struct Sound {};

// A mesh entry; nothing in the program reads meshes.
struct Off {
    int32_t faceCount = 0;
    int32_t vertexCount = 0;
    std::vector<Vector3> vertices;
    std::vector<std::array<int32_t, 3>> faces;
};

class DatFile {
public:
    static constexpr int maxEntries = 100;

    // Reads and decodes the whole file; throws Exception on any fault in it.
    explicit DatFile(const std::string& path);
    ~DatFile();
    DatFile(const DatFile&) = delete;
    DatFile& operator=(const DatFile&) = delete;

    // The first entry whose name matches, ignoring case; none when it is not a picture.
    Bitmap* getBitmap(const std::string& name) const;

    std::vector<std::string> names;
    std::array<std::unique_ptr<Bitmap>, maxEntries> bitmaps;
    std::array<std::unique_ptr<Sound>, maxEntries> sounds;
    std::array<std::unique_ptr<Off>, maxEntries> meshes;
};
