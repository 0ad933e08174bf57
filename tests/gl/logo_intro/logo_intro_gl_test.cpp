#include "common/multitexture.h"
#include "logo_intro/intro_state.h"
#include "logo_intro/logo_intro.h"
#include "platform/exception.h"
#include "platform/gl.h"
#include "tests/gl/logo_intro/logo_data_writer.h"
#include "tests/support/allocation_counter.h"
#include "tests/support/gl_context.h"
#include "texture/texture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <memory>

namespace fs = std::filesystem;

namespace {

constexpr int screenWidth = 1024;
constexpr int screenHeight = 768;
// 60 frames per second of real time.
constexpr uint32_t frameMilliseconds = 20;

uint32_t now = 1000;
uint32_t fakeTick() {
    return now;
}
int presents = 0;
void countPresent(GLV*) {
    ++presents;
}

fs::path outputFolder() {
    return fs::path(KELVARA_BINARY_DIR) / "tests" / "output" / "logo_intro";
}

class LogoIntroGl : public testing::Test {
protected:
    static void SetUpTestSuite() {
        context = new TestGlContext(screenWidth, screenHeight);
        // The projection a view of this size sets up.
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        gluPerspective(50, static_cast<double>(screenWidth) / screenHeight, 0.1, 100);
        glMatrixMode(GL_MODELVIEW);
        loadMultitextureEntryPoints();
        fs::create_directories(outputFolder());
    }
    static void TearDownTestSuite() {
        delete context;
        context = nullptr;
    }

    void SetUp() override {
        // The intro plays once per process; each test starts it afresh.
        introState.lastTick = 0;
        introState.introClock = 0;
        introState.logoAlpha = 1;
        now = 1000;
        presents = 0;
        setIntroTickSource(fakeTick);
        setIntroPresenter(countPresent);
        previousFolder = fs::current_path();
        dataFolder = outputFolder() / testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(dataFolder);
        fs::create_directories(dataFolder);
        fs::current_path(dataFolder);
        glGetIntegerv(GL_ATTRIB_STACK_DEPTH, &attributeDepth);
    }
    void TearDown() override {
        fs::current_path(previousFolder);
        setIntroTickSource(nullptr);
        setIntroPresenter(nullptr);
    }

    // Frames of 20 ms until the intro clock reaches the given time; false if the intro ended.
    static bool runUntil(float clock) {
        while (introState.introClock < clock) {
            now += frameMilliseconds;
            if (introFrame() == 0) {
                return false;
            }
        }
        return true;
    }

    // Window position of a point on the logo plane under the frame's camera.
    static std::array<int, 2> onScreen(float x, float y) {
        GLdouble model[16], projection[16];
        GLint viewport[4];
        glGetDoublev(GL_MODELVIEW_MATRIX, model);
        glGetDoublev(GL_PROJECTION_MATRIX, projection);
        glGetIntegerv(GL_VIEWPORT, viewport);
        GLdouble wx, wy, wz;
        gluProject(x, y, 0, model, projection, viewport, &wx, &wy, &wz);
        return {static_cast<int>(wx), static_cast<int>(wy)};
    }

    static int brightness(const RgbImage& image, float x, float y) {
        const auto p = onScreen(x, y);
        const uint8_t* rgb = image.at(p[0], p[1]);
        return std::max({rgb[0], rgb[1], rgb[2]});
    }

    // How many pixels of the logo-plane rectangle are lit above the threshold.
    static int litPixels(const RgbImage& image, float left, float bottom, float right, float top,
                         int threshold = 60) {
        const auto a = onScreen(left, bottom);
        const auto b = onScreen(right, top);
        int count = 0;
        for (int y = std::max(0, a[1]); y < std::min(image.height, b[1]); ++y) {
            for (int x = std::max(0, a[0]); x < std::min(image.width, b[0]); ++x) {
                const uint8_t* rgb = image.at(x, y);
                count += std::max({rgb[0], rgb[1], rgb[2]}) > threshold;
            }
        }
        return count;
    }

    static RgbImage snapshot(const char* name) {
        RgbImage image = readImage(*context);
        writePpm((outputFolder() / name).string(), image);
        return image;
    }

