// A picture in shared memory that the compositor reads (wl_shm), for what is not drawn with
// OpenGL: the black cover before the first frame, the start-up log, the screen copies.
#pragma once

#include <cstddef>
#include <cstdint>

struct wl_buffer;
struct wl_shm;

class WaylandShmBuffer {
public:
    // The largest side accepted from a compositor or asked of it: anything more is taken as
    // bad content rather than memory to hand out.
    static constexpr int maxSide = 16384;

    // width x height pixels of format (a wl_shm format with 4 bytes a pixel), rows of stride
    // bytes. Throws Exception on a size out of bounds or when the memory cannot be had.
    WaylandShmBuffer(wl_shm* shm, int width, int height, int stride, uint32_t format);
    ~WaylandShmBuffer();
    WaylandShmBuffer(const WaylandShmBuffer&) = delete;
    WaylandShmBuffer& operator=(const WaylandShmBuffer&) = delete;

    uint8_t* row(int y) { return pixels + static_cast<size_t>(stride) * y; }

    wl_buffer* buffer = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;

private:
    uint8_t* pixels = nullptr;
    size_t bytes = 0;
};
