/* One frame from a PipeWire video stream: the stream asks for raw 8-bit RGB formats in shared
 * memory (memfd or plain memory, never GPU buffers), with the crop of the picture, and ends at
 * the first buffer that holds a picture. */
#include "platform/dbus/pipewire_frame.h"

/* PipeWire's macros are GNU C (statement expressions, empty initializers), which clang names
 * under -Wpedantic even where they come from the system's headers; this file alone uses them. */
#ifdef __clang__
#pragma clang diagnostic ignored "-Wunknown-warning-option"
#pragma clang diagnostic ignored "-Wgnu-statement-expression"
#pragma clang diagnostic ignored "-Wgnu-statement-expression-from-macro-expansion"
#pragma clang diagnostic ignored "-Wgnu-empty-initializer"
#endif

#include <pipewire/pipewire.h>
#include <spa/buffer/meta.h>
#include <spa/param/format-utils.h>
#include <spa/param/video/format-utils.h>
#include <spa/utils/result.h>

#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <time.h>

struct Reader {
    struct pw_loop* loop;
    struct pw_context* context;
    struct pw_core* core;
    struct spa_hook coreListener;
    struct pw_stream* stream;
    struct spa_hook streamListener;
    struct spa_video_info_raw format;
    int formatKnown;
    int done;
    int failed;
    int late; /* failed for want of a picture in time */
    char* why;
    size_t whySize;
    PipewireFrameSink sink;
    void* user;
};

static void fail(struct Reader* reader, const char* format, ...) {
    if (reader->failed || reader->done)
        return;
    reader->failed = 1;
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(reader->why, reader->whySize, format, arguments);
    va_end(arguments);
}

/* Where red, green and blue sit in a pixel of the format; 0 for a format this does not read. */
static int byteOrder(uint32_t format, int* red, int* green, int* blue) {
    switch (format) {
    case SPA_VIDEO_FORMAT_BGRx:
    case SPA_VIDEO_FORMAT_BGRA:
        *blue = 0, *green = 1, *red = 2;
        return 1;
    case SPA_VIDEO_FORMAT_RGBx:
    case SPA_VIDEO_FORMAT_RGBA:
        *red = 0, *green = 1, *blue = 2;
        return 1;
    case SPA_VIDEO_FORMAT_xRGB:
    case SPA_VIDEO_FORMAT_ARGB:
        *red = 1, *green = 2, *blue = 3;
        return 1;
    case SPA_VIDEO_FORMAT_xBGR:
    case SPA_VIDEO_FORMAT_ABGR:
        *blue = 1, *green = 2, *red = 3;
        return 1;
    default:
        return 0;
    }
}

static void onCoreError(void* data, uint32_t id, int seq, int result, const char* message) {
    (void)seq;
    if (id == PW_ID_CORE)
        fail(data, "PipeWire: %s (%s)", message != NULL ? message : "error", spa_strerror(result));
}

static const struct pw_core_events coreEvents = {
    .version = PW_VERSION_CORE_EVENTS,
    .error = onCoreError,
};

static void onStateChanged(void* data, enum pw_stream_state old, enum pw_stream_state state,
                           const char* error) {
    struct Reader* reader = data;
    if (state == PW_STREAM_STATE_ERROR)
        fail(reader, "the PipeWire stream failed: %s", error != NULL ? error : "no reason given");
    else if (state == PW_STREAM_STATE_UNCONNECTED && old != PW_STREAM_STATE_UNCONNECTED)
        fail(reader, "the PipeWire stream was closed before its first picture");
}

