// Tarnwick: the captured desktop as a mosaic of 40 x 30 lit tiles that lift, twist and spin
// wherever an invisible wanderer passes, and settle back slowly. The simulation lives in
// mosaic.cpp; this unit answers the shell's contract and sends the tiles to OpenGL.
#include "tarnwick_saver/tarnwick_saver.h"

#include "glv_main/glv_main.h"
#include "platform/exception.h"
#include "platform/gl.h"
#include "saver/saver.h"
#include "texture/texture.h"

#include <memory>

namespace {
// The effect's state, one per process; nothing resets it while the process runs.
Mosaic theMosaic;

// The eye sits where the 4 x 3 mosaic just fills a 4:3 screen under a 50 degree field of view.
constexpr double eyeDistance = 3.22;
// A point light behind the eye, so flat tiles are fully lit.
constexpr GLfloat lightPosition[] = {0, 0, 5, 1};
} // namespace

std::string saverName() {
    return "Tarnwick";
}
bool saverNeedsDesktop() {
    return true;
}
bool saverHasSoundOption() {
    return false;
}
bool saverHasCustomization() {
    return false;
}
bool saverNeedsDataFile() {
    return false;
}
void saverRequirements(SaverRequirements& r) {
    r.minCpuMhz = 300;
    r.minRamMb = 50;
    r.minTextureSize = 1024;
    r.minTextureUnits = 1;
    r.minPerformance = 1000;
}
void saverDefaultCustomization(std::vector<std::string>& lines) {
    lines.clear();
}
// The effect has no settings; lines starting with "//" are comments, and nothing else is read.
void saverParseCustomization(const std::vector<std::string>&) {}

void saverSetup(Saver& saver) {
    if (!saver.desktop) {
        throw Exception("No desktop picture to show");
    }
    saver.textures.push_back(makeOwned<Texture>(*saver.desktop, false, 0));
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_COLOR_MATERIAL);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
}

int saverFrame(Saver& saver) {
    if (saver.textures.empty() || !saver.view) {
        throw Exception("The mosaic has no desktop texture or view");
    }
    drawMosaicFrame(theMosaic, *saver.textures.front());
    return saver.view->Swap();
}

void drawMosaicFrame(Mosaic& mosaic, Texture& desktop) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    gluLookAt(0, 0, eyeDistance, 0, 0, 0, 0, 1, 0);
    glDisable(GL_BLEND);
    // After the view transform, so the light stays put in the world.
    glLightfv(GL_LIGHT0, GL_POSITION, lightPosition);
    desktop.Bind();
    // White through colour material, so GL_MODULATE shows the texture as lit.
    glColor4f(1, 1, 1, 1);
    mosaicBeforeDraw(mosaic);
    drawTiles(mosaic);
    mosaicAfterDraw(mosaic);
}

void drawTiles(const Mosaic& mosaic) {
    glBegin(GL_QUADS);
    for (int i = 0; i < tileColumns; ++i) {
        for (int j = 0; j < tileRows; ++j) {
            TileCorner corners[4];
            placeCornersInWorld(placeTile(mosaic, i, j), corners);
            for (const TileCorner& corner : corners) {
                glTexCoord2f(corner.s, corner.t);
                glNormal3f(corner.normal.x, corner.normal.y, corner.normal.z);
                glVertex3f(corner.vertex.x, corner.vertex.y, corner.vertex.z);
            }
        }
    }
    glEnd();
}
