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

/* Connects to the user's own PipeWire daemon, opens the video stream of the node, and hands the
 * first frame that holds a picture to sink. Returns 1 once it has; else the reason in why and 0
 * when the stream fails or offers no format or memory this can read, -1 when it brings no picture
 * within timeoutMs. */
int pipewireReadFrame(uint32_t node, int timeoutMs, PipewireFrameSink sink, void* user, char* why,
                      size_t whySize);

#ifdef __cplusplus
}
#endif
