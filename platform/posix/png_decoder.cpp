#include "platform/posix/png_decoder.h"

#include "platform/exception.h"

#include <png.h>

namespace {

// The picture of an image whose header has been read.
Bitmap finishReading(png_image& image, int64_t maxPixels) {
    struct Release {
        png_image* image;
        ~Release() { png_image_free(image); }
    } release{&image};
    if (static_cast<int64_t>(image.width) * image.height > maxPixels)
        throw Exception("too large (" + std::to_string(image.width) + " x " +
                        std::to_string(image.height) + " pixels)");
    image.format = PNG_FORMAT_BGR; // the bitmap's order; transparency goes onto black
    Bitmap picture(static_cast<int>(image.width), static_cast<int>(image.height), 24);
    const png_color black{0, 0, 0};
    if (!png_image_finish_read(&image, &black, picture.pixels.data(),
                               static_cast<png_int_32>(picture.rowBytes()), nullptr))
        throw Exception(std::string("PNG: ") + image.message);
    return picture;
}

} // namespace

Bitmap decodePng(std::span<const uint8_t> bytes, int64_t maxPixels) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) {
        png_image_free(&image);
        throw Exception(std::string("PNG: ") + image.message);
    }
    return finishReading(image, maxPixels);
}

Bitmap decodePngFile(const std::string& path, int64_t maxPixels) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        png_image_free(&image);
        throw Exception(std::string("PNG: ") + image.message);
    }
    return finishReading(image, maxPixels);
}
