// pictureFromFolder on POSIX: the folder walk through opendir and stat, JPEG through
// platform/jpeg_decoder and PNG through platform/posix/png_decoder.
#include "platform/picture_folder.h"

#include "platform/ascii_text.h"
#include "platform/exception.h"
#include "platform/jpeg_decoder.h"
#include "platform/posix/png_decoder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <random>
#include <set>
#include <span>
#include <utility>
#include <vector>

namespace {

// A user's picture folder may be a whole disk: the walk looks at this many entries at most, and
// folders this deep at most (which also bounds the length of a path).
constexpr size_t maxEntries = 200000;
constexpr int maxDepth = 48;
// Files tried before giving up: a few unreadable ones among many pictures do not matter.
constexpr size_t candidatesKept = 8;
// No photograph comes near these; a file or picture beyond them is refused before decoding.
constexpr off_t maxFileBytes = 64 << 20;
constexpr int64_t maxPixels = 40'000'000;

bool isPictureName(const std::string& name) {
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos)
        return false;
    const std::string extension = asciiLower(std::string_view(name).substr(dot + 1));
    for (const char* known : {"jpg", "jpeg", "pjpeg", "pjpg", "png"})
        if (extension == known)
            return true;
    return false;
}

// Picture files found so far, a uniform random sample of at most candidatesKept of them.
class Sample {
public:
    explicit Sample(std::mt19937& random) : random(random) {}
    void offer(std::string path) {
        ++seen;
        if (kept.size() < candidatesKept) {
            kept.push_back(std::move(path));
            return;
        }
        const size_t slot = std::uniform_int_distribution<size_t>(0, seen - 1)(random);
        if (slot < candidatesKept)
            kept[slot] = std::move(path);
    }
    std::vector<std::string> kept;

private:
    std::mt19937& random;
    size_t seen = 0;
};

void walk(const std::string& folder, Sample& sample) {
    struct stat info {};
    if (stat(folder.c_str(), &info) != 0)
        throw Exception("Cannot open the image folder " + folder + ": " + std::strerror(errno));
    if (!S_ISDIR(info.st_mode))
        throw Exception("The image folder " + folder + " is not a folder");
    std::set<std::pair<dev_t, ino_t>> visited{{info.st_dev, info.st_ino}};
    std::vector<std::pair<std::string, int>> pending{{folder, 0}};
    size_t entries = 0;
    while (!pending.empty() && entries < maxEntries) {
        const auto [path, depth] = std::move(pending.back());
        pending.pop_back();
        DIR* directory = opendir(path.c_str());
        if (!directory)
            continue; // unreadable folders are left out, as the loader does
        while (const dirent* entry = readdir(directory)) {
            if (++entries > maxEntries)
                break;
            const std::string name = entry->d_name;
            if (name.empty() || name[0] == '.' || name.back() == '~' || name.back() == '%' ||
                name.back() == '#')
                continue;
            std::string full = path + (path.back() == '/' ? "" : "/") + name;
            if (isPictureName(name)) {
                sample.offer(std::move(full));
            } else if (entry->d_type != DT_REG && depth < maxDepth &&
                       stat(full.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
                       visited.insert({info.st_dev, info.st_ino}).second) {
                pending.emplace_back(std::move(full), depth + 1);
            }
        }
        closedir(directory);
    }
}

class File {
public:
    explicit File(int descriptor) : descriptor(descriptor) {}
    ~File() {
        if (descriptor >= 0)
            close(descriptor);
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    int descriptor;
};

// The whole file, when it is a plain file within the bound; never waits on a pipe or device.
std::vector<uint8_t> readPictureFile(const std::string& path) {
    const File file(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    if (file.descriptor < 0 || fstat(file.descriptor, &info) != 0)
        throw Exception(std::strerror(errno));
    if (!S_ISREG(info.st_mode))
        throw Exception("not a plain file");
    if (info.st_size > maxFileBytes)
        throw Exception("larger than 64 MB");
    std::vector<uint8_t> bytes(static_cast<size_t>(info.st_size));
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t got = read(file.descriptor, bytes.data() + done, bytes.size() - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw Exception(std::strerror(errno));
        if (got == 0)
            break; // shorter than it was a moment ago
        done += static_cast<size_t>(got);
    }
    bytes.resize(done);
    return bytes;
}

Bitmap decodePicture(const std::string& path, int atLeastWidth, int atLeastHeight) {
    const std::vector<uint8_t> bytes = readPictureFile(path);
    static constexpr uint8_t pngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF)
        return decodeJpeg(bytes, maxPixels, path.substr(path.rfind('/') + 1), atLeastWidth,
                          atLeastHeight);
    if (bytes.size() >= sizeof pngSignature &&
        std::equal(std::begin(pngSignature), std::end(pngSignature), bytes.begin()))
        return decodePng(bytes, maxPixels);
    throw Exception("neither JPEG nor PNG");
}

} // namespace

Bitmap pictureFromFolder(const std::string& folder, int atLeastWidth, int atLeastHeight) {
    std::mt19937 random(std::random_device{}());
    Sample sample(random);
    walk(folder, sample);
    if (sample.kept.empty())
        throw Exception("There is no JPEG or PNG picture in " + folder);
    std::shuffle(sample.kept.begin(), sample.kept.end(), random);
    std::string failures;
    for (const std::string& path : sample.kept) {
        try {
            return decodePicture(path, atLeastWidth, atLeastHeight);
        } catch (const Exception& e) {
            failures += "\n  " + path + ": " + e.message;
        }
    }
    throw Exception("No picture in " + folder + " could be read:" + failures);
}
