#include "saver/saver.h"

Saver::~Saver() {
    if (quadric != nullptr) {
        gluDeleteQuadric(quadric);
    }
    for (Owned<Texture>& texture : textures) {
        texture.reset();
    }
    datFile.reset();
}
