// Picture memory (allocatePixelMemory) on Windows: the heap. Large pages there need a privilege
// that ordinary users lack.
#include "platform/pixel_buffer.h"

#include <new>

void* allocatePixelMemory(size_t bytes) {
    return ::operator new(bytes);
}

void releasePixelMemory(void* memory, size_t) noexcept {
    ::operator delete(memory);
}
