#include "shell/saver_building.h"

#include "datfile/datfile.h"
#include "platform/exception.h"
#include "shell/command_line.h"
#include "texture/texture.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>

Saver* buildSaver(Bitmap* desktop, GLV* view, int32_t performance) {
    return buildSaver(desktop, view, performance, saverName() + ".dat", saverNeedsDataFile());
}

Saver* buildSaver(Bitmap* desktop, GLV* view, int32_t performance, const std::string& dataFile,
                  bool needsDataFile) {
    auto saver = std::make_unique<Saver>();
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    saver->view = view;
    saver->desktop = desktop;
    saver->quadric = gluNewQuadric();
    saver->performance = performance;
    try {
        std::error_code error;
        if (std::filesystem::is_regular_file(dataFile, error)) {
            saver->datFile = new DatFile(dataFile);
        } else if (needsDataFile) {
            throw Exception("Can't find " + dataFile);
        }
    } catch (...) {
        destroySaver(saver.release());
        throw;
    }
    return saver.release();
}

void destroySaver(Saver* saver) {
    if (saver == nullptr) {
        return;
    }
    if (saver->quadric != nullptr) {
        gluDeleteQuadric(saver->quadric);
    }
    for (Texture* texture : saver->textures) {
        delete texture;
    }
    delete saver->datFile;
    saver->textures.clear();
    saver->textures.shrink_to_fit();
    delete saver;
}

void adjustRequirements(SaverRequirements& requirements) {
    requirements.minTextureUnits = std::max(requirements.minTextureUnits, 2);
    requirements.minTextureSize = std::max(requirements.minTextureSize, 512);
    const std::string multitexture = "GL_ARB_multitexture";
    const bool listed = std::any_of(
        requirements.extensions.begin(), requirements.extensions.end(),
        [&](const std::string& name) { return lowerCase(name) == lowerCase(multitexture); });
    if (!listed) {
        requirements.extensions.push_back(multitexture);
    }
}
