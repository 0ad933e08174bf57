// Picture memory (allocatePixelMemory) on Linux: large allocations mapped on their own, aligned
// to a 2 MiB boundary and marked for transparent huge pages; small ones from the heap.
#include "platform/pixel_buffer.h"

#include <sys/mman.h>

#include <new>

namespace {

constexpr size_t largePage = size_t{2} << 20;
// Below this a picture is too small for large pages to matter.
constexpr size_t smallestMapped = size_t{1} << 20;

bool mapped(size_t bytes) {
#if defined(__SANITIZE_ADDRESS__)
    return false; // the sanitizer guards heap blocks only
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return false;
#endif
#endif
    return bytes >= smallestMapped;
}

size_t mappedLength(size_t bytes) {
    return (bytes + largePage - 1) / largePage * largePage;
}

} // namespace

void* allocatePixelMemory(size_t bytes) {
    if (!mapped(bytes)) {
        return ::operator new(bytes);
    }
    const size_t length = mappedLength(bytes);
    // One large page more than needed, so that an aligned start lies inside; the rest goes back.
    void* area = mmap(nullptr, length + largePage, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (area == MAP_FAILED) {
        throw std::bad_alloc();
    }
    char* const first = static_cast<char*>(area);
    const size_t head = (largePage - reinterpret_cast<uintptr_t>(first) % largePage) % largePage;
    char* const start = first + head;
    if (head != 0) {
        munmap(first, head);
    }
    munmap(start + length, largePage - head); // never empty: head is under one large page
    // Only a hint: without huge pages the memory is plain memory.
    madvise(start, length, MADV_HUGEPAGE);
    return start;
}

void releasePixelMemory(void* memory, size_t bytes) noexcept {
    if (memory == nullptr) {
        return;
    }
    if (!mapped(bytes)) {
        ::operator delete(memory);
        return;
    }
    munmap(memory, mappedLength(bytes));
}
