#include "platform/wayland/wayland_capture.h"

#include "platform/exception.h"
#include "platform/wayland/screen_copy_pixels.h"
#include "platform/wayland/wayland_shm_buffer.h"

#include "ext-image-capture-source-v1-client-protocol.h"
#include "ext-image-copy-capture-v1-client-protocol.h"
#include "wlr-screencopy-unstable-v1-client-protocol.h"
#include <wayland-client.h>

#include <cmath>
#include <memory>

namespace {

// A compositor that takes longer than this to copy one output is not answering.
constexpr int captureTimeoutMs = 5000;

// Both kinds of copy fill one of these, then wait for ready or failed.
struct Copy {
    WaylandConnection* connection = nullptr;
    uint32_t format = 0;
    bool formatSeen = false;
    int width = 0;
    int height = 0;
    int stride = 0;
    bool yInverted = false;
    // What the compositor did to the output's picture in the copy (a wl_output transform).
    uint32_t transform = WL_OUTPUT_TRANSFORM_NORMAL;
    bool ready = false;
    bool failed = false;
    std::string why;
    std::unique_ptr<WaylandShmBuffer> buffer;

    void offer(uint32_t offered) {
        if (!formatSeen && screenCopyFormatReadable(offered)) {
            format = offered;
            formatSeen = true;
        }
    }

    // Makes the buffer to copy into; false (with why) on an offer this cannot take.
    bool makeBuffer() {
        if (!formatSeen) {
            why = "the compositor offers the picture in no format this program reads";
            return false;
        }
        try {
            buffer = std::make_unique<WaylandShmBuffer>(connection->globals.shm, width, height,
                                                        stride > 0 ? stride : width * 4, format);
        } catch (const Exception& e) {
            why = e.message;
            return false;
        }
        return true;
    }

    void wait() {
        if (!connection->dispatchUntil([this] { return ready || failed; }, captureTimeoutMs)) {
            failed = true;
            why = "the compositor did not copy the output within " +
                  std::to_string(captureTimeoutMs / 1000) + " s";
        }
    }

