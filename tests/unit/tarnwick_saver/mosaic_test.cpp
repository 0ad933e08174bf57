#include "tarnwick_saver/mosaic.h"

#include "common/random_offset.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

// Mosaic is large (three 41 x 31 grids); keep it off the test's stack.
std::unique_ptr<Mosaic> freshMosaic() {
    return std::make_unique<Mosaic>();
}

// A seed whose first generator value does (or does not) make the random kick happen.
unsigned seedWithKick(bool kick) {
    for (unsigned seed = 1;; ++seed) {
        std::srand(seed);
        if ((std::rand() % 100 < 10) == kick) {
            return seed;
        }
    }
}

void pinWanderer(Mosaic& m, Vector3 where) {
    m.wandererPosition = where;
    m.wandererVelocity = {};
    m.wandererDrift = {};
}

TEST(Mosaic, FirstFrameStartsFlatWithUprightNormals) {
    auto m = freshMosaic();
    m->tileHeights[3][4] = 0.7f; // left over from before the first frame
    m->tileHeights[20][15] = -0.2f;
    std::srand(seedWithKick(false));
    mosaicBeforeDraw(*m);
    EXPECT_EQ(m->firstFrame, 0);
    for (int i = 0; i < gridColumns; ++i) {
        for (int j = 0; j < gridRows; ++j) {
            ASSERT_EQ(m->tileHeights[i][j], 0.0f) << i << "," << j;
            const Vector3 n = m->gridNormals[i][j];
            ASSERT_EQ(n.x, 0.0f);
            ASSERT_EQ(n.y, 0.0f);
            ASSERT_EQ(n.z, 1.0f) << i << "," << j;
        }
    }
    // Later frames keep their heights.
    m->tileHeights[3][4] = 0.5f;
    resetOnFirstFrame(*m);
    EXPECT_EQ(m->tileHeights[3][4], 0.5f);
}

TEST(Mosaic, KickLiftsOneCentralPointByAHundredthOnAboutOneFrameInTen) {
    auto m = freshMosaic();
    std::srand(42);
    const int frames = 20000;
    for (int n = 0; n < frames; ++n) {
        kickRandomTile(*m);
    }
    double total = 0;
    for (int i = 0; i < gridColumns; ++i) {
        for (int j = 0; j < gridRows; ++j) {
            const float h = m->tileHeights[i][j];
            const bool central = i >= 15 && i <= 24 && j >= 10 && j <= 19;
            if (central) {
                EXPECT_GT(h, 0.0f) << "never kicked: " << i << "," << j;
            } else {
                EXPECT_EQ(h, 0.0f) << "kicked outside the centre: " << i << "," << j;
            }
            total += h;
        }
    }
    const double kicks = total / 0.01;
    EXPECT_NEAR(kicks / frames, 0.1, 0.01);

    auto once = freshMosaic();
    std::srand(seedWithKick(true));
    kickRandomTile(*once);
    float sum = 0;
    for (auto& column : once->tileHeights) {
        for (float h : column) {
            sum += h;
        }
    }
    EXPECT_EQ(sum, static_cast<float>(0.0 + 0.01));
}

TEST(Mosaic, FaceNormalsFollowTheSlopeAndTheFarEdgesStayUpright) {
    auto m = freshMosaic();
    m->tileHeights[10][10] = 0.03f; // one raised point
    computeFaceNormals(*m);
    const auto& g = m->gridNormals;
    // Falling away to the east and north from the raised point: the normal leans that way.
    EXPECT_GT(g[10][10].x, 0.0f);
    EXPECT_GT(g[10][10].y, 0.0f);
    // Rising towards it from the west and south.
    EXPECT_LT(g[9][10].x, 0.0f);
    EXPECT_EQ(g[9][10].y, 0.0f);
    EXPECT_LT(g[10][9].y, 0.0f);
    EXPECT_EQ(g[10][9].x, 0.0f);
    for (int i = 0; i < gridColumns; ++i) {
        for (int j = 0; j < gridRows; ++j) {
            EXPECT_NEAR(length(g[i][j]), 1.0, 1e-6);
        }
    }
    // Heights beyond the grid count as 0: a raised edge point falls away outwards just as a
    // lone raised point inside the grid does.
    m->tileHeights[10][10] = 0.5f;
    m->tileHeights[40][5] = 0.5f;
    m->tileHeights[5][30] = 0.5f;
    computeFaceNormals(*m);
    for (const Vector3 edge : {g[40][5], g[5][30]}) {
        EXPECT_EQ(edge.x, g[10][10].x);
        EXPECT_EQ(edge.y, g[10][10].y);
        EXPECT_EQ(edge.z, g[10][10].z);
    }
}

