#include "common/random_offset.h"

#include <cstdlib>

double randomOffset() {
    return randomOffsetFrom(std::rand());
}