    static TestGlContext* context;
    fs::path previousFolder;
    fs::path dataFolder;
    GLint attributeDepth = 0;
};

TestGlContext* LogoIntroGl::context = nullptr;

int activeTextureUnit() {
    GLint unit = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE_ARB, &unit);
    return unit;
}

TEST_F(LogoIntroGl, SweepRevealsTheLogoWithShineAndSparksThenEverythingIsReleased) {
    logo_data::writeLogoData("logo.dat");
    introSetup(nullptr);
    EXPECT_TRUE(glIsEnabled(GL_BLEND));

    ASSERT_EQ(introFrame(), 1);
    EXPECT_FLOAT_EQ(introState.introClock, 0.01f);
    const std::array<GLuint, 3> names = {
        introState.logoTexture->name, introState.smokeTexture->name, introState.shineTexture->name};
    for (GLuint name : names) {
        EXPECT_TRUE(glIsTexture(name)) << name;
    }

    // About 1 s: the sweep is a third of the way in.
    ASSERT_TRUE(runUntil(1.0f / 1.2f));
    {
        const float sweep = introState.introClock * 0.2f - 0.5f;
        const RgbImage image = snapshot("intro_1s.ppm");
        EXPECT_GT(brightness(image, sweep - 0.05f, 0), 200) << "revealed band";
        EXPECT_GT(brightness(image, -0.45f, 0.05f), 200) << "revealed band";
        EXPECT_GT(brightness(image, sweep + 0.02f, 0.25f), 150) << "shine bar above the logo";
        // Not yet revealed: the band right of the edge is mostly dark (sparks cross it).
        const int ahead = litPixels(image, sweep + 0.1f, -0.05f, 0.45f, 0.05f, 200);
        const int behind = litPixels(image, -0.45f, -0.05f, sweep - 0.02f, 0.05f, 200);
        EXPECT_GT(behind, 0);
        EXPECT_LT(ahead * 4, behind) << ahead << " lit pixels ahead of the sweep";
        // Sparks fly right of where they were born and fall below the band.
        const int right = litPixels(image, sweep + 0.05f, -0.45f, sweep + 0.5f, -0.12f);
        const int left = litPixels(image, sweep - 0.5f, -0.45f, sweep - 0.05f, -0.12f);
        EXPECT_GT(right, 200);
        EXPECT_GT(right, 2 * left) << "right " << right << " left " << left;
    }

    // About 3 s: the sweep is in the middle.
    ASSERT_TRUE(runUntil(3.0f / 1.2f));
    {
        const float sweep = introState.introClock * 0.2f - 0.5f;
        EXPECT_NEAR(sweep, 0, 0.01f);
        const RgbImage image = snapshot("intro_3s.ppm");
        EXPECT_GT(brightness(image, -0.2f, 0), 200);
        EXPECT_GT(brightness(image, sweep + 0.02f, 0.25f), 150);
        const int ahead = litPixels(image, sweep + 0.1f, -0.05f, 0.45f, 0.05f, 200);
        const int behind = litPixels(image, -0.45f, -0.05f, sweep - 0.02f, 0.05f, 200);
        EXPECT_LT(ahead * 4, behind);
        const int right = litPixels(image, sweep + 0.05f, -0.45f, sweep + 0.5f, -0.12f);
        const int left = litPixels(image, sweep - 0.5f, -0.45f, sweep - 0.05f, -0.12f);
        EXPECT_GT(right, 200);
        EXPECT_GT(right, 2 * left) << "right " << right << " left " << left;
    }

    // A frame allocates nothing (the textures were uploaded on the first one).
    const uint64_t allocations = allocationCount();
    ASSERT_TRUE(runUntil(3.5f / 1.2f));
    EXPECT_EQ(allocationCount(), allocations);

    // About 6 s: the whole logo stands; beams and bar are dark.
    ASSERT_TRUE(runUntil(6.0f / 1.2f));
    {
        const RgbImage image = snapshot("intro_6s.ppm");
        EXPECT_GT(brightness(image, -0.45f, 0), 200);
        EXPECT_GT(brightness(image, 0, 0), 200);
        EXPECT_GT(brightness(image, 0.45f, 0), 200);
        EXPECT_LT(brightness(image, 0, 0.15f), 120);
    }

    // Past intro time 7 the logo fades by 0.01 per frame.
    ASSERT_TRUE(runUntil(7.0f));
    const float alpha = introState.logoAlpha;
    ASSERT_TRUE(runUntil(introState.introClock + 0.001f));
    EXPECT_NEAR(introState.logoAlpha, std::max(0.0f, alpha - 0.01f), 1e-5);

    // The end: the frame past 10 presents nothing and leaves nothing behind.
    const int presented = presents;
    int frames = 0;
    int result = 1;
    while (result == 1 && frames < 10000) {
        now += frameMilliseconds;
        result = introFrame();
        ++frames;
    }
    ASSERT_EQ(result, 0);
    EXPECT_GT(introState.introClock, 10);
    EXPECT_EQ(presents, presented + frames - 1);
    for (GLuint name : names) {
        EXPECT_FALSE(glIsTexture(name)) << name;
    }
    EXPECT_EQ(introState.logoTexture, nullptr);
    EXPECT_EQ(introState.smokeTexture, nullptr);
    EXPECT_EQ(introState.shineTexture, nullptr);
    EXPECT_EQ(introState.logoData, nullptr);
    GLint depth = -1;
    glGetIntegerv(GL_ATTRIB_STACK_DEPTH, &depth);
    EXPECT_EQ(depth, attributeDepth);
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_EQ(activeTextureUnit(), GL_TEXTURE0_ARB);
    EXPECT_EQ(glGetError(), GL_NO_ERROR);

    // Later calls find nothing to play.
    EXPECT_EQ(introFrame(), 0);
    EXPECT_EQ(presents, presented + frames - 1);
}

