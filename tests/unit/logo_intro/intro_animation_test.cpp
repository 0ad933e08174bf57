#include "logo_intro/intro_animation.h"

#include "common/random_offset.h"
#include "platform/bitmap.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>

namespace {

// A fresh state as at program start (the module's own instance is not touched here).
std::unique_ptr<IntroState> freshState() {
    return std::make_unique<IntroState>();
}

uint32_t nextTick = 0;
uint32_t readNextTick() {
    return nextTick;
}

IntroStep stepAt(float sweep, float stepScale) {
    IntroStep step;
    step.sweep = sweep;
    step.stepScale = stepScale;
    step.dt = stepScale / 100;
    step.glow = glowAt(sweep);
    return step;
}

// A black picture with the pixels that bright() picks set to white.
Bitmap logoPicture(int width, int height, const std::function<bool(int x, int y)>& bright,
                   int bitsPerPixel = 24) {
    Bitmap picture(width, height, bitsPerPixel);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (bright(x, y)) {
                uint8_t* p = picture.row(y) + x * picture.bytesPerPixel();
                p[0] = p[1] = p[2] = 255;
            }
        }
    }
    return picture;
}

TEST(IntroClock, FirstFrameStepsOneHundredthAndStartsTheSweepAtTheLeftEdge) {
    auto state = freshState();
    nextTick = 5000;
    const IntroStep step = advanceClock(*state, readNextTick);
    EXPECT_FLOAT_EQ(step.dt, 0.01f);
    EXPECT_FLOAT_EQ(step.stepScale, 1);
    EXPECT_FLOAT_EQ(state->introClock, 0.01f);
    EXPECT_NEAR(step.sweep, -0.498f, 1e-6);
    EXPECT_NEAR(step.glow, 0.04f, 1e-5);
    EXPECT_EQ(state->lastTick, 5000u);

    nextTick = 5120;
    const IntroStep second = advanceClock(*state, readNextTick);
    EXPECT_FLOAT_EQ(second.dt, 0.1f);
    EXPECT_FLOAT_EQ(second.stepScale, 10);
    EXPECT_FLOAT_EQ(state->introClock, 0.11f);
    EXPECT_EQ(state->lastTick, 5120u);
}

TEST(IntroClock, WrappedTickCounterStillGivesTheSmallTrueStep) {
    auto state = freshState();
    state->lastTick = 0xFFFFFF00u;
    state->introClock = 1;
    nextTick = 44; // 300 ms after the last frame, across the wrap
    const IntroStep step = advanceClock(*state, readNextTick);
    EXPECT_FLOAT_EQ(step.dt, 0.25f);
    EXPECT_FLOAT_EQ(state->introClock, 1.25f);
    EXPECT_EQ(state->lastTick, 44u);
}

TEST(IntroClock, StallOfOnePointTwoSecondsIsOneWholeUnitUncapped) {
    auto state = freshState();
    state->lastTick = 1000;
    state->introClock = 0.5f;
    nextTick = 2200;
    const IntroStep step = advanceClock(*state, readNextTick);
    EXPECT_FLOAT_EQ(step.dt, 1);
    EXPECT_FLOAT_EQ(step.stepScale, 100);
    EXPECT_FLOAT_EQ(state->introClock, 1.5f);
}

TEST(IntroClock, SweepIsHeldAtTheRightEdgeFromClockFiveWithBeamsDark) {
    auto state = freshState();
    state->lastTick = 1000;
    for (float clock : {4.99f, 6.0f, 9.0f, 50.0f}) {
        state->introClock = clock;
        nextTick = 1012; // 0.01 units later
        state->lastTick = 1000;
        const IntroStep step = advanceClock(*state, readNextTick);
        EXPECT_FLOAT_EQ(step.sweep, 0.5f) << clock;
        EXPECT_FLOAT_EQ(step.glow, 0) << clock;
    }
}

TEST(IntroGlow, RisesAtTheLeftEdgeHoldsAndFallsAtTheRightEdge) {
    EXPECT_FLOAT_EQ(glowAt(-0.5f), 0);
    EXPECT_NEAR(glowAt(-0.475f), 0.5f, 1e-5);
    EXPECT_FLOAT_EQ(glowAt(-0.45f), 1);
    EXPECT_FLOAT_EQ(glowAt(0), 1);
    EXPECT_FLOAT_EQ(glowAt(0.45f), 1);
    EXPECT_NEAR(glowAt(0.475f), 0.5f, 1e-5);
    EXPECT_FLOAT_EQ(glowAt(0.5f), 0);
    EXPECT_FLOAT_EQ(glowAt(0.9f), 0); // never negative
}

