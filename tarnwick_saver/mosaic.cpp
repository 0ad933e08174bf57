#include "tarnwick_saver/mosaic.h"

#include "common/random_offset.h"

#include <cmath>
#include <cstdlib>

// The decay and the bump of a height are worked in double precision and stored back as single;
// the look of the effect depends on exactly this rounding, so keep the double literals.
namespace {
constexpr double heightDecay = 0.99;
constexpr double heightBump = 0.01;

// Only tiles near the screen centre are kicked.
constexpr int kickChancePercent = 10;
constexpr int kickFirstColumn = 15;
constexpr int kickFirstRow = 10;
constexpr int kickSpan = 10;

// The last two columns and rows are never updated, so the right column and top row of tiles
// always lie flat.
constexpr int updatedColumns = gridColumns - 2;
constexpr int updatedRows = gridRows - 2;

void addBump(float& height) {
    height = static_cast<float>(height + heightBump);
}
} // namespace

void resetOnFirstFrame(Mosaic& mosaic) {
    if (!mosaic.firstFrame) {
        return;
    }
    mosaic.firstFrame = 0;
    for (auto& column : mosaic.tileHeights) {
        for (float& height : column) {
            height = 0;
        }
    }
}

void kickRandomTile(Mosaic& mosaic) {
    if (std::rand() % 100 >= kickChancePercent) {
        return;
    }
    const int i = kickFirstColumn + std::rand() % kickSpan;
    const int j = kickFirstRow + std::rand() % kickSpan;
    addBump(mosaic.tileHeights[i][j]);
}

void computeFaceNormals(Mosaic& mosaic) {
    const auto& h = mosaic.tileHeights;
    for (int i = 0; i < gridColumns; ++i) {
        for (int j = 0; j < gridRows; ++j) {
            // Beyond the grid the surface is flat at height 0.
            const float east = i + 1 < gridColumns ? h[i + 1][j] : 0.0f;
            const float north = j + 1 < gridRows ? h[i][j + 1] : 0.0f;
            const Vector3 along(acrossStep, 0, east - h[i][j]);
            const Vector3 up(0, upStep, north - h[i][j]);
            // The cross product's z is always acrossStep * upStep, so it never has zero length.
            mosaic.gridNormals[i][j] = normalized(cross(along, up));
        }
    }
}

void smoothNormals(Mosaic& mosaic) {
    auto& g = mosaic.gridNormals;
    auto& s = mosaic.smoothedNormals;
    // Into scratch first: every average must see the face normals, not earlier averages.
    for (int i = 1; i < gridColumns; ++i) {
        for (int j = 1; j < gridRows; ++j) {
            s[i][j] = (g[i][j] + g[i - 1][j] + g[i - 1][j - 1] + g[i][j - 1]) * 0.25f;
        }
    }
    for (int i = 1; i < gridColumns; ++i) {
        for (int j = 1; j < gridRows; ++j) {
            g[i][j] = s[i][j];
        }
    }
}

void updateHeights(Mosaic& mosaic) {
    for (int i = 0; i < updatedColumns; ++i) {
        for (int j = 0; j < updatedRows; ++j) {
            float& height = mosaic.tileHeights[i][j];
            height = static_cast<float>(height * heightDecay);
            // A point at distance e from the wanderer gains with a chance of about 1 - 2e.
            const double distance = 2 * length(mosaic.wandererPosition - gridPointPosition(i, j));
            const double chance = randomOffset() + 0.5;
            if (chance > distance) {
                addBump(height);
            }
        }
    }
}

void stepWanderer(Mosaic& mosaic) {
    Vector3& position = mosaic.wandererPosition;
    Vector3& velocity = mosaic.wandererVelocity;
    Vector3& drift = mosaic.wandererDrift;
    position += velocity * 0.01f;
    velocity += drift * 0.1f;
    velocity *= 0.98f;
    // y is drawn before x. The pull towards the centre is worked in double precision.
    const double ry = randomOffset();
    const double rx = randomOffset();
    const Vector3 push(static_cast<float>(rx - 0.01 * position.x),
                       static_cast<float>(ry - 0.01 * position.y), 0);
    drift += push * 0.1f;
    drift *= 0.99f;
}

void mosaicBeforeDraw(Mosaic& mosaic) {
    resetOnFirstFrame(mosaic);
    kickRandomTile(mosaic);
    computeFaceNormals(mosaic);
    smoothNormals(mosaic);
}

void mosaicAfterDraw(Mosaic& mosaic) {
    updateHeights(mosaic);
    stepWanderer(mosaic);
}

void placeCornersInWorld(const TilePlacement& tile, TileCorner (&world)[4]) {
    // The rotation matrix glRotatef makes: about the normalized axis, the angle in degrees.
    const Vector3& a = tile.axis;
    const float length = std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
    float r[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    if (tile.angle != 0 && length > 0) {
        const float x = a.x / length, y = a.y / length, z = a.z / length;
        const double radians = tile.angle * (3.14159265358979323846 / 180);
        const float s = static_cast<float>(std::sin(radians));
        const float c = static_cast<float>(std::cos(radians));
        const float k = 1 - c;
        r[0][0] = x * x * k + c;
        r[0][1] = x * y * k - z * s;
        r[0][2] = x * z * k + y * s;
        r[1][0] = y * x * k + z * s;
        r[1][1] = y * y * k + c;
        r[1][2] = y * z * k - x * s;
        r[2][0] = z * x * k - y * s;
        r[2][1] = z * y * k + x * s;
        r[2][2] = z * z * k + c;
    }
    const auto turn = [&r](const Vector3& v) {
        return Vector3{r[0][0] * v.x + r[0][1] * v.y + r[0][2] * v.z,
                       r[1][0] * v.x + r[1][1] * v.y + r[1][2] * v.z,
                       r[2][0] * v.x + r[2][1] * v.y + r[2][2] * v.z};
    };
    for (int n = 0; n < 4; ++n) {
        const TileCorner& corner = tile.corners[n];
        const Vector3 turned = turn(corner.vertex);
        world[n].s = corner.s;
        world[n].t = corner.t;
        // A rotation is its own inverse transpose, so normals turn with the vertices.
        world[n].normal = turn(corner.normal);
        world[n].vertex = {tile.centre.x + turned.x, tile.centre.y + turned.y,
                           tile.centre.z + turned.z};
    }
}
