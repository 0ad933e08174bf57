// The contract between the shell and its one saver module: the two records that pass between
// them and the calls the module answers. The module (tarnwick_saver/) defines the calls; the
// shell builds the records (shell/saver_building.h).
#pragma once

#include "common/owned.h"
#include "platform/gl.h"

#include <cstdint>
#include <string>
#include <vector>

class Bitmap;
class DatFile;
class GLV;
class Texture;

// What the saver needs of the machine; the start-up checks compare against it.
struct SaverRequirements {
    int32_t minCpuMhz = 0;
    int32_t minRamMb = 0;
    int32_t minTextureSize = 0;
    int32_t minTextureUnits = 0;
    int32_t minPerformance = 0; // thousands of triangles per second
    std::vector<std::string> extensions;
};

// The context of one full-screen run, built by the shell once the start-up checks passed.
struct Saver {
    // Releases what it owns in the run's teardown order: the quadric, the textures from the
    // first, the data file. The GL context must still exist.
    ~Saver();

    std::vector<Owned<Texture>> textures;
    Bitmap* desktop = nullptr;     // the shell's
    GLV* view = nullptr;           // the shell's
    GLUquadric* quadric = nullptr; // the Saver's, released with it
    Owned<DatFile> datFile;        // none when the saver's data file is absent
    int32_t performance = 0;
};

// The saver module's answers.
std::string saverName();
bool saverNeedsDesktop();
bool saverHasSoundOption();
void saverRequirements(SaverRequirements& requirements);
bool saverHasCustomization();
void saverDefaultCustomization(std::vector<std::string>& lines);
void saverParseCustomization(const std::vector<std::string>& lines);
bool saverNeedsDataFile();
void saverSetup(Saver& saver);
int saverFrame(Saver& saver);
