// Reader of the packed data files: named JPEG pictures, sound markers and meshes.
#pragma once

#include "common/vector3.h"

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/bitmap.h"

// A sound marker: the files carry no sound data.
struct Sound {};

// A mesh entry; nothing in the program reads meshes. A face holds three vertex indices.
struct Off {
    int32_t faceCount = 0;
    int32_t vertexCount = 0;
    std::vector<Vector3> vertices;
    std::vector<std::array<int32_t, 3>> faces;
};

// What an entry holds, decided by its type word: the part of its name after the first ".",
// lower-cased (the whole name when it has no "."). Other words carry no payload.
enum class EntryKind { Picture, Sound, Mesh, Other };
EntryKind entryKind(const std::string& name);

class DatFile {
public:
    static constexpr int maxEntries = 100;
    // Each name field takes this many bytes, NUL included.
    static constexpr int nameFieldBytes = 64;
    // The decoded pictures of one file together may not exceed this many pixels, so a few
    // bytes claiming a huge picture cannot exhaust memory.
    static constexpr int64_t maxPixels = int64_t{64} << 20;

    // Reads and decodes the whole file; throws Exception on any fault in it.
    explicit DatFile(const std::string& path);
    // Decodes a data file held in memory; sourceName stands for the file in messages.
    DatFile(std::span<const uint8_t> bytes, const std::string& sourceName);
    ~DatFile();
    DatFile(const DatFile&) = delete;
    DatFile& operator=(const DatFile&) = delete;

    // The first entry whose name matches, ignoring case; none when it is not a picture.
    Bitmap* getBitmap(const std::string& name) const;

    std::vector<std::string> names;
    std::array<std::unique_ptr<Bitmap>, maxEntries> bitmaps;
    std::array<std::unique_ptr<Sound>, maxEntries> sounds;
    std::array<std::unique_ptr<Off>, maxEntries> meshes;
    // Bytes each entry's payload takes in the file, by entry index (0 for none).
    std::vector<size_t> payloadBytes;

private:
    void load(std::span<const uint8_t> bytes, const std::string& sourceName);
};
