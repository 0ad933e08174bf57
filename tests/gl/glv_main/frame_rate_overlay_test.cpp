// The frame rate drawn over a frame: white text on a dark plate in the bottom-left corner,
// nothing else touched, every GL setting as it was, and no allocation per frame.
#include "glv_main/frame_rate_overlay.h"

#include "allocation_counter.h"
#include "common/multitexture.h"
#include "gl_context.h"
#include "platform/gl.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace {

using namespace std::chrono_literals;

TEST(FrameRateOverlayTest, DrawsTheRateInTheCornerAndLeavesTheFrameAndTheStateAlone) {
    TestGlContext context(320, 200);
    loadMultitextureEntryPoints();
    FrameRateOverlay overlay;
    const auto start = FrameRateOverlay::Clock::time_point{};
    overlay.frame(start);
    EXPECT_STREQ(overlay.text(), "");
    // 30 frames a second for a second.
    for (int i = 1; i <= 30; ++i)
        overlay.frame(start + i * 33333us);
    EXPECT_STREQ(overlay.text(), "30.0 fps");

    // A frame in mid-flight: grey, lit, textured, with a projection of its own.
    glClearColor(0.5f, 0.5f, 0.5f, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_LIGHTING);
    glEnable(GL_TEXTURE_2D);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-3, 3, -3, 3, -3, 3);
    glColor3f(0.25f, 0.5f, 0.75f);
    GLfloat projection[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);

    // The driver builds its pipeline for the first drawing; the frames after allocate nothing.
    overlay.draw(context.width(), context.height());
    glFinish();
    const uint64_t allocations = allocationCount();
    overlay.frame(start + 1100ms);
    overlay.draw(context.width(), context.height());
    glFinish();
    EXPECT_EQ(allocationCount(), allocations);

    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_PROJECTION);
    GLfloat after[16];
    glGetFloatv(GL_PROJECTION_MATRIX, after);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(after[i], projection[i]);
    GLfloat colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_FLOAT_EQ(colour[2], 0.75f);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    const RgbImage image = readImage(context);
    int white = 0, dark = 0, changedElsewhere = 0;
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const uint8_t* p = image.at(x, y);
            const bool corner = x < 120 && y < 30;
            if (corner) {
                white += p[0] > 200 && p[1] > 200 && p[2] > 200;
                dark += p[0] < 10 && p[1] < 10 && p[2] < 10;
            } else {
                changedElsewhere += p[0] != 128 && p[0] != 127;
            }
        }
    }
    EXPECT_GT(white, 100) << "no text";
    EXPECT_GT(dark, 500) << "no plate under the text";
    EXPECT_EQ(changedElsewhere, 0);
}

} // namespace
