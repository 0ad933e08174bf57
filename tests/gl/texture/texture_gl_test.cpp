// Texture on a real GL context: which texture objects it makes, keeps and replaces, and that
// what it uploads or draws shows its pixels the right way up.
#include "texture/texture.h"

#include "platform/bitmap.h"
#include "platform/gl.h"
#include "tests/support/gl_context.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace {

constexpr int windowSize = 256;

class TextureGl : public testing::Test {
protected:
    TestGlContext context{windowSize, windowSize};

    void SetUp() override {
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, windowSize, 0, windowSize, -1, 1);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glColor3f(1, 1, 1);
    }

    // Texture names in use among the first few hundred, the range a fresh context hands out.
    static int textureNamesInUse() {
        int count = 0;
        for (GLuint name = 1; name < 500; ++name)
            count += glIsTexture(name) == GL_TRUE;
        return count;
    }

    // The bound texture over [x0, x1) x [y0, y1) in window pixels, v = 0 at the bottom edge.
    static void drawQuad(float x0, float y0, float x1, float y1) {
        glBegin(GL_QUADS);
        glTexCoord2f(0, 0);
        glVertex2f(x0, y0);
        glTexCoord2f(1, 0);
        glVertex2f(x1, y0);
        glTexCoord2f(1, 1);
        glVertex2f(x1, y1);
        glTexCoord2f(0, 1);
        glVertex2f(x0, y1);
        glEnd();
    }
};

// A bitmap whose pixel in column j of row i (0 = top) has red 60 * j + 15, green 60 * i + 15
// and blue 200, so every pixel says where it came from.
Bitmap gradient(int size, int bitsPerPixel = 24) {
    Bitmap bitmap(size, size, bitsPerPixel);
    for (int i = 0; i < size; ++i) {
        for (int j = 0; j < size; ++j) {
            uint8_t* p = bitmap.row(i) + j * bitmap.bytesPerPixel();
            p[0] = 200;
            p[1] = static_cast<uint8_t>(60 * i + 15);
            p[2] = static_cast<uint8_t>(60 * j + 15);
        }
    }
    return bitmap;
}

Bitmap filled(int size, uint8_t r, uint8_t g, uint8_t b) {
    Bitmap bitmap(size, size, 24);
    for (int k = 0; k < size * size; ++k) {
        bitmap.pixels[k * 3] = b;
        bitmap.pixels[k * 3 + 1] = g;
        bitmap.pixels[k * 3 + 2] = r;
    }
    return bitmap;
}

// Linear filtering near texel centres blends in a little of the neighbours.
void expectNear(const RgbImage& image, int x, int y, int r, int g, int b, int tolerance = 4) {
    const uint8_t* p = image.at(x, y);
    EXPECT_LE(std::abs(p[0] - r), tolerance) << "red at " << x << "," << y << ": " << int(p[0]);
    EXPECT_LE(std::abs(p[1] - g), tolerance) << "green at " << x << "," << y << ": " << int(p[1]);
    EXPECT_LE(std::abs(p[2] - b), tolerance) << "blue at " << x << "," << y << ": " << int(p[2]);
}