TEST(IntroLogoAlpha, FollowsTheGlowThenStandsThenFadesByOneHundredthPerFrame) {
    auto state = freshState();
    state->introClock = 0.1f;
    updateLogoAlpha(*state, stepAt(-0.48f, 1));
    EXPECT_NEAR(state->logoAlpha, 0.4f, 1e-5);

    // Standing between sweep 0.45 and clock 7: unchanged.
    state->logoAlpha = 0.8f;
    state->introClock = 6.5f;
    updateLogoAlpha(*state, stepAt(0.5f, 1));
    EXPECT_FLOAT_EQ(state->logoAlpha, 0.8f);

    // Above 7: per frame, whatever the frame's length.
    state->introClock = 7.5f;
    updateLogoAlpha(*state, stepAt(0.5f, 1));
    EXPECT_FLOAT_EQ(state->logoAlpha, 0.79f);
    updateLogoAlpha(*state, stepAt(0.5f, 100));
    EXPECT_FLOAT_EQ(state->logoAlpha, 0.78f);

    state->logoAlpha = 0.005f;
    updateLogoAlpha(*state, stepAt(0.5f, 1));
    EXPECT_FLOAT_EQ(state->logoAlpha, 0);
}

TEST(IntroParticles, FixedSeedGivesReproducibleStartSparksBeforePuffsPositionBeforeLife) {
    auto state = freshState();
    std::srand(1234);
    placeParticles(*state);

    std::srand(1234);
    for (int i = 0; i < introSparkCount; ++i) {
        const float y = static_cast<float>(randomOffset() * 10);
        const float life = static_cast<float>(randomOffset() + 0.5);
        EXPECT_EQ(state->sparkPos[i].x, 4.0f);
        EXPECT_EQ(state->sparkPos[i].y, y);
        EXPECT_EQ(state->sparkPos[i].z, 0);
        EXPECT_EQ(state->sparkLife[i], life);
        EXPECT_EQ(length(state->sparkVel[i]), 0);
    }
    for (int i = 0; i < introPuffCount; ++i) {
        const float y = static_cast<float>(randomOffset() * 10);
        const float life = static_cast<float>(randomOffset() + 0.5);
        EXPECT_EQ(state->puffPos[i].x, 4.0f);
        EXPECT_EQ(state->puffPos[i].y, y);
        EXPECT_EQ(state->puffLife[i], life);
        EXPECT_EQ(length(state->puffVel[i]), 0);
    }
    for (int i = 0; i < introSparkCount; ++i) {
        EXPECT_GE(state->sparkPos[i].y, -5);
        EXPECT_LT(state->sparkPos[i].y, 5);
        EXPECT_GE(state->sparkLife[i], 0);
        EXPECT_LT(state->sparkLife[i], 1);
    }
}

TEST(IntroParticles, LowLivesReachTheSweepLineOnTheFirstFrame) {
    auto state = freshState();
    std::srand(99);
    placeParticles(*state);
    const Bitmap logo = logoPicture(512, 256, [](int, int) { return true; });
    state->logoPixels = logoPixelsOf(logo);
    const IntroStep first = stepAt(-0.498f, 1);
    int low = 0;
    for (int i = 0; i < introSparkCount; ++i) {
        const bool wasLow = state->sparkLife[i] < 0.1f;
        updateSpark(*state, i, first);
        if (wasLow) {
            ++low;
            EXPECT_NEAR(state->sparkPos[i].x, -0.478f, 0.05f);
            EXPECT_FLOAT_EQ(state->sparkLife[i], 1 - 0.015f);
        } else {
            EXPECT_GT(state->sparkPos[i].x, 3.9f);
        }
    }
    EXPECT_GT(low, 0);
}

