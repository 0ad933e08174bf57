// The shell's side of the saver contract: building and tearing down the run's Saver, and the
// floor it puts under what the saver asks of the machine.
#pragma once

#include "saver/saver.h"

#include <cstdint>
#include <memory>
#include <string>

// Builds the run's Saver: seeds the random generator, creates the quadric and loads the data
// file named saverName() + ".dat" when it exists. Throws "Can't find <file>" when the saver
// needs that file and it is missing.
std::unique_ptr<Saver> buildSaver(Bitmap* desktop, GLV* view, int32_t performance);
// The same with the data file's name and need given: what buildSaver does with
// saverName() + ".dat" and saverNeedsDataFile().
std::unique_ptr<Saver> buildSaver(Bitmap* desktop, GLV* view, int32_t performance,
                                  const std::string& dataFile, bool needsDataFile);

// Raises what the saver asks to the shell's own floor: 2 texture units, a texture size of
// 512 and "GL_ARB_multitexture", added unless listed already in any case.
void adjustRequirements(SaverRequirements& requirements);
