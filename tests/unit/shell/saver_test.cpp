// Building and tearing down the Saver, the shell's requirement floor and the desktop picture.
#include "shell/saver_building.h"

#include "platform/exception.h"
#include "shell/desktop_capture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include <unistd.h>

namespace {

TEST(SaverTest, RequirementsAreRaisedToTwoUnitsAndSize512AndGetMultitextureOnce) {
    SaverRequirements asked{300, 50, 1024, 1, 1000, {}};
    adjustRequirements(asked);
    EXPECT_EQ(asked.minTextureSize, 1024);
    EXPECT_EQ(asked.minTextureUnits, 2);
    EXPECT_EQ(asked.minCpuMhz, 300);
    EXPECT_EQ(asked.minRamMb, 50);
    EXPECT_EQ(asked.minPerformance, 1000);
    EXPECT_EQ(asked.extensions, std::vector<std::string>{"GL_ARB_multitexture"});

    SaverRequirements small{0, 0, 256, 0, 0, {"GL_EXT_foo", "gl_arb_MULTITEXTURE"}};
    adjustRequirements(small);
    EXPECT_EQ(small.minTextureSize, 512);
    EXPECT_EQ(small.minTextureUnits, 2);
    EXPECT_EQ(small.extensions, (std::vector<std::string>{"GL_EXT_foo", "gl_arb_MULTITEXTURE"}));

    SaverRequirements large{0, 0, 4096, 8, 0, {"GL_ARB_multitexture"}};
    adjustRequirements(large);
    EXPECT_EQ(large.minTextureSize, 4096);
    EXPECT_EQ(large.minTextureUnits, 8);
    EXPECT_EQ(large.extensions.size(), 1u);
}

class SaverFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = std::filesystem::temp_directory_path() /
                 ("kelvara-saver-test-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder);
    }
    void TearDown() override { std::filesystem::remove_all(folder); }
    std::string file(const char* name) { return (folder / name).string(); }

    std::filesystem::path folder;
};

TEST_F(SaverFileTest, WithoutItsDataFileTheSaverIsBuiltFromTheRunsObjects) {
    Bitmap desktop(4, 4, 24);
    GLV* view = reinterpret_cast<GLV*>(&desktop);
    std::unique_ptr<Saver> saver = buildSaver(&desktop, view, 2500, file("Tarnwick.dat"), false);
    ASSERT_NE(saver, nullptr);
    EXPECT_EQ(saver->desktop, &desktop);
    EXPECT_EQ(saver->view, view);
    EXPECT_EQ(saver->performance, 2500);
    EXPECT_NE(saver->quadric, nullptr);
    EXPECT_EQ(saver->datFile, nullptr);
    EXPECT_TRUE(saver->textures.empty());
}

TEST_F(SaverFileTest, ASaverThatNeedsItsMissingDataFileFailsWithTheFileName) {
    const std::string name = file("Needed.dat");
    try {
        buildSaver(nullptr, nullptr, 0, name, true);
        ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(e.message, "Can't find " + name);
    }
    // A folder of that name is not the file.
    std::filesystem::create_directories(name);
    EXPECT_THROW(buildSaver(nullptr, nullptr, 0, name, true), Exception);
    EXPECT_EQ(buildSaver(nullptr, nullptr, 0, name, false)->datFile, nullptr);
}

TEST_F(SaverFileTest, ABrokenDataFileFailsTheBuildAndLeavesNothingBehind) {
    std::ofstream(file("Broken.dat")) << "not a data file";
    EXPECT_THROW(buildSaver(nullptr, nullptr, 0, file("Broken.dat"), false), Exception);
}

// What the Saver owns goes in the teardown's order: the textures from the first, then the data
// file.
std::vector<const void*> released;
template <class T> Owned<T> recorded(const void* object) {
    return Owned<T>(static_cast<T*>(const_cast<void*>(object)),
                    Release<T>{[](T* gone) { released.push_back(gone); }});
}

TEST(SaverTest, TheSaverReleasesItsTexturesInOrderAndThenItsDataFile) {
    const int objects[3] = {};
    released.clear();
    {
        Saver saver;
        saver.datFile = recorded<DatFile>(&objects[0]);
        saver.textures.push_back(recorded<Texture>(&objects[1]));
        saver.textures.push_back(recorded<Texture>(&objects[2]));
    }
    EXPECT_EQ(released, (std::vector<const void*>{&objects[1], &objects[2], &objects[0]}));
}

TEST(DesktopCaptureTest, TheScreenFillsTheUpper1024By768AndTheRestStaysBlack) {
    Bitmap screen(1920, 1080, 32);
    for (int y = 0; y < screen.height; ++y) {
        uint8_t* row = screen.row(y);
        for (int x = 0; x < screen.width; ++x) {
            row[x * 4 + 0] = 200; // blue
            row[x * 4 + 1] = 100;
            row[x * 4 + 2] = x < screen.width / 2 ? 0 : 250; // red on the right half
        }
    }
    const Bitmap desktop = scaleDesktop(screen);
    ASSERT_EQ(desktop.width, 1024);
    ASSERT_EQ(desktop.height, 1024);
    ASSERT_EQ(desktop.bitsPerPixel, 24);
    for (int y : {0, 400, 767}) {
        const uint8_t* row = desktop.row(y);
        EXPECT_EQ(row[0], 200) << y;
        EXPECT_EQ(row[1], 100) << y;
        EXPECT_EQ(row[2], 0) << y;
        EXPECT_EQ(row[1023 * 3 + 2], 250) << y;
    }
    for (int y : {768, 1023}) {
        const uint8_t* row = desktop.row(y);
        EXPECT_EQ(row[0] + row[1] + row[2] + row[1023 * 3], 0) << y;
    }
    const Bitmap empty = scaleDesktop(Bitmap());
    EXPECT_EQ(empty.width, 1024);
}

} // namespace