TEST(IntroParticles, RespawnOnlyBelowLifeOneTenthAndOnlyWhileSweepIsLeftOfPointFour) {
    const Bitmap logo = logoPicture(512, 256, [](int, int) { return true; });
    auto state = freshState();
    state->logoPixels = logoPixelsOf(logo);
    const Vector3 away(3, 3, 0);

    struct Case {
        float life, sweep;
        bool respawns;
    };
    for (const Case c : {Case{0.05f, 0.3f, true}, Case{-0.5f, 0.0f, true}, Case{0.1f, 0.0f, false},
                         Case{0.05f, 0.4f, false}, Case{0.05f, 0.45f, false}}) {
        // Step scale 0: no motion and no fading, so only the respawn shows.
        const IntroStep step = stepAt(c.sweep, 0);
        state->sparkPos[0] = away;
        state->sparkLife[0] = c.life;
        state->puffPos[0] = away;
        state->puffLife[0] = c.life;
        std::srand(7);
        updateSpark(*state, 0, step);
        updatePuff(*state, 0, step);
        SCOPED_TRACE(testing::Message() << "life " << c.life << " sweep " << c.sweep);
        if (c.respawns) {
            EXPECT_FLOAT_EQ(state->sparkPos[0].x, c.sweep + 0.02f);
            EXPECT_FLOAT_EQ(state->sparkLife[0], 1);
            EXPECT_FLOAT_EQ(state->puffPos[0].x, c.sweep + 0.02f);
            EXPECT_FLOAT_EQ(state->puffLife[0], 1);
        } else {
            EXPECT_FLOAT_EQ(state->sparkPos[0].x, 3);
            EXPECT_FLOAT_EQ(state->sparkLife[0], c.life);
            EXPECT_FLOAT_EQ(state->puffPos[0].x, 3);
            EXPECT_FLOAT_EQ(state->puffLife[0], c.life);
        }
    }
}

TEST(IntroParticles, RespawnDrawsPlaceAndVelocityInTheirFixedOrder) {
    const Bitmap logo = logoPicture(512, 256, [](int, int) { return true; });
    auto state = freshState();
    state->logoPixels = logoPixelsOf(logo);
    const IntroStep step = stepAt(0.1f, 0);

    std::srand(31);
    state->sparkLife[0] = 0;
    updateSpark(*state, 0, step);
    std::srand(31);
    const float r1 = static_cast<float>(randomOffset());
    const float r2 = static_cast<float>(randomOffset());
    const float r3 = static_cast<float>(randomOffset());
    const float r4 = static_cast<float>(randomOffset());
    EXPECT_FLOAT_EQ(state->sparkPos[0].y, r1 * 0.5f);
    EXPECT_FLOAT_EQ(state->sparkPos[0].z, 0);
    EXPECT_FLOAT_EQ(state->sparkVel[0].x, (r4 + 0.4f) * 0.05f);
    EXPECT_FLOAT_EQ(state->sparkVel[0].y, (r3 + 0.5f) * 0.05f);
    EXPECT_FLOAT_EQ(state->sparkVel[0].z, r2 * 0.05f);

    std::srand(31);
    state->puffLife[0] = 0;
    updatePuff(*state, 0, step);
    EXPECT_FLOAT_EQ(state->puffPos[0].y, r2 * 0.5f);
    EXPECT_FLOAT_EQ(state->puffPos[0].z, 0); // born at depth r1, flattened by the move
    EXPECT_FLOAT_EQ(state->puffVel[0].x, r3 * 0.1f * 0.5f);
    EXPECT_FLOAT_EQ(state->puffVel[0].y, 0.05f);
}

TEST(IntroParticles, MoveFallAndFadeScaleWithTheStep) {
    auto state = freshState();
    state->sparkPos[0] = Vector3(1, 1, 1);
    state->sparkVel[0] = Vector3(0.1f, 0.1f, 0.1f);
    state->sparkLife[0] = 0.9f;
    updateSpark(*state, 0, stepAt(0.45f, 10));
    EXPECT_FLOAT_EQ(state->sparkVel[0].y, 0.1f - 0.02f);
    EXPECT_FLOAT_EQ(state->sparkPos[0].x, 1 + 0.1f * 0.16f * 10);
    EXPECT_FLOAT_EQ(state->sparkPos[0].y, 1 + 0.08f * 0.16f * 10);
    EXPECT_FLOAT_EQ(state->sparkLife[0], 0.9f - 0.15f);

    state->puffPos[0] = Vector3(1, 1, 0.3f);
    state->puffVel[0] = Vector3(0.05f, 0.05f, 0.5f);
    state->puffLife[0] = 0.9f;
    updatePuff(*state, 0, stepAt(0.45f, 10));
    EXPECT_FLOAT_EQ(state->puffPos[0].x, 1 + 0.05f * 0.2f * 10);
    EXPECT_FLOAT_EQ(state->puffPos[0].z, 0);
    EXPECT_FLOAT_EQ(state->puffLife[0], 0.9f - 0.15f);

    // A dead particle fades no further.
    state->sparkLife[0] = -0.2f;
    updateSpark(*state, 0, stepAt(0.45f, 10));
    EXPECT_FLOAT_EQ(state->sparkLife[0], -0.2f);
}

