// Choosing the frame-buffer format that best matches the view's descriptor.
#include "platform/gl_surface.h"

#include <gtest/gtest.h>

namespace {

PixelFormatCandidate format(bool doubled, int depth, int stencil, int colour = 32) {
    PixelFormatCandidate c;
    c.usableOnWindow = true;
    c.doubleBuffer = doubled;
    c.depthBits = depth;
    c.stencilBits = stencil;
    c.colorBits = colour;
    return c;
}

TEST(PixelFormatChoice, BufferingFirstThenStencilThenTheDeepestDepthUpTo32) {
    PixelFormatDescriptor doubled;
    doubled.doubleBuffer = true;
    std::vector<PixelFormatCandidate> offered = {format(false, 32, 0), format(true, 16, 0),
                                                 format(true, 24, 8),  format(true, 24, 0),
                                                 format(true, 64, 0),  format(true, 32, 0, 24)};
    // Depth 32 with 24 colour bits beats depth 24; 64 bits ranks below everything within 32.
    EXPECT_EQ(choosePixelFormat(offered, doubled), 5);
    offered.pop_back();
    EXPECT_EQ(choosePixelFormat(offered, doubled), 3); // no stencil asked: the one without

    PixelFormatDescriptor withStencil = doubled;
    withStencil.stencilBits = 8;
    EXPECT_EQ(choosePixelFormat(offered, withStencil), 2);

    PixelFormatDescriptor single;
    EXPECT_EQ(choosePixelFormat(offered, single), 0);
    // Without a single-buffered format a double-buffered one still serves.
    offered.erase(offered.begin());
    EXPECT_EQ(choosePixelFormat(offered, single), 2);
}

TEST(PixelFormatChoice, SkipsUnusableFormatsAndPrefersPlainFastOnes) {
    PixelFormatDescriptor doubled;
    doubled.doubleBuffer = true;
    EXPECT_EQ(choosePixelFormat({}, doubled), -1);

    auto unusable = format(true, 24, 0);
    unusable.usableOnWindow = false;
    EXPECT_EQ(choosePixelFormat({unusable}, doubled), -1);

    auto slow = format(true, 24, 0);
    slow.slow = true;
    auto multisampled = format(true, 24, 0);
    multisampled.samples = 4;
    auto accumulating = format(true, 24, 0);
    accumulating.accumBits = 64;
    auto plain = format(true, 24, 0);
    EXPECT_EQ(choosePixelFormat({unusable, slow, multisampled, accumulating, plain}, doubled), 4);
    // Equals keep the system's order.
    EXPECT_EQ(choosePixelFormat({plain, plain}, doubled), 0);
}

} // namespace
