// The memory of pictures. A screen-sized picture is megabytes, written soon after it is asked
// for; where the system offers large pages it comes in those, because touching fresh memory one
// small page at a time costs more than filling it (about 20 ms for a 1920 x 1080 capture on a
// virtual machine, against 5 ms in large pages).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Memory for bytes of pixels; throws std::bad_alloc. Released with the same size.
void* allocatePixelMemory(size_t bytes);
void releasePixelMemory(void* memory, size_t bytes) noexcept;

template <class T> struct PixelAllocator {
    using value_type = T;

    PixelAllocator() = default;
    template <class U> PixelAllocator(const PixelAllocator<U>&) noexcept {}

    T* allocate(size_t count) { return static_cast<T*>(allocatePixelMemory(count * sizeof(T))); }
    void deallocate(T* memory, size_t count) noexcept {
        releasePixelMemory(memory, count * sizeof(T));
    }
    template <class U> bool operator==(const PixelAllocator<U>&) const noexcept { return true; }
};

using PixelBuffer = std::vector<uint8_t, PixelAllocator<uint8_t>>;