TEST(Mosaic, SmoothingAveragesTheFourSurroundingFacesWithoutRenormalizing) {
    auto m = freshMosaic();
    m->tileHeights[20][15] = 0.05f;
    computeFaceNormals(*m);
    const Vector3 faceAtOrigin = m->gridNormals[0][7];
    const Vector3 east = m->gridNormals[20][15], west = m->gridNormals[19][15];
    const Vector3 south = m->gridNormals[20][14];
    smoothNormals(*m);
    const auto& g = m->gridNormals;
    // At the raised point the average takes the faces east, west, south and south-west of it
    // (the last one flat)...
    const Vector3 top = g[20][15];
    EXPECT_FLOAT_EQ(top.x, 0.25f * (east.x + west.x));
    EXPECT_FLOAT_EQ(top.y, 0.25f * (east.y + south.y));
    // ...and an average of tilted unit normals is shorter than 1.
    EXPECT_LT(length(top), 0.999);
    // Around it the vertex normals lean away from the peak.
    EXPECT_GT(g[21][15].x, 0.0f);
    EXPECT_LT(g[19][15].x, 0.0f);
    EXPECT_GT(g[20][16].y, 0.0f);
    EXPECT_LT(g[20][14].y, 0.0f);
    // Row and column 0 keep their face normals.
    EXPECT_EQ(g[0][7].z, faceAtOrigin.z);
    EXPECT_EQ(length(g[0][7]), length(faceAtOrigin));
}

TEST(Mosaic, HeightsDecayByOnePercentAFrameAwayFromTheWanderer) {
    auto m = freshMosaic();
    pinWanderer(*m, {100, 100, 0});
    m->tileHeights[5][5] = 0.01f;
    int frames = 0;
    while (m->tileHeights[5][5] >= 0.0001f && frames < 1000) {
        updateHeights(*m);
        ++frames;
    }
    EXPECT_EQ(frames, 459);
    for (int i = 0; i < gridColumns; ++i) {
        for (int j = 0; j < gridRows; ++j) {
            if (i != 5 || j != 5) {
                EXPECT_EQ(m->tileHeights[i][j], 0.0f);
            }
        }
    }
}

TEST(Mosaic, PointsNearTheWandererGainWithAChanceOfOneMinusTwiceTheDistance) {
    const Vector3 wanderer = gridPointPosition(20, 15);
    const int trials = 3000;
    static int hits[gridColumns][gridRows];
    std::memset(hits, 0, sizeof hits);
    auto m = freshMosaic();
    std::srand(7);
    for (int n = 0; n < trials; ++n) {
        *m = Mosaic();
        pinWanderer(*m, wanderer);
        updateHeights(*m);
        for (int i = 0; i < gridColumns; ++i) {
            for (int j = 0; j < gridRows; ++j) {
                if (m->tileHeights[i][j] != 0) {
                    ASSERT_EQ(m->tileHeights[i][j], static_cast<float>(0.0 + 0.01));
                    ++hits[i][j];
                }
            }
        }
    }
    for (int i = 0; i < gridColumns; ++i) {
        for (int j = 0; j < gridRows; ++j) {
            const double e = length(wanderer - gridPointPosition(i, j));
            const double chance = static_cast<double>(hits[i][j]) / trials;
            if (e >= 0.5 || i >= 39 || j >= 29) {
                EXPECT_EQ(hits[i][j], 0) << i << "," << j;
            } else {
                EXPECT_NEAR(chance, 1 - 2 * e, 0.035) << i << "," << j;
            }
        }
    }
}

TEST(Mosaic, FarColumnsAndRowsNeverLift) {
    auto m = freshMosaic();
    std::srand(3);
    for (int frame = 0; frame < 600; ++frame) {
        pinWanderer(*m, {1.95f, 1.45f, 0}); // the top-right corner
        stepMosaic(*m);
    }
    for (int k = 0; k < gridRows; ++k) {
        EXPECT_EQ(m->tileHeights[39][k], 0.0f);
        EXPECT_EQ(m->tileHeights[40][k], 0.0f);
    }
    for (int k = 0; k < gridColumns; ++k) {
        EXPECT_EQ(m->tileHeights[k][29], 0.0f);
        EXPECT_EQ(m->tileHeights[k][30], 0.0f);
    }
    EXPECT_GT(m->tileHeights[38][28], 0.5f);
}

