// A centred random value from the standard generator, which the shell and the intro seed.
#pragma once

// One of the 1000 values -0.5, -0.499, ..., 0.499, from the next rand() value.
double randomOffset();

// The reduction alone, so it can be checked for any generator value.
inline double randomOffsetFrom(int generatorValue) {
    return (generatorValue % 1000) * 0.001 - 0.5;
}
