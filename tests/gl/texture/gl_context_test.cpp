// The test GL context itself: what the other gl tests rely on when they read pixels back.
#include "tests/support/gl_context.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <fstream>

namespace {

void expectRgb(const RgbImage& image, int x, int y, int r, int g, int b) {
    const uint8_t* p = image.at(x, y);
    EXPECT_EQ(p[0], r) << "red at " << x << "," << y;
    EXPECT_EQ(p[1], g) << "green at " << x << "," << y;
    EXPECT_EQ(p[2], b) << "blue at " << x << "," << y;
}

TEST(TestGlContext, ReadsBackEveryPixelBottomRowFirstWithTheRequestedSize) {
    TestGlContext context(320, 240);
    ASSERT_EQ(context.width(), 320);
    ASSERT_EQ(context.height(), 240);
    glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    // A red bottom strip, drawn with scissoring so no matrix set-up is involved.
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, 320, 10);
    glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);

    RgbImage image = readImage(context);
    ASSERT_EQ(image.rgb.size(), 320u * 240u * 3u);
    expectRgb(image, 0, 0, 255, 0, 0);
    expectRgb(image, 319, 9, 255, 0, 0);
    expectRgb(image, 0, 10, 0, 0, 255);
    expectRgb(image, 319, 239, 0, 0, 255);
}

TEST(TestGlContext, SwapShowsTheBackBufferInTheFrontBuffer) {
    TestGlContext context(64, 48);
    glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    context.swap();
    RgbImage front = readImage(context, TestGlContext::Buffer::Front);
    expectRgb(front, 0, 0, 0, 255, 0);
    expectRgb(front, 63, 47, 0, 255, 0);
}

TEST(TestGlContext, HasADepthBufferThatRejectsFartherFragments) {
    TestGlContext context(16, 16);
    glEnable(GL_DEPTH_TEST);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    auto quad = [](float z, float r, float g) {
        glColor3f(r, g, 0.0f);
        glBegin(GL_QUADS);
        glVertex3f(-1, -1, z);
        glVertex3f(1, -1, z);
        glVertex3f(1, 1, z);
        glVertex3f(-1, 1, z);
        glEnd();
    };
    quad(-0.5f, 1.0f, 0.0f); // near, red
    quad(0.5f, 0.0f, 1.0f);  // farther, green: hidden
    expectRgb(readImage(context), 8, 8, 255, 0, 0);
}

TEST(TestGlContext, WritesAReadBackAsAPpmTopRowFirst) {
    RgbImage image{2, 2, {10, 11, 12, 20, 21, 22, 30, 31, 32, 40, 41, 42}};
    std::string path = ::testing::TempDir() + "gl_context_test.ppm";
    writePpm(path, image);
    std::ifstream in(path, std::ios::binary);
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string header = "P6\n2 2\n255\n";
    ASSERT_EQ(content.size(), header.size() + 12);
    EXPECT_EQ(content.substr(0, header.size()), header);
    EXPECT_EQ(static_cast<uint8_t>(content[header.size()]), 30); // the top row comes first
    EXPECT_EQ(static_cast<uint8_t>(content[header.size() + 6]), 10);
    EXPECT_THROW(writePpm("/nonexistent-folder/x.ppm", image), std::runtime_error);
}

} // namespace