TEST(Mosaic, WandererStartsFromRestAndWalksADampedRandomPath) {
    std::srand(11);
    double draws[6];
    for (double& d : draws) {
        d = randomOffsetFrom(std::rand());
    }
    std::srand(11);
    auto m = freshMosaic();
    const Vector3& p = m->wandererPosition;
    const Vector3& v = m->wandererVelocity;
    const Vector3& d = m->wandererDrift;

    // Frame 1: only the drift moves; y is drawn first.
    stepWanderer(*m);
    EXPECT_EQ(p.x, 0.0f);
    EXPECT_EQ(v.x, 0.0f);
    const float d1x = static_cast<float>(draws[1]) * 0.1f * 0.99f;
    const float d1y = static_cast<float>(draws[0]) * 0.1f * 0.99f;
    EXPECT_FLOAT_EQ(d.x, d1x);
    EXPECT_FLOAT_EQ(d.y, d1y);

    // Frame 2: the velocity picks up the drift; the position has not moved yet.
    stepWanderer(*m);
    const float v2x = d1x * 0.1f * 0.98f, v2y = d1y * 0.1f * 0.98f;
    const float d2x = (d1x + static_cast<float>(draws[3]) * 0.1f) * 0.99f;
    const float d2y = (d1y + static_cast<float>(draws[2]) * 0.1f) * 0.99f;
    EXPECT_EQ(p.x, 0.0f);
    EXPECT_EQ(p.y, 0.0f);
    EXPECT_FLOAT_EQ(v.x, v2x);
    EXPECT_FLOAT_EQ(v.y, v2y);
    EXPECT_FLOAT_EQ(d.x, d2x);
    EXPECT_FLOAT_EQ(d.y, d2y);

    // Frame 3: the position moves, and the pull towards the centre uses the moved position.
    stepWanderer(*m);
    const float p3x = v2x * 0.01f, p3y = v2y * 0.01f;
    EXPECT_FLOAT_EQ(p.x, p3x);
    EXPECT_FLOAT_EQ(p.y, p3y);
    EXPECT_FLOAT_EQ(v.x, (v2x + d2x * 0.1f) * 0.98f);
    EXPECT_FLOAT_EQ(d.x, (d2x + static_cast<float>(draws[5] - 0.01 * p3x) * 0.1f) * 0.99f);
    EXPECT_FLOAT_EQ(d.y, (d2y + static_cast<float>(draws[4] - 0.01 * p3y) * 0.1f) * 0.99f);
    EXPECT_EQ(p.z, 0.0f);
    EXPECT_EQ(v.z, 0.0f);
    EXPECT_EQ(d.z, 0.0f);
}

TEST(Mosaic, AStepDrawsOneKickValueTwoMoreOnAKickThenOnePerUpdatedPointAndTwo) {
    for (bool kick : {false, true}) {
        const unsigned seed = seedWithKick(kick);
        std::srand(seed);
        auto m = freshMosaic();
        stepMosaic(*m);
        const int next[3] = {std::rand(), std::rand(), std::rand()};

        const int expectedDraws = 1 + (kick ? 2 : 0) + 39 * 29 + 2;
        std::srand(seed);
        for (int n = 0; n < expectedDraws; ++n) {
            std::rand();
        }
        for (int value : next) {
            EXPECT_EQ(value, std::rand()) << (kick ? "with" : "without") << " a kick";
        }
    }
}

// A straightforward second rendering of the simulation rules, with the precision written out:
// single-precision state, the decay and bumps in double, the 0.01 pull in double.
struct ReferenceMosaic {
    float h[41][31] = {};
    float px = 0, py = 0, vx = 0, vy = 0, dx = 0, dy = 0;

    static double offset() { return (std::rand() % 1000) * 0.001 - 0.5; }

