// Counts heap allocations made through operator new, so tests and benchmarks can show that a
// frame allocates nothing. Link kelvara_allocation_counter into the program to install it.
#pragma once

#include <cstdint>

// Allocations since the program started.
uint64_t allocationCount();
