// The mosaic drawn on a real GL context at 1024 x 768 under the view's 50 degree perspective:
// flat, it shows the desktop picture unchanged; disturbed, it breaks the picture up only where
// the wanderer has been.
#include "tarnwick_saver/tarnwick_saver.h"

#include "platform/bitmap.h"
#include "platform/gl.h"
#include "saver/saver.h"
#include "tests/support/allocation_counter.h"
#include "tests/support/gl_context.h"
#include "texture/texture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

namespace {

constexpr int screenWidth = 1024;
constexpr int screenHeight = 768;

// A smooth, position-coded picture: every channel is a triangle wave, so a shifted, stretched or
// missing tile shows as a large difference while linear filtering stays within a few levels.
int wave(int n) {
    return std::abs(n * 2 % 512 - 256) * 255 / 256;
}
void picturePixel(int x, int y, uint8_t rgb[3]) { // y = 0 at the top of the picture
    rgb[0] = static_cast<uint8_t>(wave(x));
    rgb[1] = static_cast<uint8_t>(wave(y + 40));
    rgb[2] = static_cast<uint8_t>(wave(x + y + 90));
}

// The shell's desktop image: the picture in the upper 1024 x 768 of a 1024 x 1024 bitmap, the
// rest a colour that must never show.
Bitmap desktopImage() {
    Bitmap bitmap(1024, 1024, 24);
    for (int y = 0; y < 1024; ++y) {
        uint8_t* row = bitmap.row(y);
        for (int x = 0; x < 1024; ++x) {
            uint8_t rgb[3] = {255, 0, 255};
            if (y < screenHeight) {
                picturePixel(x, y, rgb);
            }
            row[3 * x] = rgb[2];
            row[3 * x + 1] = rgb[1];
            row[3 * x + 2] = rgb[0];
        }
    }
    return bitmap;
}

unsigned seedWithoutKick() {
    for (unsigned seed = 1;; ++seed) {
        std::srand(seed);
        if (std::rand() % 100 >= 10) {
            return seed;
        }
    }
}

class TarnwickGl : public testing::Test {
protected:
    TestGlContext context{screenWidth, screenHeight};
    Bitmap desktop = desktopImage();
    Saver saver;
    std::unique_ptr<Mosaic> mosaic = std::make_unique<Mosaic>();

    void SetUp() override {
        // The view's projection.
        glViewport(0, 0, screenWidth, screenHeight);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        gluPerspective(50, static_cast<double>(screenWidth) / screenHeight, 0.1, 100);
        glMatrixMode(GL_MODELVIEW);
        saver.desktop = &desktop;
        saverSetup(saver);
    }
    void frame() { drawMosaicFrame(*mosaic, *saver.textures.front()); }

    // The largest channel difference between the screen and the picture over a rectangle of
    // screen pixels (y from the bottom), and the mean over it.
    struct Difference {
        int largest = 0;
        double mean = 0;
    };
    Difference compare(const RgbImage& image, int x0, int y0, int x1, int y1) {
        Difference d;
        long total = 0, count = 0;
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x) {
                uint8_t want[3];
                picturePixel(x, screenHeight - 1 - y, want);
                const uint8_t* got = image.at(x, y);
                for (int c = 0; c < 3; ++c) {
                    const int diff = std::abs(got[c] - want[c]);
                    d.largest = std::max(d.largest, diff);
                    total += diff;
                    ++count;
                }
            }
        }
        d.mean = static_cast<double>(total) / count;
        return d;
    }
    void keep(const RgbImage& image, const char* name) {
        if (HasFailure()) {
            writePpm(std::string(KELVARA_BINARY_DIR) + "/tests/" + name + ".ppm", image);
        }
    }
};

TEST_F(TarnwickGl, SetUpAddsTheDesktopTextureAndTurnsOnDepthLightAndColourMaterial) {
    ASSERT_EQ(saver.textures.size(), 1u);
    EXPECT_FALSE(saver.textures[0]->mipmapped);
    EXPECT_EQ(saver.textures[0]->width, 1024u);
    EXPECT_EQ(saver.textures[0]->pixels[3], 255); // opaque
    for (GLenum capability : {GL_DEPTH_TEST, GL_COLOR_MATERIAL, GL_LIGHTING, GL_LIGHT0}) {
        EXPECT_TRUE(glIsEnabled(capability)) << capability;
    }
    EXPECT_FALSE(saver.textures[0]->uploaded); // the first frame uploads
}

