#include "logo_intro/intro_animation.h"

#include "common/random_offset.h"
#include "platform/bitmap.h"

namespace {

// Particles wait right of the view until the sweep line picks them up.
constexpr float waitingX = 4.0f;
// Below this life a particle may be born again, and only while the sweep is left of this.
constexpr float respawnLife = 0.1f;
constexpr float respawnSweepLimit = 0.4f;
// Particles are born just right of the sweep line, where the shine bar is.
constexpr double birthOffsetX = 0.02;
constexpr float fadePerStep = 0.015f;
constexpr float brightness = 0.2f;

float r() {
    return static_cast<float>(randomOffset());
}

void place(Vector3& position, float& life) {
    position = Vector3(waitingX, static_cast<float>(randomOffset() * 10), 0);
    life = static_cast<float>(randomOffset() + 0.5);
}

} // namespace

void placeParticles(IntroState& state) {
    state.sparkPos.fill(Vector3());
    state.sparkVel.fill(Vector3());
    for (int i = 0; i < introSparkCount; ++i) {
        place(state.sparkPos[i], state.sparkLife[i]);
    }
    state.puffPos.fill(Vector3());
    state.puffVel.fill(Vector3());
    for (int i = 0; i < introPuffCount; ++i) {
        place(state.puffPos[i], state.puffLife[i]);
    }
}

IntroStep advanceClock(IntroState& state, TickSource tick) {
    IntroStep step;
    if (state.lastTick != 0) {
        // Unsigned difference: a counter that wrapped since the last frame still gives the
        // small true step.
        const uint32_t elapsed = tick() - state.lastTick;
        step.dt = static_cast<float>(elapsed) / 1200.0f;
        state.introClock += step.dt;
    } else {
        state.introClock += 0.01f;
    }
    state.lastTick = tick();
    step.stepScale = step.dt * 100;
    step.sweep = static_cast<float>(state.introClock * 0.2 - 0.5);
    if (step.sweep > 0.5f) {
        step.sweep = 0.5f;
    }
    step.glow = glowAt(step.sweep);
    return step;
}

float glowAt(float sweep) {
    float glow = 1;
    if (sweep < -0.45f) {
        glow = (sweep + 0.5f) * 20;
    }
    if (sweep > 0.45f) {
        glow = glow - (sweep - 0.45f) * 20;
    }
    if (glow < 0) {
        glow = 0;
    }
    return glow;
}

void updateLogoAlpha(IntroState& state, const IntroStep& step) {
    if (step.sweep < 0.45f) {
        state.logoAlpha = step.glow;
    } else if (state.introClock > 7) {
        state.logoAlpha -= 0.01f;
    }
    if (state.logoAlpha < 0) {
        state.logoAlpha = 0;
    }
}

LogoPixels logoPixelsOf(const Bitmap& picture) {
    LogoPixels logo;
    logo.pixels = picture.pixels.data();
    logo.width = picture.width;
    logo.height = picture.height;
    logo.rowBytes = picture.rowBytes();
    logo.bytesPerPixel = picture.bytesPerPixel();
    return logo;
}

namespace {
// Clamps before converting, so that no value can make the conversion undefined; for finite
// values this equals truncating toward zero and then clamping.
int clampedIndex(double value, int size) {
    if (!(value >= 0)) {
        return 0;
    }
    if (value > size - 1) {
        return size - 1;
    }
    return static_cast<int>(value);
}
} // namespace

bool emissionTest(const LogoPixels& logo, float sweep, float y) {
    if (logo.pixels == nullptr || logo.width <= 0 || logo.height <= 0) {
        return false;
    }
    const int hw = logo.width / 2;
    const int hh = logo.height / 2;
    // y = 0.2 is the top row; y = -0.2 is one past the bottom row, hence the clamp. The clamp
    // is to the real picture, so a smaller logo is never read outside.
    const int column = clampedIndex(hw * static_cast<double>(sweep) * 2 + hw, logo.width);
    const int row = clampedIndex(hh - hh * static_cast<double>(y) / 0.2, logo.height);
    const uint8_t* p =
        logo.pixels + logo.rowBytes * row + static_cast<size_t>(column) * logo.bytesPerPixel;
    const Vector3 colour(p[2] / 255.0f, p[1] / 255.0f, p[0] / 255.0f);
    return length(colour) > brightness;
}

void updatePuff(IntroState& state, int i, const IntroStep& step) {
    Vector3& position = state.puffPos[i];
    Vector3& velocity = state.puffVel[i];
    float& life = state.puffLife[i];
    if (life < respawnLife && step.sweep < respawnSweepLimit) {
        const float r1 = r();
        const float r2 = r();
        position = Vector3(static_cast<float>(step.sweep + birthOffsetX), r2 * 0.5f, r1);
        const float r3 = r();
        velocity = Vector3(r3 * 0.1f, 0.1f, 0) * 0.5f;
        if (emissionTest(state.logoPixels, step.sweep, position.y)) {
            life = 1;
        }
    }
    position += (velocity * 0.2f) * step.stepScale;
    // Puffs stay in the logo plane whatever depth they were born at.
    position.z = 0;
    if (life > 0) {
        life -= fadePerStep * step.stepScale;
    }
}

void updateSpark(IntroState& state, int i, const IntroStep& step) {
    Vector3& position = state.sparkPos[i];
    Vector3& velocity = state.sparkVel[i];
    float& life = state.sparkLife[i];
    if (life < respawnLife && step.sweep < respawnSweepLimit) {
        const float r1 = r();
        position = Vector3(static_cast<float>(step.sweep + birthOffsetX), r1 * 0.5f, 0);
        // Drawn z first, then y, then x: the order is part of the animation's reproducibility.
        const float r2 = r();
        const float r3 = r();
        const float r4 = r();
        velocity = Vector3(r4 + 0.4f, r3 + 0.5f, r2) * 0.05f;
        if (emissionTest(state.logoPixels, step.sweep, position.y)) {
            life = 1;
        }
    }
    velocity.y -= 0.002f * step.stepScale;
    position += (velocity * 0.16f) * step.stepScale;
    if (life > 0) {
        life -= fadePerStep * step.stepScale;
    }
}

float logoEdgeU(float sweep) {
    const float e = sweep + 0.55f;
    return e > 1.0f ? 1.0f : e;
}

std::array<BeamVertex, 4> beamQuad(float sweep, int b) {
    const float off = b * 0.2f * 0.03f;
    const float near = sweep + off + 0.01f; // at the logo plane
    const float far = sweep - off + 0.01f;  // at z = 1.5, toward the viewer
    const float u = sweep + 0.5f;
    return {{
        {Vector3(near, -0.2f, 0), u, 0, sweep - 0.5f, 0},
        {Vector3(far, -0.2f, 1.5f), u, 0, sweep + 0.5f, 1},
        {Vector3(far, 0.2f, 1.5f), u, 1, sweep - 0.5f, 1},
        {Vector3(near, 0.2f, 0), u, 1, sweep + 0.5f, 0},
    }};
}

int shineRows(std::array<float, introShineRowsMax>& rows) {
    int count = 0;
    for (float y = -0.3f; y < 0.3f && count < introShineRowsMax; y += 0.1f) {
        rows[count++] = y;
    }
    return count;
}

SparkShape sparkShape(Vector3 position, Vector3 velocity) {
    return {position, position - velocity * 0.7f, position + velocity * 0.4f};
}