    void frame() {
        if (std::rand() % 100 < 10) {
            const int i = 15 + std::rand() % 10;
            const int j = 10 + std::rand() % 10;
            h[i][j] = static_cast<float>(static_cast<double>(h[i][j]) + 0.01);
        }
        for (int i = 0; i <= 38; ++i) {
            for (int j = 0; j <= 28; ++j) {
                h[i][j] = static_cast<float>(static_cast<double>(h[i][j]) * 0.99);
                const float gx = 4.0f * (i * 0.025f) - 2.0f;
                const float gy = 3.0f * (j * (1.0f / 30.0f)) - 1.5f;
                const float ex = px - gx, ey = py - gy;
                const double d =
                    2.0 * std::sqrt(static_cast<double>(ex) * ex + static_cast<double>(ey) * ey);
                if (offset() + 0.5 > d) {
                    h[i][j] = static_cast<float>(static_cast<double>(h[i][j]) + 0.01);
                }
            }
        }
        px += vx * 0.01f;
        py += vy * 0.01f;
        vx = (vx + dx * 0.1f) * 0.98f;
        vy = (vy + dy * 0.1f) * 0.98f;
        const double ry = offset();
        const double rx = offset();
        dx = (dx + static_cast<float>(rx - 0.01 * px) * 0.1f) * 0.99f;
        dy = (dy + static_cast<float>(ry - 0.01 * py) * 0.1f) * 0.99f;
    }
};

TEST(Mosaic, AFixedSeedGivesTheSameHeightsAsASecondRenderingOfTheRules) {
    const unsigned seed = 20261208;
    std::srand(seed);
    auto m = freshMosaic();
    int lifted = 0;
    for (int frame = 0; frame < 1000; ++frame) {
        stepMosaic(*m);
    }
    std::srand(seed);
    auto reference = std::make_unique<ReferenceMosaic>();
    for (int frame = 0; frame < 1000; ++frame) {
        reference->frame();
    }
    for (int i = 0; i < gridColumns; ++i) {
        for (int j = 0; j < gridRows; ++j) {
            ASSERT_EQ(m->tileHeights[i][j], reference->h[i][j]) << i << "," << j;
            lifted += m->tileHeights[i][j] > 0.01f;
        }
    }
    EXPECT_EQ(m->wandererPosition.x, reference->px);
    EXPECT_EQ(m->wandererPosition.y, reference->py);
    EXPECT_EQ(m->wandererDrift.x, reference->dx);
    EXPECT_GT(lifted, 20); // the run did disturb the mosaic
}

TEST(Mosaic, TilesCoverTheScreenEdgeToEdgeWithTheTextureMatchingAcrossSeams) {
    auto m = freshMosaic();
    std::srand(seedWithKick(false));
    mosaicBeforeDraw(*m);
    float minX = 9, maxX = -9, minY = 9, maxY = -9, minT = 9, maxT = -9;
    for (int i = 0; i < tileColumns; ++i) {
        for (int j = 0; j < tileRows; ++j) {
            const TilePlacement tile = placeTile(*m, i, j);
            EXPECT_EQ(tile.angle, 0.0f);
            for (const TileCorner& c : tile.corners) {
                const Vector3 world = tile.centre + c.vertex;
                minX = std::fmin(minX, world.x);
                maxX = std::fmax(maxX, world.x);
                minY = std::fmin(minY, world.y);
                maxY = std::fmax(maxY, world.y);
                minT = std::fmin(minT, c.t);
                maxT = std::fmax(maxT, c.t);
                // Flat tiles show the picture where it lies: s and t follow x and y.
                EXPECT_NEAR(c.s, (world.x + 2) / 4, 1e-6);
                EXPECT_NEAR(c.t, 0.25 + 0.75 * (world.y + 1.5) / 3, 1e-6);
                EXPECT_EQ(c.vertex.z, 0.0f);
            }
            // Counter-clockwise from the lower left, as seen from the viewer.
            const Vector3 a = tile.corners[1].vertex - tile.corners[0].vertex;
            const Vector3 b = tile.corners[2].vertex - tile.corners[1].vertex;
            EXPECT_GT(cross(a, b).z, 0.0f);
            if (i + 1 < tileColumns) { // the right edge meets the next tile's left edge
                const TilePlacement next = placeTile(*m, i + 1, j);
                EXPECT_NEAR((tile.centre + tile.corners[1].vertex).x,
                            (next.centre + next.corners[0].vertex).x, 1e-6);
                EXPECT_NEAR(tile.corners[1].s, next.corners[0].s, 1e-6);
            }
        }
    }
    EXPECT_NEAR(minX, -2, 1e-6);
    EXPECT_NEAR(maxX, 2, 1e-6);
    EXPECT_NEAR(minY, -1.5, 1e-6);
    EXPECT_NEAR(maxY, 1.5, 1e-6);
    EXPECT_NEAR(minT, 0.25, 1e-6);
    EXPECT_NEAR(maxT, 1, 1e-6);
}

