#include "datfile/datfile.h"

#include "platform/exception.h"
#include "platform/jpeg_decoder.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace {

// Data files hold a handful of pictures; anything near this size is not one of ours, and reading
// it whole would only exhaust memory.
constexpr size_t maxFileBytes = size_t{256} << 20;

// Mesh vertices and faces both take three 32-bit values.
constexpr int64_t meshRecordBytes = 12;

std::string lowerCase(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

std::vector<uint8_t> readWholeFile(const std::string& path) {
    // A folder opens like a file on some systems, and then fails to read: refuse it up front.
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    std::FILE* file =
        std::filesystem::is_directory(status) ? nullptr : std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        throw Exception("Cannot open file " + path);
    }
    std::vector<uint8_t> bytes;
    if (std::filesystem::is_regular_file(status)) {
        const uintmax_t size = std::filesystem::file_size(path, error);
        if (!error && size <= maxFileBytes) {
            bytes.reserve(static_cast<size_t>(size));
        }
    }
    uint8_t chunk[65536];
    bool failed = false;
    for (;;) {
        const size_t got = std::fread(chunk, 1, sizeof chunk, file);
        if (bytes.size() + got > maxFileBytes) {
            std::fclose(file);
            throw Exception("Data file " + path + " is too large");
        }
        bytes.insert(bytes.end(), chunk, chunk + got);
        if (got < sizeof chunk) {
            failed = std::ferror(file) != 0;
            break;
        }
    }
    std::fclose(file);
    if (failed) {
        throw Exception("Stream read error");
    }
    return bytes;
}

// Little-endian fields taken from the front of the bytes not yet read; every read checks that
// the bytes are there first.
class FieldReader {
public:
    FieldReader(std::span<const uint8_t> bytes, const std::string& source)
        : bytes(bytes), source(source) {}

    size_t left() const { return bytes.size() - position; }

    // `where` names the field for the message when the file ends inside it.
    std::span<const uint8_t> take(size_t count, const std::string& where) {
        if (count > left()) {
            throw Exception("Truncated data file " + source + ": it ends inside " + where);
        }
        const auto block = bytes.subspan(position, count);
        position += count;
        return block;
    }

    int32_t int32(const std::string& where) { return int32At(take(4, where).data()); }

    static int32_t int32At(const uint8_t* p) {
        const uint32_t value =
            uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
        return static_cast<int32_t>(value);
    }

    static float floatAt(const uint8_t* p) {
        const uint32_t bits = static_cast<uint32_t>(int32At(p));
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

private:
    std::span<const uint8_t> bytes;
    const std::string& source;
    size_t position = 0;
};

} // namespace

EntryKind entryKind(const std::string& name) {
    const size_t dot = name.find('.');
    const std::string type = lowerCase(dot == std::string::npos ? name : name.substr(dot + 1));
    if (type == "bmp") {
        return EntryKind::Picture;
    }
    if (type == "snd") {
        return EntryKind::Sound;
    }
    if (type == "off") {
        return EntryKind::Mesh;
    }
    return EntryKind::Other;
}

DatFile::DatFile(const std::string& path) {
    load(readWholeFile(path), path);
}

DatFile::DatFile(std::span<const uint8_t> bytes, const std::string& sourceName) {
    load(bytes, sourceName);
}

DatFile::~DatFile() = default;

void DatFile::load(std::span<const uint8_t> bytes, const std::string& source) {
    FieldReader reader(bytes, source);

    // A count of 0 or less means no entries.
    const int32_t count = reader.int32("the entry count");
    if (count > maxEntries) {
        throw Exception("Too many entries (" + std::to_string(count) + ") in " + source +
                        "; at most " + std::to_string(maxEntries) + " are allowed");
    }
    for (int32_t j = 0; j < count; ++j) {
        const auto field = reader.take(nameFieldBytes, "the name table");
        const auto* end = static_cast<const uint8_t*>(std::memchr(field.data(), 0, field.size()));
        if (end == nullptr) {
            throw Exception("Name of entry " + std::to_string(j) + " in " + source +
                            " has no terminating NUL byte");
        }
        names.emplace_back(reinterpret_cast<const char*>(field.data()), end - field.data());
    }

    payloadBytes.assign(names.size(), 0);
    int64_t pixelsLeft = maxPixels;
    for (size_t j = 0; j < names.size(); ++j) {
        const std::string& name = names[j];
        const size_t before = reader.left();
        switch (entryKind(name)) {
        case EntryKind::Picture: {
            const int32_t length = reader.int32("the length of picture " + name);
            if (length <= 0) {
                throw Exception("Picture " + name + " in " + source + " has a bad length (" +
                                std::to_string(length) + ")");
            }
            if (static_cast<size_t>(length) > reader.left()) {
                throw Exception("Stream read error");
            }
            const auto stream = reader.take(static_cast<size_t>(length), name);
            auto bitmap =
                std::make_unique<Bitmap>(decodeJpeg(stream, pixelsLeft, name + " in " + source));
            pixelsLeft -= int64_t{bitmap->width} * bitmap->height;
            bitmaps[j] = std::move(bitmap);
            break;
        }
        case EntryKind::Sound:
            sounds[j] = std::make_unique<Sound>();
            break;
        case EntryKind::Mesh: {
            auto mesh = std::make_unique<Off>();
            mesh->vertexCount = reader.int32("the counts of mesh " + name);
            mesh->faceCount = reader.int32("the counts of mesh " + name);
            if (mesh->vertexCount < 0 || mesh->faceCount < 0) {
                throw Exception("Mesh " + name + " in " + source + " has bad counts (" +
                                std::to_string(mesh->vertexCount) + " vertices, " +
                                std::to_string(mesh->faceCount) + " faces)");
            }
            // The records are taken (and so checked against the bytes left) before anything
            // is allocated, so a huge count cannot claim more memory than the file holds.
            const int64_t recordBytes =
                (int64_t{mesh->vertexCount} + mesh->faceCount) * meshRecordBytes;
            const uint8_t* p =
                reader.take(static_cast<size_t>(recordBytes), "the records of mesh " + name).data();
            mesh->vertices.resize(static_cast<size_t>(mesh->vertexCount));
            for (Vector3& v : mesh->vertices) {
                v = {FieldReader::floatAt(p), FieldReader::floatAt(p + 4),
                     FieldReader::floatAt(p + 8)};
                p += meshRecordBytes;
            }
            mesh->faces.resize(static_cast<size_t>(mesh->faceCount));
            for (auto& face : mesh->faces) {
                face = {FieldReader::int32At(p), FieldReader::int32At(p + 4),
                        FieldReader::int32At(p + 8)};
                p += meshRecordBytes;
            }
            meshes[j] = std::move(mesh);
            break;
        }
        case EntryKind::Other:
            break;
        }
        payloadBytes[j] = before - reader.left();
    }
}

Bitmap* DatFile::getBitmap(const std::string& name) const {
    const std::string wanted = lowerCase(name);
    for (size_t j = 0; j < names.size(); ++j) {
        if (lowerCase(names[j]) == wanted) {
            return bitmaps[j].get();
        }
    }
    return nullptr;
}
