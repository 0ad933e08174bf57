// datpack: builds the program's packed data files and lists what one holds.
//
//   datpack OUT.dat NAME[=INPUT] ...   pack the entries in this order
//   datpack --list FILE.dat            index, name, kind, payload bytes, picture size
//
// An entry's kind comes from its name as the reader decides it: "*.bmp" takes a JPEG file,
// stored as it is; "*.snd" takes no input; "*.off" takes a text mesh (first line "V F", then V
// lines "x y z", then F lines "a b c" of vertex indices; blank lines and lines starting with "#"
// are skipped); any other name takes no input and gets no payload.
// Exit status: 0 done, 1 a bad input or a failed read or write, 2 a wrong command line.

#include "datfile/datfile.h"
#include "platform/exception.h"
#include "platform/jpeg_decoder.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int exitFailure = 1;
constexpr int exitUsage = 2;

// Meshes beyond this many records are not something anyone packs by hand.
constexpr long maxMeshRecords = 1L << 24;

struct UsageError {
    std::string message;
};

void usage(std::ostream& out) {
    out << "usage: datpack OUT.dat NAME[=INPUT] ...\n"
           "       datpack --list FILE.dat\n"
           "NAME ending in .bmp takes a JPEG file, .off a text mesh; .snd and others take none.\n";
}

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw Exception("cannot open " + path + ": " + std::strerror(errno));
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    if (in.bad()) {
        throw Exception("cannot read " + path);
    }
    return bytes;
}

void appendInt32(std::vector<uint8_t>& out, int32_t value) {
    const auto bits = static_cast<uint32_t>(value);
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<uint8_t>(bits >> shift));
    }
}

void appendFloat(std::vector<uint8_t>& out, float value) {
    int32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    appendInt32(out, bits);
}

// The mesh text as the payload of an "off" entry: V, F, the vertices, the faces.
std::vector<uint8_t> meshPayload(const std::string& path) {
    const std::vector<uint8_t> text = readFile(path);
    std::istringstream lines(std::string(text.begin(), text.end()));
    std::vector<std::vector<std::string>> rows; // the meaningful lines, split into words
    std::vector<int> lineNumbers;
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        std::istringstream words(line);
        std::vector<std::string> row;
        for (std::string word; words >> word;) {
            row.push_back(word);
        }
        if (!row.empty() && row[0][0] != '#') {
            rows.push_back(row);
            lineNumbers.push_back(number);
        }
    }
    auto fail = [&](size_t row, const std::string& what) -> Exception {
        const std::string where =
            row < lineNumbers.size() ? path + ":" + std::to_string(lineNumbers[row]) : path;
        return Exception(where + ": " + what);
    };
    auto expectWords = [&](size_t row, size_t count, const char* what) {
        if (rows[row].size() != count) {
            throw fail(row, std::string("expected ") + what);
        }
    };
    auto integer = [&](size_t row, const std::string& word, long low, long high) {
        char* end = nullptr;
        errno = 0;
        const long value = std::strtol(word.c_str(), &end, 10);
        if (*end != '\0' || errno != 0 || value < low || value > high) {
            throw fail(row, "bad number \"" + word + "\" (expected " + std::to_string(low) +
                                " to " + std::to_string(high) + ")");
        }
        return value;
    };

    if (rows.empty()) {
        throw fail(0, "empty mesh; the first line is \"V F\"");
    }
    expectWords(0, 2, "the counts \"V F\"");
    const long vertices = integer(0, rows[0][0], 0, maxMeshRecords);
    const long faces = integer(0, rows[0][1], 0, maxMeshRecords);
    if (rows.size() != static_cast<size_t>(1 + vertices + faces)) {
        throw fail(rows.size() - 1, "expected " + std::to_string(vertices) + " vertex and " +
                                        std::to_string(faces) + " face lines, found " +
                                        std::to_string(rows.size() - 1));
    }

    std::vector<uint8_t> payload;
    appendInt32(payload, static_cast<int32_t>(vertices));
    appendInt32(payload, static_cast<int32_t>(faces));
    for (long v = 1; v <= vertices; ++v) {
        expectWords(v, 3, "a vertex \"x y z\"");
        for (const std::string& word : rows[v]) {
            char* end = nullptr;
            const float value = std::strtof(word.c_str(), &end);
            if (*end != '\0' || !std::isfinite(value)) {
                throw fail(v, "bad coordinate \"" + word + "\"");
            }
            appendFloat(payload, value);
        }
    }
    for (long f = 1 + vertices; f <= vertices + faces; ++f) {
        expectWords(f, 3, "a face \"a b c\"");
        for (const std::string& word : rows[f]) {
            appendInt32(payload, static_cast<int32_t>(integer(f, word, 0, vertices - 1)));
        }
    }
    return payload;
}