/* The format is settled: asks for buffers in memory this can read, and for the crop. */
static void onParamChanged(void* data, uint32_t id, const struct spa_pod* param) {
    struct Reader* reader = data;
    if (id != SPA_PARAM_Format || param == NULL)
        return;
    uint32_t mediaType = 0, mediaSubtype = 0;
    int red, green, blue;
    if (spa_format_parse(param, &mediaType, &mediaSubtype) < 0 ||
        mediaType != SPA_MEDIA_TYPE_video || mediaSubtype != SPA_MEDIA_SUBTYPE_raw ||
        spa_format_video_raw_parse(param, &reader->format) < 0 ||
        !byteOrder(reader->format.format, &red, &green, &blue)) {
        fail(reader, "the PipeWire stream settled on a format this program does not read");
        return;
    }
    reader->formatKnown = 1;

    uint8_t space[1024];
    struct spa_pod_builder builder = SPA_POD_BUILDER_INIT(space, sizeof space);
    const struct spa_pod* params[3];
    params[0] = spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
        SPA_POD_CHOICE_RANGE_Int(4, 1, 16), SPA_PARAM_BUFFERS_dataType,
        SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemFd) | (1 << SPA_DATA_MemPtr)));
    params[1] = spa_pod_builder_add_object(&builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta,
                                           SPA_PARAM_META_type, SPA_POD_Id(SPA_META_Header),
                                           SPA_PARAM_META_size,
                                           SPA_POD_Int(sizeof(struct spa_meta_header)));
    params[2] = spa_pod_builder_add_object(&builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta,
                                           SPA_PARAM_META_type, SPA_POD_Id(SPA_META_VideoCrop),
                                           SPA_PARAM_META_size,
                                           SPA_POD_Int(sizeof(struct spa_meta_region)));
    pw_stream_update_params(reader->stream, params, 3);
}

/* Hands the buffer's picture to the sink, when it holds one. */
static void take(struct Reader* reader, struct spa_buffer* buffer) {
    if (buffer->n_datas < 1)
        return;
    const struct spa_data* plane = &buffer->datas[0];
    const struct spa_meta_header* header =
        spa_buffer_find_meta_data(buffer, SPA_META_Header, sizeof *header);
    if (header != NULL && (header->flags & SPA_META_HEADER_FLAG_CORRUPTED))
        return;
    if (plane->chunk == NULL || plane->chunk->size == 0 ||
        (plane->chunk->flags & SPA_CHUNK_FLAG_CORRUPTED))
        return; /* no new picture in this one, only the cursor or nothing */
    if (plane->data == NULL) {
        fail(reader, "the PipeWire stream sends its pictures in memory this program cannot read");
        return;
    }
    struct PipewireFrame frame = {
        .bytes = plane->data,
        .byteCount = plane->maxsize,
        .offset = plane->chunk->offset,
        .stride = plane->chunk->stride,
        .width = reader->format.size.width,
        .height = reader->format.size.height,
    };
    byteOrder(reader->format.format, &frame.redByte, &frame.greenByte, &frame.blueByte);
    const struct spa_meta_region* crop =
        spa_buffer_find_meta_data(buffer, SPA_META_VideoCrop, sizeof *crop);
    if (crop != NULL && spa_meta_region_is_valid(crop)) {
        frame.cropX = crop->region.position.x;
        frame.cropY = crop->region.position.y;
        frame.cropWidth = crop->region.size.width;
        frame.cropHeight = crop->region.size.height;
    }
    reader->sink(reader->user, &frame);
    reader->done = 1;
}

static void onProcess(void* data) {
    struct Reader* reader = data;
    struct pw_buffer* buffer;
    while ((buffer = pw_stream_dequeue_buffer(reader->stream)) != NULL) {
        if (!reader->done && !reader->failed && reader->formatKnown)
            take(reader, buffer->buffer);
        pw_stream_queue_buffer(reader->stream, buffer);
    }
}

static const struct pw_stream_events streamEvents = {
    .version = PW_VERSION_STREAM_EVENTS,
    .state_changed = onStateChanged,
    .param_changed = onParamChanged,
    .process = onProcess,
};

static int64_t nowMs(void) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (int64_t)now.tv_sec * 1000 + now.tv_nsec / 1000000;
}

