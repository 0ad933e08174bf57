// The logo intro: a sweep line reveals the logo with light beams, a shine bar, sparks and smoke.
#pragma once

#include <cstdint>

class GLV;

// Loads "logo.dat" and the intro's textures and saves the GL attribute state; the view's
// context must be current. Throws Exception when the data file or a picture is unusable, after
// releasing whatever it had made and restoring the attributes, so the run can go on without it.
void introSetup(GLV* view);
// Draws and presents one frame; returns 0 (presenting nothing) on the frame that ends the
// intro, after releasing everything the set-up made. Also 0 when there is no set-up intro.
int introFrame();

// For tests and benchmarks: the millisecond clock the frames read (tickCount by default) and
// what presents a finished frame (the view's Swap by default). Null restores the default.
void setIntroTickSource(uint32_t (*tick)());
void setIntroPresenter(void (*present)(GLV* view));
