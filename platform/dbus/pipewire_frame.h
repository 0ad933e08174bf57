/* One frame of a PipeWire video stream, read in C: PipeWire's headers build their parameters
 * with C idioms that C++ does not have, so they stay in pipewire_frame.c, and C++ sees only
 * this. */
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A frame as the stream delivered it, every figure unchecked: the reader of the pixels
 * (video_frame.h) checks each against the buffer's size. */
struct PipewireFrame {
    const uint8_t* bytes; /* the buffer's memory, mapped */
    size_t byteCount;     /* its size: nothing outside it may be read */
    uint32_t offset;      /* where the first row starts in it */
    int32_t stride;       /* bytes from one row to the next */
    uint32_t width;       /* the stream's size */
    uint32_t height;
    int32_t cropX; /* the part that shows the picture; cropWidth 0 without a crop */
    int32_t cropY;
    uint32_t cropWidth;
    uint32_t cropHeight;
    /* where red, green and blue sit in each 4-byte pixel */
    int redByte;
    int greenByte;
    int blueByte;
};

/* Takes the frame while the buffer is still the reader's; called once at most. */
typedef void (*PipewireFrameSink)(void* user, const struct PipewireFrame* frame);

/* Connects to PipeWire (through fd when it is not negative, which is then PipeWire's to close;
 * else the user's own PipeWire daemon), opens the video stream of the node, and hands the first
 * frame that holds a picture to sink. Returns 1 once it has; else 0 with the reason in why,
 * when the stream fails, offers no format or memory this can read, or brings no picture within
 * timeoutMs. */
int pipewireReadFrame(int fd, uint32_t node, int timeoutMs, PipewireFrameSink sink, void* user,
                      char* why, size_t whySize);

#ifdef __cplusplus
}
#endif
