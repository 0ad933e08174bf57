// Placeholder until the effect lands: the contract answers with an empty set-up and frame.
#include "shell/saver.h"

std::string saverName() { return "Tarnwick"; }
bool saverNeedsDesktop() { return true; }
bool saverHasSoundOption() { return false; }
bool saverHasCustomization() { return false; }
bool saverNeedsDataFile() { return false; }
void saverRequirements(SaverRequirements& r) {
    r.minCpuMhz = 300;
    r.minRamMb = 50;
    r.minTextureSize = 1024;
    r.minTextureUnits = 1;
    r.minPerformance = 1000;
}
void saverDefaultCustomization(std::vector<std::string>& lines) { lines.clear(); }
void saverParseCustomization(const std::vector<std::string>&) {}
void saverSetup(Saver&) {}
int saverFrame(Saver&) { return 1; }
