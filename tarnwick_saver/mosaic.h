// The Tarnwick mosaic without OpenGL: 40 x 30 tiles over a 41 x 31 grid of heights that an
// invisible wanderer lifts as it drifts by, the lighting normals of the bent surface, and the
// placement of each tile. The drawing code (tarnwick_saver.cpp) only sends what these compute.
//
// Grid point (i, j): i = 0..40 left to right, j = 0..30 bottom to top. Tile (i, j), i = 0..39,
// j = 0..29, spans grid points i..i+1 and j..j+1 and covers x from -2 to 2 and y from -1.5 to
// 1.5 in the plane z = 0. Each frame advances the simulation by one step regardless of time.
#pragma once

#include "common/vector3.h"

#include <cstdint>

constexpr int gridColumns = 41; // grid points across
constexpr int gridRows = 31;    // grid points up
constexpr int tileColumns = 40;
constexpr int tileRows = 30;

// Texture and grid steps per tile; single precision on purpose, the geometry is built from them.
constexpr float acrossStep = 0.025f;   // 1/40
constexpr float upStep = 1.0f / 30.0f; // 0.033333335

struct Mosaic {
    float tileHeights[gridColumns][gridRows] = {};
    Vector3 gridNormals[gridColumns][gridRows];     // face normals, then the smoothed ones
    Vector3 smoothedNormals[gridColumns][gridRows]; // scratch; i = 1..40, j = 1..30 used
    Vector3 wandererPosition;
    Vector3 wandererVelocity;
    Vector3 wandererDrift;
    int32_t firstFrame = 1;
};

// The part of a frame before the tiles are drawn: the first-frame reset, the random kick, the
// face normals and their smoothing.
void mosaicBeforeDraw(Mosaic& mosaic);
// The part after: heights decay and bump near the wanderer, then the wanderer moves. It works on
// the heights just drawn, so its effect shows from the next frame.
void mosaicAfterDraw(Mosaic& mosaic);
// One whole simulation step, without drawing.
inline void stepMosaic(Mosaic& mosaic) {
    mosaicBeforeDraw(mosaic);
    mosaicAfterDraw(mosaic);
}

// The steps one by one, in frame order.
void resetOnFirstFrame(Mosaic& mosaic);
// About one frame in ten, one grid point near the screen centre gains 0.01. Draws one value from
// the standard generator, and two more on a kick.
void kickRandomTile(Mosaic& mosaic);
void computeFaceNormals(Mosaic& mosaic);
// Averages the four face normals around each grid point with i >= 1 and j >= 1; the averages are
// not renormalized.
void smoothNormals(Mosaic& mosaic);
// Draws one randomOffset per updated grid point (39 x 29 of them, in loop order).
void updateHeights(Mosaic& mosaic);
// A damped random walk with a weak pull towards the centre; draws two randomOffsets.
void stepWanderer(Mosaic& mosaic);

// Where grid point (i, j) sits in world units: the lower-left corner of tile (i, j).
inline Vector3 gridPointPosition(int i, int j) {
    return {4 * (i * acrossStep) - 2, 3 * (j * upStep) - 1.5f, 0};
}

// One tile as the effect places it: translated to its centre, rotated by angle degrees about
// axis, then four corners counter-clockwise from the lower left.
struct TileCorner {
    float s, t; // texture coordinates
    Vector3 normal;
    Vector3 vertex; // relative to the tile centre
};
struct TilePlacement {
    Vector3 centre;
    float angle;
    Vector3 axis; // not normalized; OpenGL does that
    TileCorner corners[4];
};

// The picture fills the upper three quarters of the square desktop texture, so t runs from 0.25
// at its bottom edge to 1 at its top edge.
inline TilePlacement placeTile(const Mosaic& mosaic, int i, int j) {
    const auto& h = mosaic.tileHeights;
    const auto& g = mosaic.gridNormals;
    const float u = i * acrossStep;
    const float v = j * upStep;
    const float left = -2 * acrossStep, right = 2 * acrossStep;
    const float bottom = -1.5f * upStep, top = 1.5f * upStep;
    const float tBottom = 0.75f * v + 0.25f, tTop = 0.75f * (v + upStep) + 0.25f;
    TilePlacement tile;
    tile.centre = {4 * u - 2 + 2 * acrossStep, 3 * v - 1.5f + 1.5f * upStep, 0};
    tile.angle = 1000 * h[i][j];
    tile.axis = {u - 0.5f, 0.2f, v - 0.5f};
    tile.corners[0] = {u, tBottom, g[i][j], {left, bottom, h[i][j]}};
    tile.corners[1] = {u + acrossStep, tBottom, g[i + 1][j], {right, bottom, h[i + 1][j]}};
    tile.corners[2] = {u + acrossStep, tTop, g[i + 1][j + 1], {right, top, h[i + 1][j + 1]}};
    tile.corners[3] = {u, tTop, g[i][j + 1], {left, top, h[i][j + 1]}};
    return tile;
}

// The tile's corners in world units: its vertices turned and moved, and its normals turned, as
// glTranslatef and glRotatef with the tile's centre, angle and axis would place them. The frame
// sends all tiles this way in one batch, where a matrix per tile would make 1,200 draws.
void placeCornersInWorld(const TilePlacement& tile, TileCorner (&world)[4]);
