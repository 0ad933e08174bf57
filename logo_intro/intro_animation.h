// The intro's computation without OpenGL: time step, glow, logo opacity, particle set-up and
// update, the emission test and the geometry of the beams, the shine bar and the sparks.
#pragma once

#include "logo_intro/intro_state.h"

#include <array>
#include <cstdint>

class Bitmap;

using TickSource = uint32_t (*)();

// What one frame computes before it draws.
struct IntroStep {
    float dt = 0.01f;    // intro time of this frame
    float stepScale = 1; // dt x 100: scales motion and fading
    float sweep = 0;     // x of the sweep line
    float glow = 0;      // 0 to 1: beams and shine bar
};

// Places all sparks, then all puffs, at x = 4 (right of the view) with spread heights and
// lives; for each particle the position draw comes before the life draw.
void placeParticles(IntroState& state);

// Advances introClock by the ticks since the previous frame (0.01 on the first frame) and
// derives the step's scale, sweep and glow.
IntroStep advanceClock(IntroState& state, TickSource tick);

float glowAt(float sweep);

// The logo follows the glow while the sweep crosses it and fades by 0.01 per frame (not
// per unit of time) once it stands after intro time 7.
void updateLogoAlpha(IntroState& state, const IntroStep& step);

LogoPixels logoPixelsOf(const Bitmap& picture);

// True when the logo pixel under x = sweep and height y is bright (rgb length above 0.2).
bool emissionTest(const LogoPixels& logo, float sweep, float y);

void updatePuff(IntroState& state, int i, const IntroStep& step);
void updateSpark(IntroState& state, int i, const IntroStep& step);

// The right-hand texture coordinate of the logo's soft leading edge: only it is capped at
// 1, so once the sweep passes 0.45 the edge quad reaches past the logo with u held at 1.
float logoEdgeU(float sweep);

struct BeamVertex {
    Vector3 position;
    float logoU, logoV;   // texture unit 0
    float smokeU, smokeV; // texture unit 1
};

constexpr int introBeamCount = 5;

// Beam b (0 to 4): the logo column under the sweep line stretched from z = 0 to z = 1.5.
std::array<BeamVertex, 4> beamQuad(float sweep, int b);

// The shine bar's row heights: a float that starts at -0.3 and grows by 0.1 while below 0.3,
// which gives seven rows. Returns the count written into rows.
constexpr int introShineRowsMax = 8;
int shineRows(std::array<float, introShineRowsMax>& rows);

struct SparkShape {
    Vector3 head, tail, front;
};
SparkShape sparkShape(Vector3 position, Vector3 velocity);