// One NAME[=INPUT] argument as the bytes it adds after the name table.
std::vector<uint8_t> entryPayload(const std::string& name, const std::string* input) {
    const EntryKind kind = entryKind(name);
    const bool needsInput = kind == EntryKind::Picture || kind == EntryKind::Mesh;
    if (needsInput && input == nullptr) {
        throw UsageError{name + " needs an input: " + name + "=FILE"};
    }
    if (!needsInput && input != nullptr) {
        throw UsageError{name + " carries no payload and takes no input"};
    }
    if (kind == EntryKind::Mesh) {
        return meshPayload(*input);
    }
    if (kind != EntryKind::Picture) {
        return {};
    }
    std::vector<uint8_t> stream = readFile(*input);
    if (stream.empty() || stream.size() > INT32_MAX) {
        throw Exception(*input + ": a picture must hold 1 to " + std::to_string(INT32_MAX) +
                        " bytes");
    }
    try {
        decodeJpeg(stream, DatFile::maxPixels, name);
    } catch (const Exception& e) {
        throw Exception(*input + ": not a usable JPEG picture (" + e.message + ")");
    }
    std::vector<uint8_t> payload;
    appendInt32(payload, static_cast<int32_t>(stream.size()));
    payload.insert(payload.end(), stream.begin(), stream.end());
    return payload;
}

void pack(const std::string& outPath, const std::vector<std::string>& specs) {
    if (specs.size() > static_cast<size_t>(DatFile::maxEntries)) {
        throw UsageError{"at most " + std::to_string(DatFile::maxEntries) + " entries"};
    }
    std::vector<uint8_t> file;
    appendInt32(file, static_cast<int32_t>(specs.size()));
    std::vector<uint8_t> payloads;
    for (const std::string& spec : specs) {
        const size_t equals = spec.find('=');
        const std::string name = spec.substr(0, equals);
        const std::string input = equals == std::string::npos ? "" : spec.substr(equals + 1);
        if (name.empty() || name.size() >= static_cast<size_t>(DatFile::nameFieldBytes)) {
            throw UsageError{"entry name \"" + name + "\" must have 1 to " +
                             std::to_string(DatFile::nameFieldBytes - 1) + " characters"};
        }
        const std::vector<uint8_t> payload =
            entryPayload(name, equals == std::string::npos ? nullptr : &input);
        payloads.insert(payloads.end(), payload.begin(), payload.end());
        file.insert(file.end(), name.begin(), name.end());
        file.resize(file.size() + DatFile::nameFieldBytes - name.size(), 0);
    }
    file.insert(file.end(), payloads.begin(), payloads.end());

    // The reader must take what we wrote (this also holds all pictures to its pixel budget).
    DatFile check(file, outPath);

    // Written beside the target and renamed, so a failed run never leaves half a file.
    const std::string temporary = outPath + ".tmp";
    std::FILE* out = std::fopen(temporary.c_str(), "wb");
    if (out == nullptr) {
        throw Exception("cannot create " + temporary + ": " + std::strerror(errno));
    }
    const bool written = std::fwrite(file.data(), 1, file.size(), out) == file.size();
    if (std::fclose(out) != 0 || !written || std::rename(temporary.c_str(), outPath.c_str())) {
        std::remove(temporary.c_str());
        throw Exception("cannot write " + outPath);
    }
}

const char* kindWord(EntryKind kind) {
    switch (kind) {
    case EntryKind::Picture:
        return "picture";
    case EntryKind::Sound:
        return "sound";
    case EntryKind::Mesh:
        return "mesh";
    case EntryKind::Other:
        break;
    }
    return "none";
}

void list(const std::string& path) {
    const DatFile file(path);
    std::printf("%-5s  %-24s  %-7s  %10s  %s\n", "index", "name", "kind", "payload", "contents");
    for (size_t j = 0; j < file.names.size(); ++j) {
        std::string contents = "-";
        if (const Bitmap* bitmap = file.bitmaps[j].get()) {
            contents = std::to_string(bitmap->width) + " x " + std::to_string(bitmap->height);
        } else if (const Off* mesh = file.meshes[j].get()) {
            contents = std::to_string(mesh->vertexCount) + " vertices, " +
                       std::to_string(mesh->faceCount) + " faces";
        }
        std::printf("%-5zu  %-24s  %-7s  %10zu  %s\n", j, file.names[j].c_str(),
                    kindWord(entryKind(file.names[j])), file.payloadBytes[j], contents.c_str());
    }
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    try {
        if (args.empty() || args[0] == "--help" || args[0] == "-h") {
            usage(args.empty() ? std::cerr : std::cout);
            return args.empty() ? exitUsage : 0;
        }
        if (args[0] == "--list") {
            if (args.size() != 2) {
                throw UsageError{"--list takes one file"};
            }
            list(args[1]);
        } else {
            if (args[0].starts_with("-")) {
                throw UsageError{"unknown option " + args[0]};
            }
            pack(args[0], std::vector<std::string>(args.begin() + 1, args.end()));
        }
    } catch (const UsageError& e) {
        std::cerr << "datpack: " << e.message << "\n";
        usage(std::cerr);
        return exitUsage;
    } catch (const Exception& e) {
        std::cerr << "datpack: " << e.message << "\n";
        return exitFailure;
    } catch (const std::bad_alloc&) {
        std::cerr << "datpack: out of memory\n";
        return exitFailure;
    }
    return 0;
}