// Set-up failures leave no half-made intro and the GL state as it was.
void expectNothingLeft(GLint attributeDepth) {
    GLint depth = -1;
    glGetIntegerv(GL_ATTRIB_STACK_DEPTH, &depth);
    EXPECT_EQ(depth, attributeDepth);
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_EQ(introState.logoData, nullptr);
    EXPECT_EQ(introState.logoTexture, nullptr);
    EXPECT_EQ(introState.smokeTexture, nullptr);
    EXPECT_EQ(introState.shineTexture, nullptr);
    EXPECT_EQ(introFrame(), 0);
    EXPECT_EQ(presents, 0);
}

TEST_F(LogoIntroGl, MissingOrBrokenDataFileFailsCleanly) {
    try {
        introSetup(nullptr);
        FAIL() << "no exception without logo.dat";
    } catch (const Exception& e) {
        EXPECT_NE(e.message.find("logo.dat"), std::string::npos) << e.message;
    }
    expectNothingLeft(attributeDepth);

    // Claims one picture whose JPEG stream is cut short.
    std::ofstream("logo.dat", std::ios::binary)
        << std::string("\x01\0\0\0", 4) << std::string(64, '\0').replace(0, 9, "logo1.bmp")
        << std::string("\x10\0\0\0\xff\xd8", 6);
    EXPECT_THROW(introSetup(nullptr), Exception);
    expectNothingLeft(attributeDepth);
}

TEST_F(LogoIntroGl, DataFileWithoutOneOfTheThreePicturesFailsNamingIt) {
    const Bitmap logo = logo_data::bandLogo();
    const Bitmap smoke = logo_data::filled(64, 64, 128);
    logo_data::writeDataFile("logo.dat", {{"logo1.bmp", &logo}, {"smoke.bmp", &smoke}});
    try {
        introSetup(nullptr);
        FAIL() << "no exception without shine.bmp";
    } catch (const Exception& e) {
        EXPECT_NE(e.message.find("shine.bmp"), std::string::npos) << e.message;
    }
    expectNothingLeft(attributeDepth);

    logo_data::writeDataFile("logo.dat", {{"smoke.bmp", &smoke}, {"shine.bmp", &smoke}});
    try {
        introSetup(nullptr);
        FAIL() << "no exception without logo1.bmp";
    } catch (const Exception& e) {
        EXPECT_NE(e.message.find("logo1.bmp"), std::string::npos) << e.message;
    }
    expectNothingLeft(attributeDepth);
}

} // namespace