TEST_F(TarnwickGl, TheFirstFrameShowsTheWholePictureFullyLitWithoutSeams) {
    std::srand(seedWithoutKick());
    frame();
    const RgbImage image = readImage(context);
    // The mosaic overfills the screen by under half a pixel at each edge; leave the outermost
    // pixels out.
    const Difference d = compare(image, 1, 1, screenWidth - 1, screenHeight - 1);
    EXPECT_LE(d.largest, 12);
    EXPECT_LT(d.mean, 1.5);
    keep(image, "tarnwick_first_frame");
}

TEST_F(TarnwickGl, TheWandererBreaksUpTheCentreWhileTheRightColumnAndTopRowStayFlat) {
    std::srand(5);
    for (int n = 0; n < 300; ++n) {
        mosaic->wandererPosition = {};
        mosaic->wandererVelocity = {};
        mosaic->wandererDrift = {};
        frame();
    }
    const RgbImage image = readImage(context);
    // Within 0.25 units of the centre: heavily lifted and spun.
    const Difference centre = compare(image, 512 - 64, 384 - 64, 512 + 64, 384 + 64);
    EXPECT_GT(centre.mean, 30);
    // The right column (x from 1.9 to 2) and the top row (y from 1.4 to 1.5).
    const Difference right = compare(image, 1001, 1, screenWidth - 1, screenHeight - 1);
    const Difference top = compare(image, 1, 745, screenWidth - 1, screenHeight - 1);
    EXPECT_LE(right.largest, 12);
    EXPECT_LE(top.largest, 12);
    keep(image, "tarnwick_disturbed");
}

// The tiles are placed in the world before they are sent, where OpenGL's own matrices would
// otherwise place them: both must agree.
TEST_F(TarnwickGl, TilesArePlacedAsTheirTranslationAndRotationMatricesPlaceThem) {
    mosaic->tileHeights[7][9] = 0.013f;
    mosaic->tileHeights[8][10] = -0.02f;
    mosaic->tileHeights[30][25] = 0.2f; // two full turns and then some
    mosaic->gridNormals[8][10] = {0.3f, -0.2f, 0.8f};
    for (auto [i, j] : {std::pair{7, 9}, std::pair{30, 25}, std::pair{0, 0}}) {
        const TilePlacement tile = placeTile(*mosaic, i, j);
        TileCorner world[4];
        placeCornersInWorld(tile, world);
        glPushMatrix();
        glLoadIdentity();
        glTranslatef(tile.centre.x, tile.centre.y, tile.centre.z);
        glRotatef(tile.angle, tile.axis.x, tile.axis.y, tile.axis.z);
        GLfloat m[16]; // column by column
        glGetFloatv(GL_MODELVIEW_MATRIX, m);
        glPopMatrix();
        const auto along = [](const Vector3& v, int axis) {
            return axis == 0 ? v.x : axis == 1 ? v.y : v.z;
        };
        for (int n = 0; n < 4; ++n) {
            const Vector3& v = tile.corners[n].vertex;
            const Vector3& normal = tile.corners[n].normal;
            for (int row = 0; row < 3; ++row) {
                const float placed =
                    m[row] * v.x + m[4 + row] * v.y + m[8 + row] * v.z + m[12 + row];
                const float turned =
                    m[row] * normal.x + m[4 + row] * normal.y + m[8 + row] * normal.z;
                EXPECT_NEAR(along(world[n].vertex, row), placed, 1e-5)
                    << "tile " << i << "," << j << " corner " << n;
                EXPECT_NEAR(along(world[n].normal, row), turned, 1e-5)
                    << "tile " << i << "," << j << " corner " << n;
            }
        }
    }
}

TEST_F(TarnwickGl, AFrameAllocatesNothing) {
    std::srand(9);
    // The first frames upload the texture, and the software renderer compiles its code for
    // each kind of geometry it meets (flat tiles, turned ones) when it first meets it.
    for (int n = 0; n < 60; ++n) {
        frame();
    }
    glFinish();
    const uint64_t before = allocationCount();
    for (int n = 0; n < 20; ++n) {
        frame();
    }
    glFinish();
    EXPECT_EQ(allocationCount(), before);
}

} // namespace