TEST(Mosaic, ATileTurnsTenDegreesPerHundredthOfHeightAboutAnAxisLeaningWithItsPlace) {
    auto m = freshMosaic();
    m->tileHeights[20][15] = 0.01f;
    m->tileHeights[21][16] = 0.02f;
    m->gridNormals[21][16] = {0.1f, 0.2f, 0.9f};
    const TilePlacement tile = placeTile(*m, 20, 15);
    EXPECT_FLOAT_EQ(tile.angle, 10);
    // Vertical at the centre of the mosaic, leaning towards the edges.
    EXPECT_NEAR(tile.axis.x, 0, 1e-6);
    EXPECT_NEAR(tile.axis.z, 0, 1e-6);
    EXPECT_FLOAT_EQ(tile.axis.y, 0.2f);
    const TilePlacement corner = placeTile(*m, 0, 29);
    EXPECT_FLOAT_EQ(corner.axis.x, -0.5f);
    EXPECT_NEAR(corner.axis.z, 29.0 / 30 - 0.5, 1e-6);
    // Each corner takes the lift and normal of its own grid point.
    EXPECT_EQ(tile.corners[0].vertex.z, 0.01f);
    EXPECT_EQ(tile.corners[2].vertex.z, 0.02f);
    EXPECT_EQ(tile.corners[2].normal.y, 0.2f);
    EXPECT_EQ(tile.corners[1].vertex.z, 0.0f);
}

TEST(Mosaic, PlacedInTheWorldAFlatTileIsOnlyMovedAndATurnedOneKeepsItsShapeAndLight) {
    auto m = freshMosaic();
    m->gridNormals[3][4] = {0.1f, 0.2f, 0.9f};
    const TilePlacement flat = placeTile(*m, 3, 4);
    TileCorner world[4];
    placeCornersInWorld(flat, world);
    for (int n = 0; n < 4; ++n) {
        EXPECT_EQ(world[n].vertex.x, flat.centre.x + flat.corners[n].vertex.x);
        EXPECT_EQ(world[n].vertex.y, flat.centre.y + flat.corners[n].vertex.y);
        EXPECT_EQ(world[n].normal.z, flat.corners[n].normal.z);
        EXPECT_EQ(world[n].s, flat.corners[n].s);
        EXPECT_EQ(world[n].t, flat.corners[n].t);
    }

    // A quarter turn about an axis of any length along z: x goes to y, y to -x.
    TilePlacement turned = flat;
    turned.angle = 90;
    turned.axis = {0, 0, 3};
    placeCornersInWorld(turned, world);
    for (int n = 0; n < 4; ++n) {
        const Vector3& v = flat.corners[n].vertex;
        EXPECT_NEAR(world[n].vertex.x, flat.centre.x - v.y, 1e-6);
        EXPECT_NEAR(world[n].vertex.y, flat.centre.y + v.x, 1e-6);
        EXPECT_NEAR(world[n].vertex.z, v.z, 1e-6);
    }
    EXPECT_NEAR(world[0].normal.x, -0.2f, 1e-6);
    EXPECT_NEAR(world[0].normal.y, 0.1f, 1e-6);

    // Any turn keeps the edges' lengths and the normals' lengths, which light the tile.
    turned.angle = 137;
    turned.axis = {-0.3f, 0.2f, 0.15f};
    placeCornersInWorld(turned, world);
    const auto length = [](Vector3 a) { return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z); };
    const auto edge = [](Vector3 a, Vector3 b) { return Vector3{a.x - b.x, a.y - b.y, a.z - b.z}; };
    for (int n = 0; n < 4; ++n) {
        const int next = (n + 1) % 4;
        EXPECT_NEAR(length(edge(world[next].vertex, world[n].vertex)),
                    length(edge(flat.corners[next].vertex, flat.corners[n].vertex)), 1e-6);
        EXPECT_NEAR(length(world[n].normal), length(flat.corners[n].normal), 1e-6);
    }
}

} // namespace
