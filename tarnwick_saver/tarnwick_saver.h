// The drawing half of the Tarnwick effect, apart from the shell's contract calls (saver/saver.h),
// so that tests and benchmarks can draw frames on a context of their own.
#pragma once

#include "tarnwick_saver/mosaic.h"

class Texture;

// One frame without presenting it: view, light, the desktop texture, the step before drawing,
// the tiles, then the step after. Needs a current GL context with the effect's enables set.
void drawMosaicFrame(Mosaic& mosaic, Texture& desktop);

// The 1,200 tiles in immediate mode, placed in the world here and sent as one batch.
void drawTiles(const Mosaic& mosaic);