TEST(IntroEmission, ParticlesAreBornOnlyOnBrightLogoPixels) {
    // Only the middle column (under sweep 0) is bright.
    const Bitmap logo = logoPicture(512, 256, [](int x, int) { return x == 256; });
    auto state = freshState();
    state->logoPixels = logoPixelsOf(logo);
    EXPECT_TRUE(emissionTest(state->logoPixels, 0, 0));
    EXPECT_TRUE(emissionTest(state->logoPixels, 0, 0.19f));
    EXPECT_FALSE(emissionTest(state->logoPixels, 0.1f, 0));
    EXPECT_FALSE(emissionTest(state->logoPixels, -0.1f, 0));

    std::srand(5);
    for (float sweep : {0.0f, -0.2f, 0.3f}) {
        int born = 0;
        for (int i = 0; i < introSparkCount; ++i) {
            state->sparkLife[i] = 0;
            updateSpark(*state, i, stepAt(sweep, 0));
            born += state->sparkLife[i] == 1;
            // Unborn ones keep their low life but take the new place.
            EXPECT_FLOAT_EQ(state->sparkPos[i].x, sweep + 0.02f);
        }
        EXPECT_EQ(born, sweep == 0 ? introSparkCount : 0) << sweep;
    }
}

TEST(IntroEmission, BrightnessMustExceedOneFifth) {
    for (const auto& [value, bright] : {std::pair{51, false}, std::pair{52, true}}) {
        Bitmap logo(4, 2, 24);
        logo.row(0)[2] = static_cast<uint8_t>(value); // red of the top-left pixel
        EXPECT_EQ(emissionTest(logoPixelsOf(logo), -0.5f, 0.2f), bright) << value;
    }
    Bitmap grey(4, 2, 24);
    grey.row(0)[0] = grey.row(0)[1] = grey.row(0)[2] = 30; // length 0.204
    EXPECT_TRUE(emissionTest(logoPixelsOf(grey), -0.5f, 0.2f));
}

TEST(IntroEmission, PositionsOutsideTheLogoReadItsEdgeRowsAndColumns) {
    const Bitmap top = logoPicture(512, 256, [](int, int y) { return y == 0; });
    EXPECT_TRUE(emissionTest(logoPixelsOf(top), 0, 0.2f));
    EXPECT_TRUE(emissionTest(logoPixelsOf(top), 0, 0.3f));
    EXPECT_FALSE(emissionTest(logoPixelsOf(top), 0, 0.19f));

    // y = -0.2 maps to one past the bottom row: clamped onto it.
    const Bitmap bottom = logoPicture(512, 256, [](int, int y) { return y == 255; });
    EXPECT_TRUE(emissionTest(logoPixelsOf(bottom), 0, -0.2f));
    EXPECT_TRUE(emissionTest(logoPixelsOf(bottom), 0, -0.25f));
    EXPECT_FALSE(emissionTest(logoPixelsOf(bottom), 0, -0.19f));

    const Bitmap right = logoPicture(512, 256, [](int x, int) { return x == 511; });
    EXPECT_TRUE(emissionTest(logoPixelsOf(right), 0.5f, 0));
    const Bitmap left = logoPicture(512, 256, [](int x, int) { return x == 0; });
    EXPECT_TRUE(emissionTest(logoPixelsOf(left), -0.6f, 0));
    EXPECT_TRUE(emissionTest(logoPixelsOf(left), -0.5f, 0));
}