/* The formats this reads, any size, at most 30 frames a second. */
static const struct spa_pod* enumFormat(struct spa_pod_builder* builder) {
    const struct spa_rectangle size = SPA_RECTANGLE(1024, 768);
    const struct spa_rectangle smallest = SPA_RECTANGLE(1, 1);
    const struct spa_rectangle largest = SPA_RECTANGLE(16384, 16384);
    const struct spa_fraction rate = SPA_FRACTION(0, 1);
    const struct spa_fraction slowest = SPA_FRACTION(1, 1);
    const struct spa_fraction fastest = SPA_FRACTION(30, 1);
    return spa_pod_builder_add_object(
        builder, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
        SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype,
        SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
        SPA_POD_CHOICE_ENUM_Id(9, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx,
                               SPA_VIDEO_FORMAT_BGRA, SPA_VIDEO_FORMAT_RGBx, SPA_VIDEO_FORMAT_RGBA,
                               SPA_VIDEO_FORMAT_xRGB, SPA_VIDEO_FORMAT_ARGB, SPA_VIDEO_FORMAT_xBGR,
                               SPA_VIDEO_FORMAT_ABGR),
        SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&size, &smallest, &largest),
        SPA_FORMAT_VIDEO_framerate, SPA_POD_Fraction(&rate), SPA_FORMAT_VIDEO_maxFramerate,
        SPA_POD_CHOICE_RANGE_Fraction(&fastest, &slowest, &fastest));
}

int pipewireReadFrame(uint32_t node, int timeoutMs, PipewireFrameSink sink, void* user, char* why,
                      size_t whySize) {
    struct Reader reader = {.why = why, .whySize = whySize, .sink = sink, .user = user};
    why[0] = '\0';
    pw_init(NULL, NULL);
    reader.loop = pw_loop_new(NULL);
    if (reader.loop != NULL)
        reader.context = pw_context_new(reader.loop, NULL, 0);
    if (reader.context == NULL) {
        fail(&reader, "cannot start PipeWire's client: %s", spa_strerror(-errno));
    } else {
        reader.core = pw_context_connect(reader.context, NULL, 0);
        if (reader.core == NULL)
            fail(&reader, "cannot connect to PipeWire: %s", spa_strerror(-errno));
    }
    if (reader.core != NULL) {
        pw_core_add_listener(reader.core, &reader.coreListener, &coreEvents, &reader);
        reader.stream =
            pw_stream_new(reader.core, "kelvara-picture",
                          pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY,
                                            "Capture", PW_KEY_MEDIA_ROLE, "Screen", NULL));
        if (reader.stream == NULL)
            fail(&reader, "cannot make a PipeWire stream: %s", spa_strerror(-errno));
    }
    if (reader.stream != NULL) {
        pw_stream_add_listener(reader.stream, &reader.streamListener, &streamEvents, &reader);
        uint8_t space[1024];
        struct spa_pod_builder builder = SPA_POD_BUILDER_INIT(space, sizeof space);
        const struct spa_pod* params[1] = {enumFormat(&builder)};
        const int result =
            pw_stream_connect(reader.stream, PW_DIRECTION_INPUT, node,
                              PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS, params, 1);
        if (result < 0)
            fail(&reader, "cannot open the PipeWire stream of node %u: %s", node,
                 spa_strerror(result));
    }

    if (reader.stream != NULL) {
        const int64_t deadline = nowMs() + timeoutMs;
        pw_loop_enter(reader.loop);
        while (!reader.done && !reader.failed) {
            const int64_t left = deadline - nowMs();
            if (left <= 0) {
                fail(&reader, "the PipeWire stream brought no picture within %d s",
                     timeoutMs / 1000);
                reader.late = 1;
                break;
            }
            const int result = pw_loop_iterate(reader.loop, (int)left);
            if (result < 0 && result != -EINTR)
                fail(&reader, "PipeWire's loop failed: %s", spa_strerror(result));
        }
        pw_loop_leave(reader.loop);
    }

    if (reader.stream != NULL)
        pw_stream_destroy(reader.stream); /* disconnects it first */
    if (reader.core != NULL)
        pw_core_disconnect(reader.core);
    if (reader.context != NULL)
        pw_context_destroy(reader.context);
    if (reader.loop != NULL)
        pw_loop_destroy(reader.loop);
    pw_deinit();
    return reader.done ? 1 : reader.late ? -1 : 0;
}
