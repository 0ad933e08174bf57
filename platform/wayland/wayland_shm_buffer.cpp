#include "platform/wayland/wayland_shm_buffer.h"

#include "platform/exception.h"

#include <wayland-client.h>

#include <cerrno>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

WaylandShmBuffer::WaylandShmBuffer(wl_shm* shm, int width, int height, int stride, uint32_t format)
    : width(width), height(height), stride(stride) {
    if (shm == nullptr || width < 1 || height < 1 || width > maxSide || height > maxSide ||
        stride < width * 4 || stride > maxSide * 4)
        throw Exception("A picture of " + std::to_string(width) + " x " + std::to_string(height) +
                        " pixels (" + std::to_string(stride) + " bytes a row) is out of bounds");
    bytes = static_cast<size_t>(stride) * static_cast<size_t>(height);
    const int fd = memfd_create("kelvara-picture", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, static_cast<off_t>(bytes)) != 0) {
        const int error = errno;
        if (fd >= 0)
            close(fd);
        throw Exception(std::string("No shared memory for a picture: ") + std::strerror(error));
    }
    void* memory = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (memory == MAP_FAILED) {
        const int error = errno;
        close(fd);
        throw Exception(std::string("No shared memory for a picture: ") + std::strerror(error));
    }
    pixels = static_cast<uint8_t*>(memory);
    wl_shm_pool* pool = wl_shm_create_pool(shm, fd, static_cast<int32_t>(bytes));
    buffer = wl_shm_pool_create_buffer(pool, 0, width, height, stride, format);
    wl_shm_pool_destroy(pool); // the buffer keeps the memory
    close(fd);
}

WaylandShmBuffer::~WaylandShmBuffer() {
    if (buffer != nullptr)
        wl_buffer_destroy(buffer);
    if (pixels != nullptr)
        munmap(pixels, bytes);
}
