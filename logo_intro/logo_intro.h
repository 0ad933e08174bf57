// The logo intro: a sweep line reveals the logo with light beams, a shine bar, sparks and smoke.
#pragma once

class GLV;

// Loads "logo.dat" and the intro's textures and saves the GL attribute state; the view's
// context must be current. Throws Exception when the data file or a picture is unusable.
void introSetup(GLV* view);
// Draws and presents one frame; returns 0 (presenting nothing) on the frame that ends the
// intro, after releasing everything the set-up made.
int introFrame();
