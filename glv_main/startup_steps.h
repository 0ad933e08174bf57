// The start-up's pieces: the machine services it calls, the arithmetic of its measurements and
// the whole sequence over those services, so that tests can run it without a display or GL.
#pragma once

#include "glv_main/glv_main.h"
#include "glv_main/startup_log.h"
#include "platform/display_modes.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The services the start-up calls; platformStartupSteps() gives the real ones.
struct StartupSteps {
    std::function<bool(int, SystemDisplayMode&)> enumMode;
    std::function<int(const SystemDisplayMode&)> changeMode;
    // Constructs the view on the form (may throw Exception).
    std::function<std::unique_ptr<GLV>(FormWindow&)> createView;
    std::function<uint64_t()> cycleCounter;
    std::function<void(uint32_t)> sleep;
    std::function<uint64_t()> physicalMemory;
    std::function<int32_t()> maxTextureSize;
    std::function<int32_t()> textureUnits;
    // Draws the 10,000 test triangles into the back buffer and waits until they are done.
    std::function<void()> triangleTest;
    // Standard error.
    std::function<void(const std::string&)> warn;
};

StartupSteps platformStartupSteps();

// Looks mode up among the enumerated modes in three passes (all four numbers; then without the
// refresh rate, which becomes 60; then the size alone, taking the mode's depth and 60 Hz).
// Adjusts mode and returns the matched system mode; false when no pass matches.
bool findDisplayMode(const std::function<bool(int, SystemDisplayMode&)>& enumerate,
                     DisplayMode& mode, SystemDisplayMode& found);

// The clock in MHz from the cycles counted over one second, as a multiple of 10.
uint64_t clockMhz(uint64_t cycles);
// The memory figure in "Mb" from the physical memory in bytes.
int32_t memoryFigure(uint64_t totalPhysicalBytes);
// Thousands of triangles per second for 10,000 triangles drawn in cycles at mhz; throws
// Exception when the clock or the time is too small to measure.
int32_t trianglesPerSecond(uint64_t cycles, uint64_t mhz);

// The names of an extension string: cut at every space; the piece after the last space counts
// only when it is not empty.
std::vector<std::string> splitExtensions(const char* extensions);
// Extension names compare without regard to letter case.
bool sameExtensionName(const std::string& a, const std::string& b);

// The whole start-up over steps, writing into log; InitGraphics with injected services.
int runStartup(std::unique_ptr<GLV>* view, FormWindow& form, const SaverRequirements& requirements,
               DisplayMode& mode, int32_t* performance, bool ignoreRequirements,
               const StartupSteps& steps, StartupLog& log);
