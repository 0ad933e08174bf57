// A JPEG stream's own size is bounded before anything is decoded: scaling down a huge picture
// shrinks only the output, and a progressive stream would hold the coefficients of all of it
// (about 700 MB for 15000 x 15000). The streams here only claim their size in the frame header;
// none of them holds that many pixels.
#include "platform/exception.h"
#include "platform/jpeg_decoder.h"
#include "platform/picture_folder.h"
#include "tests/support/jpeg_writer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> smallJpeg(bool progressive) {
    std::vector<uint8_t> pixels;
    for (int i = 0; i < 64 * 48; ++i)
        pixels.insert(pixels.end(), {40, 160, 220});
    JpegOptions options;
    options.progressive = progressive;
    return encodeJpeg(64, 48, 3, pixels, options);
}

// As a screen of 1024 x 768 asks for a folder's picture: shrunk as far as it stays that large,
// so that the output alone is small enough.
std::string decodeError(const std::vector<uint8_t>& jpeg) {
    try {
        decodeJpeg(jpeg, 40'000'000, "huge.jpg", 1024, 768);
    } catch (const Exception& e) {
        return e.message;
    }
    return "(decoded)";
}

TEST(JpegDecoder, AStreamTooLargeToDecodeIsRefusedFromItsHeaderTighterWhenProgressive) {
    EXPECT_EQ(decodeError(withClaimedSize(smallJpeg(true), 15000, 15000)),
              "Picture huge.jpg is too large (15000 x 15000 pixels, progressive)");
    EXPECT_EQ(decodeError(withClaimedSize(smallJpeg(false), 20000, 20000)),
              "Picture huge.jpg is too large (20000 x 20000 pixels)");
    // Below the bounds the stream is decoded (these ones hold a small picture's data, which the
    // decoder stretches with grey): a sequential stream keeps only a row of blocks at a time, and
    // a progressive photograph of 7000 x 7000 (49 megapixels) is still read.
    EXPECT_EQ(decodeError(withClaimedSize(smallJpeg(false), 15000, 15000)), "(decoded)");
    EXPECT_EQ(decodeError(withClaimedSize(smallJpeg(true), 7000, 7000)), "(decoded)");
    EXPECT_EQ(decodeError(smallJpeg(true)), "(decoded)");
}

// From the user's folder: the huge picture makes way for the next one, or for the error that
// lets the run fall back to its plain picture.
TEST(JpegDecoder, AHugeProgressivePictureInTheFolderMakesWayForTheNextOrTheFallback) {
    const fs::path root =
        fs::temp_directory_path() / ("kelvara-jpeg-decoder-" + std::to_string(getpid()));
    fs::create_directories(root);
    auto write = [&](const std::string& name, const std::vector<uint8_t>& bytes) {
        std::ofstream(root / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    };
    write("huge.jpg", withClaimedSize(smallJpeg(true), 15000, 15000));
    std::string error;
    try {
        pictureFromFolder(root.string(), 1024, 768);
    } catch (const Exception& e) {
        error = e.message;
    }
    EXPECT_EQ(error, "No picture in " + root.string() + " could be read:\n  " +
                         (root / "huge.jpg").string() +
                         ": Picture huge.jpg is too large (15000 x 15000 pixels, progressive)");

    write("holiday.jpg", smallJpeg(true));
    for (int i = 0; i < 10; ++i) {
        const Bitmap picture = pictureFromFolder(root.string(), 1024, 768);
        EXPECT_EQ(picture.width, 64);
        EXPECT_EQ(picture.height, 48);
    }
    fs::remove_all(root);
}

} // namespace