TEST(IntroEmission, SmallerOrWiderPicturesAreClampedToTheirOwnSize) {
    // A 64 x 32 logo: the corners map onto its last column and row, never past them.
    const Bitmap corner = logoPicture(64, 32, [](int x, int y) { return x == 63 && y == 31; });
    EXPECT_TRUE(emissionTest(logoPixelsOf(corner), 0.5f, -0.2f));
    EXPECT_FALSE(emissionTest(logoPixelsOf(corner), 0.45f, -0.2f));

    // 32 bits per pixel, and a single pixel.
    const Bitmap wide = logoPicture(
        1024, 512, [](int x, int) { return x == 1023; }, 32);
    EXPECT_TRUE(emissionTest(logoPixelsOf(wide), 0.5f, 0));
    EXPECT_FALSE(emissionTest(logoPixelsOf(wide), 0.49f, 0));
    const Bitmap one = logoPicture(1, 1, [](int, int) { return true; });
    EXPECT_TRUE(emissionTest(logoPixelsOf(one), 0.5f, -0.3f));
    EXPECT_TRUE(emissionTest(logoPixelsOf(one), -0.5f, 0.3f));

    EXPECT_FALSE(emissionTest(LogoPixels(), 0, 0)); // no picture: nothing is born
}

TEST(IntroGeometry, FiveBeamsFanOutAroundTheSweepAndCrossHalfwayToTheViewer) {
    const float sweep = 0.1f;
    for (int b = 0; b < introBeamCount; ++b) {
        const auto quad = beamQuad(sweep, b);
        const float off = b * 0.2f * 0.03f;
        EXPECT_FLOAT_EQ(quad[0].position.x, sweep + off + 0.01f);
        EXPECT_FLOAT_EQ(quad[1].position.x, sweep - off + 0.01f);
        EXPECT_FLOAT_EQ(quad[0].position.z, 0);
        EXPECT_FLOAT_EQ(quad[1].position.z, 1.5f);
        EXPECT_FLOAT_EQ(quad[2].position.y, 0.2f);
        // Halfway in depth both edges meet at sweep + 0.01.
        EXPECT_FLOAT_EQ((quad[0].position.x + quad[1].position.x) / 2, sweep + 0.01f);
        for (const BeamVertex& v : quad) {
            EXPECT_FLOAT_EQ(v.logoU, sweep + 0.5f); // one logo column, stretched
        }
        EXPECT_FLOAT_EQ(quad[0].smokeU, sweep - 0.5f);
        EXPECT_FLOAT_EQ(quad[1].smokeU, sweep + 0.5f);
        EXPECT_FLOAT_EQ(quad[2].smokeV, 1);
        EXPECT_FLOAT_EQ(quad[3].smokeV, 0);
    }
    EXPECT_FLOAT_EQ(beamQuad(0, 4)[0].position.x, 0.034f);
}

TEST(IntroGeometry, OnlyTheEdgeTextureCoordinateIsCapped) {
    EXPECT_FLOAT_EQ(logoEdgeU(-0.5f), 0.05f);
    EXPECT_FLOAT_EQ(logoEdgeU(0.4f), 0.95f);
    EXPECT_FLOAT_EQ(logoEdgeU(0.45f), 1.0f);
    EXPECT_FLOAT_EQ(logoEdgeU(0.5f), 1.0f);
}

TEST(IntroGeometry, ShineBarHasSevenRowsFromMinusToPlusPointThree) {
    std::array<float, introShineRowsMax> rows{};
    ASSERT_EQ(shineRows(rows), 7);
    EXPECT_FLOAT_EQ(rows[0], -0.3f);
    EXPECT_NEAR(rows[3], 0, 1e-6);
    EXPECT_NEAR(rows[6], 0.3f, 1e-6);
    EXPECT_LT(rows[6], 0.3f); // the accumulated float stays just below the bound
}

TEST(IntroGeometry, SparkIsATailBehindAndAFrontAheadOfItsHead) {
    const SparkShape s = sparkShape(Vector3(1, 2, 3), Vector3(0.1f, -0.2f, 0));
    EXPECT_FLOAT_EQ(s.head.x, 1);
    EXPECT_FLOAT_EQ(s.tail.x, 1 - 0.07f);
    EXPECT_FLOAT_EQ(s.tail.y, 2 + 0.14f);
    EXPECT_FLOAT_EQ(s.front.x, 1 + 0.04f);
    EXPECT_FLOAT_EQ(s.front.y, 2 - 0.08f);
    EXPECT_FLOAT_EQ(s.front.z, 3);
}

} // namespace
