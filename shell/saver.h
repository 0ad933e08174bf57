// The contract between the shell and its one saver module: the two records that pass between
// them and the calls the module answers. The module (tarnwick_saver/) defines the calls.
#pragma once

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
    std::vector<Texture*> textures; // owned
    Bitmap* desktop = nullptr;      // the shell's
    GLV* view = nullptr;            // the shell's
    GLUquadric* quadric = nullptr;  // owned
    DatFile* datFile = nullptr;     // owned; none when the saver's data file is absent
    int32_t performance = 0;
};

// Builds the run's Saver: seeds the random generator, creates the quadric and loads the data
// file named saverName() + ".dat" when it exists. Throws "Can't find <file>" when the saver
// needs that file and it is missing.
Saver* buildSaver(Bitmap* desktop, GLV* view, int32_t performance);
// The same with the data file's name and need given: what buildSaver does with
// saverName() + ".dat" and saverNeedsDataFile().
Saver* buildSaver(Bitmap* desktop, GLV* view, int32_t performance, const std::string& dataFile,
                  bool needsDataFile);
// Releases the quadric, the textures in order, the data file and the record; the GL context
// must still exist.
void destroySaver(Saver* saver);

// Raises what the saver asks to the shell's own floor: 2 texture units, a texture size of
// 512 and "GL_ARB_multitexture", added unless listed already in any case.
void adjustRequirements(SaverRequirements& requirements);

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
