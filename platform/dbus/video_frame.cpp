#include "platform/dbus/video_frame.h"

#include "platform/exception.h"

#include <string>

namespace {

// Larger than any monitor: a size beyond it is a fault of the stream's.
constexpr uint32_t largestSide = 16384;

std::string size(uint32_t width, uint32_t height) {
    return std::to_string(width) + " x " + std::to_string(height);
}

} // namespace

Bitmap pictureOfFrame(const PipewireFrame& frame) {
    if (frame.width == 0 || frame.height == 0 || frame.width > largestSide ||
        frame.height > largestSide)
        throw Exception("the stream's picture has an impossible size, " +
                        size(frame.width, frame.height));
    uint32_t left = 0, top = 0, width = frame.width, height = frame.height;
    if (frame.cropWidth > 0 || frame.cropHeight > 0) {
        if (frame.cropX < 0 || frame.cropY < 0 || frame.cropWidth == 0 ||
            frame.cropHeight == 0 || frame.cropWidth > frame.width ||
            frame.cropHeight > frame.height ||
            static_cast<uint32_t>(frame.cropX) > frame.width - frame.cropWidth ||
            static_cast<uint32_t>(frame.cropY) > frame.height - frame.cropHeight)
            throw Exception("the stream's crop (" + size(frame.cropWidth, frame.cropHeight) +
                            " at " + std::to_string(frame.cropX) + ", " +
                            std::to_string(frame.cropY) + ") lies outside its picture of " +
                            size(frame.width, frame.height));
        left = static_cast<uint32_t>(frame.cropX);
        top = static_cast<uint32_t>(frame.cropY);
        width = frame.cropWidth;
        height = frame.cropHeight;
    }
    const uint64_t stride =
        frame.stride == 0 ? uint64_t{frame.width} * 4 : static_cast<uint64_t>(frame.stride);
    if (frame.stride < 0 || stride < uint64_t{frame.width} * 4)
        throw Exception("the stream's rows (" + std::to_string(frame.stride) +
                        " bytes) are too short for its width of " + std::to_string(frame.width));
    for (int byte : {frame.redByte, frame.greenByte, frame.blueByte}) {
        if (byte < 0 || byte > 3)
            throw Exception("the stream's pixel layout is unknown");
    }
    // The last byte read: the crop's last row, up to its right edge.
    const uint64_t end = uint64_t{frame.offset} + (uint64_t{top} + height - 1) * stride +
                         (uint64_t{left} + width) * 4;
    if (frame.bytes == nullptr || end > frame.byteCount)
        throw Exception("the stream's picture of " + size(frame.width, frame.height) +
                        " does not fit in its buffer of " + std::to_string(frame.byteCount) +
                        " bytes");

    Bitmap picture(static_cast<int>(width), static_cast<int>(height), 24);
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* in = frame.bytes + frame.offset + (top + y) * stride + left * 4;
        uint8_t* out = picture.row(static_cast<int>(y));
        for (uint32_t x = 0; x < width; ++x, in += 4, out += 3) {
            out[0] = in[frame.blueByte];
            out[1] = in[frame.greenByte];
            out[2] = in[frame.redByte];
        }
    }
    return picture;
}