TEST_F(TextureGl, FirstBindCreatesExactlyOneTextureNameAndLaterBindsNone) {
    Texture texture(gradient(4), false, 0);
    const int before = textureNamesInUse();
    texture.Bind();
    EXPECT_TRUE(texture.uploaded);
    ASSERT_NE(texture.name, 0u);
    EXPECT_EQ(glIsTexture(texture.name), GL_TRUE);
    EXPECT_EQ(textureNamesInUse(), before + 1);
    EXPECT_EQ(glIsEnabled(GL_TEXTURE_2D), GL_TRUE);
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(static_cast<GLuint>(bound), texture.name);

    const uint32_t first = texture.name;
    glBindTexture(GL_TEXTURE_2D, 0);
    texture.Bind();
    texture.Bind();
    EXPECT_EQ(texture.name, first);
    EXPECT_EQ(textureNamesInUse(), before + 1);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(static_cast<GLuint>(bound), first);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(TextureGl, ReleaseAndDestructionDeleteTheTextureObject) {
    uint32_t name = 0;
    {
        Texture texture(gradient(4), false, 0);
        texture.Bind();
        name = texture.name;
        texture.Release();
        EXPECT_EQ(glIsTexture(name), GL_FALSE);
        // Bound again after a release: a new object.
        texture.Bind();
        name = texture.name;
        EXPECT_EQ(glIsTexture(name), GL_TRUE);
    }
    EXPECT_EQ(glIsTexture(name), GL_FALSE);
    EXPECT_EQ(textureNamesInUse(), 0);
}

TEST_F(TextureGl, RefreshKeepsTheObjectWhenNotMipmappedAndReplacesItWhenMipmapped) {
    // A parameter that Upload never sets tells the same object from a new one.
    auto markBound = [] { glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_PRIORITY, 0.25f); };
    auto boundIsMarked = [] {
        GLfloat priority = 0;
        glGetTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_PRIORITY, &priority);
        return priority == 0.25f;
    };

    Texture plain(filled(4, 255, 0, 0), false, 0);
    plain.Bind();
    markBound();
    const uint32_t plainName = plain.name;
    // Changed pixels reach the object that is kept.
    for (size_t k = 0; k < plain.pixels.size(); k += 4) {
        plain.pixels[k] = 0;
        plain.pixels[k + 1] = 255;
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    glDisable(GL_TEXTURE_2D);
    plain.Refresh();
    EXPECT_EQ(plain.name, plainName);
    EXPECT_TRUE(boundIsMarked());
    EXPECT_EQ(glIsEnabled(GL_TEXTURE_2D), GL_TRUE);
    drawQuad(0, 0, windowSize, windowSize);
    expectNear(readImage(context), windowSize / 2, windowSize / 2, 0, 255, 0, 0);

    Texture mipmapped(filled(4, 0, 0, 255), true, 0);
    mipmapped.Bind();
    markBound();
    const int names = textureNamesInUse();
    mipmapped.Refresh();
    EXPECT_TRUE(mipmapped.uploaded);
    EXPECT_EQ(glIsTexture(mipmapped.name), GL_TRUE);
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(static_cast<GLuint>(bound), mipmapped.name);
    EXPECT_FALSE(boundIsMarked());
    EXPECT_EQ(textureNamesInUse(), names);

    // Refresh before any Bind uploads.
    Texture fresh(filled(4, 0, 0, 255), false, 0);
    fresh.Refresh();
    EXPECT_TRUE(fresh.uploaded);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(static_cast<GLuint>(bound), fresh.name);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(TextureGl, ABoundTextureOnAQuadShowsTheBitmapWithItsTopRowAtTheTop) {
    for (int bits : {24, 32}) {
        SCOPED_TRACE(bits);
        Texture texture(gradient(4, bits), false, 0);
        texture.Bind();
        drawQuad(0, 0, windowSize, windowSize);
        const RgbImage image = readImage(context);
        const int cell = windowSize / 4;
        for (int i = 0; i < 4; ++i) {     // bitmap row, 0 = top
            for (int j = 0; j < 4; ++j) { // column
                expectNear(image, j * cell + cell / 2, windowSize - 1 - (i * cell + cell / 2),
                           60 * j + 15, 60 * i + 15, 200);
            }
        }
        if (HasFailure())
            writePpm(testing::TempDir() + "texture_quad.ppm", image);
    }
}

TEST_F(TextureGl, AMipmappedTextureDrawnSmallShowsTheAverageOfItsPixels) {
    // Every fourth column white, the rest black: a quarter grey once averaged down. Without
    // its mipmap levels the texture would be incomplete and draw white; sampled from level 0
    // alone it would show 0, 128 or 255.
    Bitmap stripes(64, 64, 24);
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; x += 4) {
            std::fill_n(stripes.row(y) + x * 3, 3, 255);
        }
    }
    Texture texture(stripes, true, 0);
    texture.Bind();
    drawQuad(0, 0, 8, 8);
    const RgbImage image = readImage(context);
    expectNear(image, 2, 2, 64, 64, 64, 8);
    expectNear(image, 5, 6, 64, 64, 64, 8);
}

TEST_F(TextureGl, DrawPixelsWritesTheBitmapUprightAtTheRasterPosition) {
    Texture texture(gradient(4), false, 0);
    glRasterPos2i(10, 20);
    texture.DrawPixels();
    const RgbImage image = readImage(context);
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j)
            expectNear(image, 10 + j, 20 + 3 - i, 60 * j + 15, 60 * i + 15, 200, 0);
    }
    expectNear(image, 9, 20, 0, 0, 0, 0);
    EXPECT_FALSE(texture.uploaded);
}

} // namespace
