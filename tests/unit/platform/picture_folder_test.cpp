// A picture from a user's folder tree: what is chosen, what is passed over, and the errors of a
// folder without a picture; none of it may hang, crash or allocate without bound.
#include "platform/picture_folder.h"

#include "platform/exception.h"
#include "tests/support/jpeg_writer.h"

#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

void writeBytes(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> plainJpeg(int width, int height, uint8_t red, uint8_t green, uint8_t blue) {
    std::vector<uint8_t> pixels;
    for (int i = 0; i < width * height; ++i)
        pixels.insert(pixels.end(), {red, green, blue});
    return encodeJpeg(width, height, 3, pixels);
}

void writePng(const fs::path& path, int width, int height, uint8_t red, uint8_t green,
              uint8_t blue) {
    std::vector<uint8_t> pixels;
    for (int i = 0; i < width * height; ++i)
        pixels.insert(pixels.end(), {red, green, blue});
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGB;
    ASSERT_TRUE(png_image_write_to_file(&image, path.c_str(), 0, pixels.data(), 0, nullptr));
}

// A chunk of a PNG stream: its length, type and data, and their checksum.
void appendChunk(std::vector<uint8_t>& png, const std::string& type, std::vector<uint8_t> data) {
    const auto bigEndian = [&png](uint32_t value) {
        for (int shift : {24, 16, 8, 0})
            png.push_back(static_cast<uint8_t>(value >> shift));
    };
    bigEndian(static_cast<uint32_t>(data.size()));
    data.insert(data.begin(), type.begin(), type.end());
    uint32_t crc = 0xFFFFFFFF;
    for (uint8_t byte : data) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
    }
    png.insert(png.end(), data.begin(), data.end());
    bigEndian(crc ^ 0xFFFFFFFF);
}

// A PNG that claims 100000 x 100000 pixels, far beyond any photograph, and holds none.
std::vector<uint8_t> hugePng() {
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    appendChunk(png, "IHDR", {0, 1, 0x86, 0xA0, 0, 1, 0x86, 0xA0, 8, 2, 0, 0, 0});
    appendChunk(png, "IDAT", {});
    appendChunk(png, "IEND", {});
    return png;
}

std::string errorOf(const fs::path& folder) {
    try {
        pictureFromFolder(folder.string(), 1024, 768);
    } catch (const Exception& e) {
        return e.message;
    }
    return "(a picture)";
}

class PictureFolderTest : public testing::Test {
protected:
    fs::path root = fs::temp_directory_path() / ("kelvara-pictures-" + std::to_string(getpid()));
    void SetUp() override { fs::create_directories(root); }
    void TearDown() override { fs::remove_all(root); }
};

TEST_F(PictureFolderTest, APictureOfTheTreeIsChosenAndEverythingElseIsPassedOver) {
    writeBytes(root / "red.JPG", plainJpeg(40, 30, 255, 0, 0));
    fs::create_directories(root / "sub" / "deeper");
    writePng(root / "sub" / "deeper" / "green.png", 50, 20, 0, 255, 0);
    // Never chosen: hidden or backup names, other names, no pictures, absurd sizes, no files.
    writeBytes(root / ".hidden.jpg", plainJpeg(8, 8, 0, 0, 255));
    writeBytes(root / "backup.jpg~", plainJpeg(8, 8, 0, 0, 255));
    writeBytes(root / "photo.gif", plainJpeg(8, 8, 0, 0, 255));
    std::ofstream(root / "notes.jpg") << "shopping list";
    std::ofstream(root / "empty.png");
    writeBytes(root / "huge.png", hugePng());
    fs::create_directory(root / "folder.jpg");
    ASSERT_EQ(mkfifo((root / "pipe.pjpg").c_str(), 0600), 0);
    fs::create_symlink("/nowhere", root / "dangling.png");
    fs::create_directory_symlink("..", root / "sub" / "loop");
    fs::create_directory_symlink(root, root / "sub" / "deeper" / "back");

    std::set<std::pair<int, int>> sizes;
    for (int i = 0; i < 40; ++i) {
        const Bitmap picture = pictureFromFolder(root.string(), 1024, 768);
        ASSERT_EQ(picture.bitsPerPixel, 24);
        sizes.insert({picture.width, picture.height});
        const uint8_t* pixel = picture.row(picture.height / 2) + 3 * (picture.width / 2);
        if (picture.width == 40) {
            EXPECT_GT(pixel[2], 200); // red, in blue, green, red order
            EXPECT_LT(pixel[1], 60);
        } else {
            EXPECT_GT(pixel[1], 200);
            EXPECT_LT(pixel[2], 60);
        }
    }
    EXPECT_EQ(sizes, (std::set<std::pair<int, int>>{{40, 30}, {50, 20}}));

    // A large photograph comes shrunk, as far as it stays at least the size asked for.
    fs::remove_all(root);
    fs::create_directories(root);
    writeBytes(root / "large.jpg", plainJpeg(2100, 1600, 10, 20, 30));
    const Bitmap large = pictureFromFolder(root.string(), 1024, 768);
    EXPECT_EQ(large.width, 1050);
    EXPECT_EQ(large.height, 800);
}

TEST_F(PictureFolderTest, FoldersWithoutAReadablePictureAreClearErrors) {
    EXPECT_EQ(errorOf(root / "absent"), "Cannot open the image folder " +
                                            (root / "absent").string() +
                                            ": No such file or directory");
    std::ofstream(root / "file");
    EXPECT_EQ(errorOf(root / "file"),
              "The image folder " + (root / "file").string() + " is not a folder");
    EXPECT_EQ(errorOf(root), "There is no JPEG or PNG picture in " + root.string());

    std::ofstream(root / "notes.jpg") << "shopping list";
    writeBytes(root / "huge.png", hugePng());
    const std::string error = errorOf(root);
    EXPECT_EQ(error.rfind("No picture in " + root.string() + " could be read:", 0), 0u) << error;
    EXPECT_NE(error.find("notes.jpg: neither JPEG nor PNG"), std::string::npos) << error;
    EXPECT_NE(error.find("huge.png: too large (100000 x 100000 pixels)"), std::string::npos)
        << error;

    // A tree deeper than any photo collection: the walk stops going down, and ends.
    fs::remove_all(root);
    fs::path deep = root;
    for (int level = 0; level < 200; ++level)
        deep /= "d";
    fs::create_directories(deep);
    writeBytes(deep / "bottom.jpg", plainJpeg(8, 8, 0, 0, 0));
    EXPECT_EQ(errorOf(root), "There is no JPEG or PNG picture in " + root.string());
}

} // namespace