    Bitmap picture() const {
        return uprightScreenCopy(buffer->row(0), width, height, buffer->stride, format, yInverted,
                                 transform);
    }
};

Copy& copyOf(void* data) {
    return *static_cast<Copy*>(data);
}

// --- wlroots' screen copy
void wlrBuffer(void* data, zwlr_screencopy_frame_v1* frame, uint32_t format, uint32_t width,
               uint32_t height, uint32_t stride) {
    Copy& copy = copyOf(data);
    if (copy.formatSeen)
        return;
    copy.width = static_cast<int>(width);
    copy.height = static_cast<int>(height);
    copy.stride = static_cast<int>(stride);
    copy.offer(format);
    if (!copy.formatSeen)
        return;
    // Before version 3 there is no word that the offers are complete: this one is the offer.
    if (zwlr_screencopy_frame_v1_get_version(frame) < 3) {
        if (copy.makeBuffer())
            zwlr_screencopy_frame_v1_copy(frame, copy.buffer->buffer);
        else
            copy.failed = true;
    }
}
void wlrFlags(void* data, zwlr_screencopy_frame_v1*, uint32_t flags) {
    copyOf(data).yInverted = (flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT) != 0;
}
void wlrReady(void* data, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t) {
    copyOf(data).ready = true;
}
void wlrFailed(void* data, zwlr_screencopy_frame_v1*) {
    copyOf(data).failed = true;
    copyOf(data).why = "the compositor could not copy the output";
}
void wlrDamage(void*, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t, uint32_t) {}
void wlrDmabuf(void*, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t) {}
void wlrBufferDone(void* data, zwlr_screencopy_frame_v1* frame) {
    Copy& copy = copyOf(data);
    if (copy.buffer == nullptr && copy.makeBuffer())
        zwlr_screencopy_frame_v1_copy(frame, copy.buffer->buffer);
    else if (copy.buffer == nullptr)
        copy.failed = true;
}

const zwlr_screencopy_frame_v1_listener wlrListener = {
    .buffer = wlrBuffer,
    .flags = wlrFlags,
    .ready = wlrReady,
    .failed = wlrFailed,
    .damage = wlrDamage,
    .linux_dmabuf = wlrDmabuf,
    .buffer_done = wlrBufferDone,
};

bool wlrCapture(WaylandConnection& connection, WaylandOutput& output, Copy& copy) {
    // The copy is the output's framebuffer, before the output's transform.
    copy.transform = static_cast<uint32_t>(output.transform);
    zwlr_screencopy_frame_v1* frame =
        zwlr_screencopy_manager_v1_capture_output(connection.globals.screencopy, 0, output.output);
    zwlr_screencopy_frame_v1_add_listener(frame, &wlrListener, &copy);
    copy.wait();
    zwlr_screencopy_frame_v1_destroy(frame);
    return copy.ready;
}

// --- ext-image-copy-capture-v1 on an output source
struct ExtSession {
    Copy* copy = nullptr;
    bool described = false;
    bool stopped = false;
};

void extBufferSize(void* data, ext_image_copy_capture_session_v1*, uint32_t width,
                   uint32_t height) {
    Copy& copy = *static_cast<ExtSession*>(data)->copy;
    copy.width = static_cast<int>(width);
    copy.height = static_cast<int>(height);
    copy.stride = static_cast<int>(width) * 4;
}
void extShmFormat(void* data, ext_image_copy_capture_session_v1*, uint32_t format) {
    static_cast<ExtSession*>(data)->copy->offer(format);
}
void extDmabufDevice(void*, ext_image_copy_capture_session_v1*, wl_array*) {}
void extDmabufFormat(void*, ext_image_copy_capture_session_v1*, uint32_t, wl_array*) {}
void extDone(void* data, ext_image_copy_capture_session_v1*) {
    static_cast<ExtSession*>(data)->described = true;
}
void extStopped(void* data, ext_image_copy_capture_session_v1*) {
    static_cast<ExtSession*>(data)->stopped = true;
}

const ext_image_copy_capture_session_v1_listener extSessionListener = {
    .buffer_size = extBufferSize,
    .shm_format = extShmFormat,
    .dmabuf_device = extDmabufDevice,
    .dmabuf_format = extDmabufFormat,
    .done = extDone,
    .stopped = extStopped,
};

void extTransform(void* data, ext_image_copy_capture_frame_v1*, uint32_t transform) {
    copyOf(data).transform = transform;
}
void extDamage(void*, ext_image_copy_capture_frame_v1*, int32_t, int32_t, int32_t, int32_t) {}
void extPresentation(void*, ext_image_copy_capture_frame_v1*, uint32_t, uint32_t, uint32_t) {}
void extReady(void* data, ext_image_copy_capture_frame_v1*) {
    copyOf(data).ready = true;
}
void extFailed(void* data, ext_image_copy_capture_frame_v1*, uint32_t reason) {
    copyOf(data).failed = true;
    copyOf(data).why =
        "the compositor could not copy the output (reason " + std::to_string(reason) + ")";
}

const ext_image_copy_capture_frame_v1_listener extFrameListener = {
    .transform = extTransform,
    .damage = extDamage,
    .presentation_time = extPresentation,
    .ready = extReady,
    .failed = extFailed,
};

bool extCapture(WaylandConnection& connection, WaylandOutput& output, Copy& copy) {
    const WaylandGlobals& g = connection.globals;
    ext_image_capture_source_v1* source = ext_output_image_capture_source_manager_v1_create_source(
        g.outputCaptureSources, output.output);
    ext_image_copy_capture_session_v1* session =
        ext_image_copy_capture_manager_v1_create_session(g.imageCopyCapture, source, 0);
    ExtSession state;
    state.copy = &copy;
    ext_image_copy_capture_session_v1_add_listener(session, &extSessionListener, &state);
    connection.dispatchUntil([&] { return state.described || state.stopped; }, captureTimeoutMs);
    ext_image_copy_capture_frame_v1* frame = nullptr;
    if (!state.described || state.stopped) {
        copy.failed = true;
        copy.why = "the compositor ended the copy of the output before it began";
    } else if (!copy.makeBuffer()) {
        copy.failed = true;
    } else {
        frame = ext_image_copy_capture_session_v1_create_frame(session);
        ext_image_copy_capture_frame_v1_add_listener(frame, &extFrameListener, &copy);
        ext_image_copy_capture_frame_v1_attach_buffer(frame, copy.buffer->buffer);
        ext_image_copy_capture_frame_v1_damage_buffer(frame, 0, 0, copy.width, copy.height);
        ext_image_copy_capture_frame_v1_capture(frame);
        copy.wait();
    }
    if (frame != nullptr)
        ext_image_copy_capture_frame_v1_destroy(frame);
    ext_image_copy_capture_session_v1_destroy(session);
    ext_image_capture_source_v1_destroy(source);
    return copy.ready;
}

} // namespace

bool captureWaylandOutput(WaylandConnection& connection, WaylandOutput& output, Bitmap& picture,
                          std::string& why) {
    const WaylandGlobals& g = connection.globals;
    const bool ext = g.outputCaptureSources != nullptr && g.imageCopyCapture != nullptr;
    if (!ext && g.screencopy == nullptr) {
        why = "this Wayland compositor lets no program copy the screen";
        return false;
    }
    Copy copy;
    copy.connection = &connection;
    const bool copied =
        ext ? extCapture(connection, output, copy) : wlrCapture(connection, output, copy);
    if (!copied) {
        why = copy.why;
        return false;
    }
    picture = copy.picture();
    return true;
}

Bitmap neutralDesktopPicture(int width, int height) {
    Bitmap picture(width > 0 ? width : 1024, height > 0 ? height : 768, 24);
    const double period = (picture.width + picture.height) / 5.0;
    for (int y = 0; y < picture.height; ++y) {
        uint8_t* row = picture.row(y);
        for (int x = 0; x < picture.width; ++x, row += 3) {
            const double band = 0.5 + 0.5 * std::sin(2 * M_PI * (x + y) / period);
            const double fall = static_cast<double>(y) / picture.height;
            row[0] = static_cast<uint8_t>(120 + 90 * band - 40 * fall); // blue
            row[1] = static_cast<uint8_t>(90 + 40 * band - 30 * fall);  // green
            row[2] = static_cast<uint8_t>(70 + 30 * band - 30 * fall);  // red
        }
    }
    return picture;
}
