#include "shell/saver_building.h"

#include "datfile/datfile.h"
#include "platform/ascii_text.h"
#include "platform/exception.h"
#include "shell/command_line.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>

std::unique_ptr<Saver> buildSaver(Bitmap* desktop, GLV* view, int32_t performance) {
    return buildSaver(desktop, view, performance, saverName() + ".dat", saverNeedsDataFile());
}

std::unique_ptr<Saver> buildSaver(Bitmap* desktop, GLV* view, int32_t performance,
                                  const std::string& dataFile, bool needsDataFile) {
    auto saver = std::make_unique<Saver>();
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    saver->view = view;
    saver->desktop = desktop;
    saver->quadric = gluNewQuadric();
    saver->performance = performance;
    std::error_code error;
    if (std::filesystem::is_regular_file(dataFile, error)) {
        saver->datFile = makeOwned<DatFile>(dataFile);
    } else if (needsDataFile) {
        throw Exception("Can't find " + dataFile);
    }
    return saver;
}

void adjustRequirements(SaverRequirements& requirements) {
    requirements.minTextureUnits = std::max(requirements.minTextureUnits, 2);
    requirements.minTextureSize = std::max(requirements.minTextureSize, 512);
    const std::string multitexture = "GL_ARB_multitexture";
    const bool listed = std::any_of(
        requirements.extensions.begin(), requirements.extensions.end(),
        [&](const std::string& name) { return asciiLower(name) == asciiLower(multitexture); });
    if (!listed) {
        requirements.extensions.push_back(multitexture);
    }
}
