#include "datfile/datfile.h"
#include "platform/exception.h"
#include "test_files.h"
#include "tests/support/jpeg_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>

#include <jpeglib.h>
// After jpeglib.h, which it needs: the message codes.
#include <jerror.h>

namespace {

// The error message that loading these bytes gives, or "" when it loads.
std::string loadError(const Bytes& bytes, const std::string& source = "test.dat") {
    try {
        DatFile file(bytes, source);
    } catch (const Exception& e) {
        return e.message;
    }
    return "";
}

// Blue, green, red of a pixel, each within a JPEG's tolerance of the expected value.
void expectPixel(const Bitmap& bitmap, int x, int y, int blue, int green, int red) {
    const uint8_t* p = bitmap.row(y) + x * bitmap.bytesPerPixel();
    EXPECT_NEAR(p[0], blue, 12) << "blue at " << x << "," << y;
    EXPECT_NEAR(p[1], green, 12) << "green at " << x << "," << y;
    EXPECT_NEAR(p[2], red, 12) << "red at " << x << "," << y;
}

Bytes meshPayload(const std::vector<Vector3>& vertices,
                  const std::vector<std::array<int32_t, 3>>& faces) {
    Bytes payload = int32Bytes(static_cast<int32_t>(vertices.size())) +
                    int32Bytes(static_cast<int32_t>(faces.size()));
    for (const Vector3& v : vertices) {
        payload = payload + floatBytes(v.x) + floatBytes(v.y) + floatBytes(v.z);
    }
    for (const auto& face : faces) {
        payload = payload + int32Bytes(face[0]) + int32Bytes(face[1]) + int32Bytes(face[2]);
    }
    return payload;
}

TEST(DatFile, PayloadsFollowTheNameTableBackToBackAndEachKindGetsItsSlot) {
    const Bytes red = makeJpeg(16, 8);
    const Bytes wide = makeJpeg(32, 16);
    // The sound takes no bytes, so the first picture starts right after the name table; the
    // empty mesh takes exactly its two counts.
    const Bytes file = dataFile(
        {"beep.snd", "logo1.bmp", "cube.off", "empty.off", "readme.txt", "second.bmp"},
        picturePayload(red) + meshPayload({{1, 2, 3}, {-4.5f, 0, 1e-3f}, {0, 0, 0}}, {{0, 1, 2}}) +
            meshPayload({}, {}) + picturePayload(wide));
    const DatFile dat(file, "test.dat");

    EXPECT_EQ(dat.names, (std::vector<std::string>{"beep.snd", "logo1.bmp", "cube.off", "empty.off",
                                                   "readme.txt", "second.bmp"}));
    EXPECT_EQ(dat.payloadBytes,
              (std::vector<size_t>{0, 4 + red.size(), 8 + 4 * 12, 8, 0, 4 + wide.size()}));

    EXPECT_NE(dat.sounds[0], nullptr);
    ASSERT_NE(dat.bitmaps[1], nullptr);
    EXPECT_EQ(dat.bitmaps[1]->width, 16);
    EXPECT_EQ(dat.bitmaps[1]->height, 8);
    EXPECT_EQ(dat.bitmaps[1]->bitsPerPixel, 24);
    ASSERT_NE(dat.bitmaps[5], nullptr);
    EXPECT_EQ(dat.bitmaps[5]->width, 32);

    ASSERT_NE(dat.meshes[2], nullptr);
    const Off& cube = *dat.meshes[2];
    EXPECT_EQ(cube.vertexCount, 3);
    EXPECT_EQ(cube.faceCount, 1);
    ASSERT_EQ(cube.vertices.size(), 3u);
    EXPECT_FLOAT_EQ(cube.vertices[1].x, -4.5f);
    EXPECT_FLOAT_EQ(cube.vertices[1].z, 1e-3f);
    EXPECT_FLOAT_EQ(cube.vertices[0].y, 2);
    ASSERT_EQ(cube.faces.size(), 1u);
    EXPECT_EQ(cube.faces[0], (std::array<int32_t, 3>{0, 1, 2}));
    ASSERT_NE(dat.meshes[3], nullptr);
    EXPECT_EQ(dat.meshes[3]->vertexCount, 0);
    EXPECT_TRUE(dat.meshes[3]->faces.empty());

    // The other-kind entry is listed and nothing more.
    EXPECT_EQ(dat.bitmaps[4], nullptr);
    EXPECT_EQ(dat.sounds[4], nullptr);
    EXPECT_EQ(dat.meshes[4], nullptr);
    for (size_t j = dat.names.size(); j < DatFile::maxEntries; ++j) {
        EXPECT_EQ(dat.bitmaps[j], nullptr);
        EXPECT_EQ(dat.sounds[j], nullptr);
        EXPECT_EQ(dat.meshes[j], nullptr);
    }
}

TEST(DatFile, TypeWordIsEverythingAfterTheFirstDotLowerCased) {
    EXPECT_EQ(entryKind("LOGO1.BMP"), EntryKind::Picture);
    EXPECT_EQ(entryKind("bmp"), EntryKind::Picture);
    EXPECT_EQ(entryKind("BMP"), EntryKind::Picture);
    EXPECT_EQ(entryKind("x.y.bmp"), EntryKind::Other);
    EXPECT_EQ(entryKind("x.bmp.y"), EntryKind::Other);
    EXPECT_EQ(entryKind(".bmp"), EntryKind::Picture);
    EXPECT_EQ(entryKind("logo.bmp "), EntryKind::Other);
    EXPECT_EQ(entryKind("Ping.Snd"), EntryKind::Sound);
    EXPECT_EQ(entryKind("snd"), EntryKind::Sound);
    EXPECT_EQ(entryKind("ship.OFF"), EntryKind::Mesh);
    EXPECT_EQ(entryKind("logo1"), EntryKind::Other);
    EXPECT_EQ(entryKind(""), EntryKind::Other);

    // In a file: "x.y.bmp" reads no payload, so the picture after it still lines up.
    const Bytes jpeg = makeJpeg(16, 8);
    const DatFile dat(dataFile({"x.y.bmp", "LOGO1.BMP", "bmp"},
                               picturePayload(jpeg) + picturePayload(makeJpeg(8, 8))),
                      "test.dat");
    EXPECT_EQ(dat.bitmaps[0], nullptr);
    ASSERT_NE(dat.bitmaps[1], nullptr);
    EXPECT_EQ(dat.bitmaps[1]->width, 16);
    ASSERT_NE(dat.bitmaps[2], nullptr);
    EXPECT_EQ(dat.bitmaps[2]->width, 8);
    EXPECT_EQ(dat.payloadBytes[0], 0u);
}

TEST(DatFile, GetBitmapIgnoresCaseTakesTheFirstMatchAndGivesNoneForOtherEntries) {
    const DatFile dat(dataFile({"logo1.bmp", "LOGO1.bmp", "beep.snd", "ring.off", "notes.txt"},
                               picturePayload(makeJpeg(16, 8)) + picturePayload(makeJpeg(8, 8)) +
                                   meshPayload({}, {})),
                      "test.dat");
    ASSERT_NE(dat.getBitmap("Logo1.BMP"), nullptr);
    EXPECT_EQ(dat.getBitmap("Logo1.BMP"), dat.bitmaps[0].get());
    EXPECT_EQ(dat.getBitmap("LOGO1.bmp"), dat.bitmaps[0].get());
    EXPECT_EQ(dat.getBitmap("beep.snd"), nullptr);
    EXPECT_EQ(dat.getBitmap("ring.off"), nullptr);
    EXPECT_EQ(dat.getBitmap("notes.txt"), nullptr);
    EXPECT_EQ(dat.getBitmap("logo1"), nullptr);
    EXPECT_EQ(dat.getBitmap("logo1.bmp "), nullptr);
    EXPECT_EQ(dat.getBitmap(""), nullptr);
}

TEST(DatFile, CountOfZeroOrLessGivesAnEmptyFileAndAHundredIsTheMost) {
    for (const int32_t count : {0, -1, INT32_MIN}) {
        // Whatever follows the count is not read.
        const DatFile dat(int32Bytes(count) + Bytes(10, 0xAB), "test.dat");
        EXPECT_TRUE(dat.names.empty()) << count;
        EXPECT_EQ(dat.getBitmap("logo1.bmp"), nullptr);
    }
    const DatFile full(dataFile(std::vector<std::string>(100, "beep.snd")), "test.dat");
    EXPECT_EQ(full.names.size(), 100u);
    EXPECT_NE(full.sounds[99], nullptr);
    EXPECT_EQ(loadError(dataFile(std::vector<std::string>(101, "beep.snd"))),
              "Too many entries (101) in test.dat; at most 100 are allowed");
}

TEST(DatFile, ColourAndGreyPicturesDecodeTo24BitBlueGreenRed) {
    JpegShape grey;
    grey.grey = true;
    JpegShape progressive;
    progressive.progressive = true;
    const DatFile dat(dataFile({"colour.bmp", "grey.bmp", "progressive.bmp"},
                               picturePayload(makeJpeg(JpegShape{})) +
                                   picturePayload(makeJpeg(grey)) +
                                   picturePayload(makeJpeg(progressive))),
                      "test.dat");
    for (int j : {0, 2}) {
        const Bitmap& colour = *dat.bitmaps[j];
        ASSERT_EQ(colour.bitsPerPixel, 24);
        ASSERT_EQ(colour.pixels.size(), 16u * 8 * 3);
        expectPixel(colour, 2, 2, 0, 0, 255);  // the red half
        expectPixel(colour, 13, 5, 255, 0, 0); // the blue half
    }
    const Bitmap& greyBitmap = *dat.bitmaps[1];
    ASSERT_EQ(greyBitmap.bitsPerPixel, 24);
    ASSERT_EQ(greyBitmap.pixels.size(), 16u * 8 * 3);
    expectPixel(greyBitmap, 2, 2, 40, 40, 40);
    expectPixel(greyBitmap, 13, 5, 200, 200, 200);
    for (size_t i = 0; i < greyBitmap.pixels.size(); i += 3) {
        EXPECT_EQ(greyBitmap.pixels[i], greyBitmap.pixels[i + 1]);
        EXPECT_EQ(greyBitmap.pixels[i], greyBitmap.pixels[i + 2]);
    }
}

TEST(DatFile, FileOnDiskLoadsAndAMissingOneNamesItsPath) {
    const std::string path = writeTempFile(
        dataFile({"beep.snd", "logo1.bmp"}, picturePayload(makeJpeg(16, 8))), "good.dat");
    const DatFile dat(path);
    EXPECT_EQ(dat.names.size(), 2u);
    EXPECT_NE(dat.getBitmap("logo1.bmp"), nullptr);

    const std::string missing = tempFolder() + "/missing.dat";
    for (const std::string& bad : {missing, tempFolder()}) {
        try {
            DatFile file(bad);
            ADD_FAILURE() << "no error for " << bad;
        } catch (const Exception& e) {
            EXPECT_EQ(e.message, "Cannot open file " + bad);
        }
    }
}

TEST(DatFile, PictureRunningPastTheEndIsAStreamReadError) {
    const Bytes jpeg = makeJpeg(16, 8);
    Bytes file = dataFile({"logo1.bmp"}, picturePayload(jpeg));
    file.pop_back();
    EXPECT_EQ(loadError(file), "Stream read error");
    EXPECT_EQ(loadError(dataFile({"logo1.bmp"}, int32Bytes(INT32_MAX) + jpeg)),
              "Stream read error");
}

TEST(DatFile, BadJpegBytesGiveTheDecodersErrorNumber) {
    EXPECT_EQ(loadError(dataFile({"logo1.bmp"}, picturePayload(Bytes(100, 0x55)))),
              "JPEG error #" + std::to_string(JERR_NO_SOI));
    // A stream cut short would be padded with grey; that is an error, not a picture.
    Bytes cut = makeJpeg(64, 64);
    cut.resize(cut.size() / 2);
    EXPECT_EQ(loadError(dataFile({"logo1.bmp"}, picturePayload(cut))),
              "JPEG error #" + std::to_string(JWRN_JPEG_EOF));
    // A header alone, with no image.
    EXPECT_EQ(loadError(dataFile({"logo1.bmp"}, picturePayload({0xFF, 0xD8, 0xFF, 0xD9}))),
              "JPEG error #" + std::to_string(JERR_NO_IMAGE));
}

TEST(DatFile, MalformedFilesGiveClearErrors) {
    const Bytes jpeg = makeJpeg(16, 8);
    struct Case {
        const char* what;
        Bytes file;
        std::string message;
    };
    const Bytes noNul = int32Bytes(1) + Bytes(64, 'a');
    Bytes shortTable = dataFile({"a.bmp"});
    shortTable.resize(40);
    const std::vector<Case> cases = {
        {"empty file", {}, "Truncated data file test.dat: it ends inside the entry count"},
        {"half a count", {1, 0}, "Truncated data file test.dat: it ends inside the entry count"},
        {"short name table", shortTable,
         "Truncated data file test.dat: it ends inside the name table"},
        {"name without NUL", noNul, "Name of entry 0 in test.dat has no terminating NUL byte"},
        {"101 entries", int32Bytes(101),
         "Too many entries (101) in test.dat; at most 100 are allowed"},
        {"huge count", int32Bytes(INT32_MAX),
         "Too many entries (2147483647) in test.dat; at most 100 are allowed"},
        {"no length", dataFile({"a.bmp"}, {7, 0}),
         "Truncated data file test.dat: it ends inside the length of picture a.bmp"},
        {"zero length", dataFile({"a.bmp"}, int32Bytes(0) + jpeg),
         "Picture a.bmp in test.dat has a bad length (0)"},
        {"negative length", dataFile({"a.bmp"}, int32Bytes(-5) + jpeg),
         "Picture a.bmp in test.dat has a bad length (-5)"},
        {"no mesh counts", dataFile({"m.off"}, int32Bytes(0)),
         "Truncated data file test.dat: it ends inside the counts of mesh m.off"},
        {"negative vertices", dataFile({"m.off"}, int32Bytes(-1) + int32Bytes(0)),
         "Mesh m.off in test.dat has bad counts (-1 vertices, 0 faces)"},
        {"negative faces", dataFile({"m.off"}, int32Bytes(0) + int32Bytes(INT32_MIN)),
         "Mesh m.off in test.dat has bad counts (0 vertices, -2147483648 faces)"},
        {"huge counts", dataFile({"m.off"}, int32Bytes(INT32_MAX) + int32Bytes(INT32_MAX)),
         "Truncated data file test.dat: it ends inside the records of mesh m.off"},
        {"short faces", dataFile({"m.off"}, int32Bytes(1) + int32Bytes(1) + Bytes(23, 0)),
         "Truncated data file test.dat: it ends inside the records of mesh m.off"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(loadError(c.file), c.message) << c.what;
    }
}

TEST(DatFile, EveryCutOfAGoodFileIsAnErrorAndNeverACrash) {
    const Bytes file = dataFile({"a.snd", "logo1.bmp", "m.off", "x.y.bmp"},
                                picturePayload(makeJpeg(24, 16)) +
                                    meshPayload({{1, 2, 3}, {4, 5, 6}}, {{0, 1, 1}}));
    ASSERT_EQ(loadError(file), "");
    for (size_t size = 0; size < file.size(); ++size) {
        const Bytes cut(file.begin(), file.begin() + static_cast<ptrdiff_t>(size));
        EXPECT_NE(loadError(cut), "") << "cut at " << size;
    }
}

TEST(DatFile, PicturesBeyondThePixelLimitAreRefusedBeforeDecoding) {
    const Bytes claimed = withClaimedSize(makeJpeg(16, 16), 9000, 9000);
    EXPECT_EQ(loadError(dataFile({"big.bmp"}, picturePayload(claimed))),
              "Picture big.bmp in test.dat is too large (9000 x 9000 pixels)");

    // The limit holds for all pictures of a file together: one that fits on its own is refused
    // after one that took most of it.
    const Bytes large = flatGreyJpeg(8192, 4096);
    const Bytes second = withClaimedSize(makeJpeg(16, 16), 6000, 6000);
    const DatFile alone(dataFile({"large.bmp"}, picturePayload(large)), "test.dat");
    ASSERT_EQ(alone.bitmaps[0]->width, 8192);
    expectPixel(*alone.bitmaps[0], 8191, 4095, 128, 128, 128);
    EXPECT_EQ(loadError(dataFile({"large.bmp", "second.bmp"},
                                 picturePayload(large) + picturePayload(second))),
              "Picture second.bmp in test.dat is too large (6000 x 6000 pixels)");
}

TEST(DatFile, ProgressiveStreamWithHundredsOfScansIsRefused) {
    JpegShape shape;
    shape.manyScans = true;
    EXPECT_EQ(loadError(dataFile({"scans.bmp"}, picturePayload(makeJpeg(shape)))),
              "Picture scans.bmp in test.dat has too many scans");
}

} // namespace
