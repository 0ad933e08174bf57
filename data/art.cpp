#include "data/art.h"

#include "data/art_pictures.h"
#include "platform/exception.h"

#include <cctype>
#include <string>

namespace {

std::span<const uint8_t> asBytes(std::span<const unsigned char> bytes) {
    return {reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()};
}

// Reads the next number of a PPM header, skipping white space and comments.
int headerNumber(std::span<const uint8_t> ppm, size_t& at) {
    for (;;) {
        while (at < ppm.size() && std::isspace(ppm[at])) {
            ++at;
        }
        if (at < ppm.size() && ppm[at] == '#') {
            while (at < ppm.size() && ppm[at] != '\n') {
                ++at;
            }
            continue;
        }
        break;
    }
    int value = 0;
    const size_t first = at;
    while (at < ppm.size() && std::isdigit(ppm[at]) && at - first < 6) {
        value = value * 10 + (ppm[at++] - '0');
    }
    if (at == first || (at < ppm.size() && std::isdigit(ppm[at]))) {
        throw Exception("Bad PPM header");
    }
    return value;
}

} // namespace

Bitmap bitmapFromPpm(std::span<const uint8_t> ppm) {
    if (ppm.size() < 2 || ppm[0] != 'P' || ppm[1] != '6') {
        throw Exception("Not a binary PPM picture");
    }
    size_t at = 2;
    const int width = headerNumber(ppm, at);
    const int height = headerNumber(ppm, at);
    const int maximum = headerNumber(ppm, at);
    // Exactly one white-space byte separates the header from the pixels.
    if (maximum != 255 || width < 1 || height < 1 || at >= ppm.size() || !std::isspace(ppm[at])) {
        throw Exception("Bad PPM header");
    }
    ++at;
    Bitmap bitmap(width, height, 24);
    if (ppm.size() - at != bitmap.pixels.size()) {
        throw Exception("PPM picture has the wrong number of pixel bytes");
    }
    // PPM pixels are red, green, blue; the bitmap's are blue, green, red.
    for (size_t i = 0; i < bitmap.pixels.size(); i += 3) {
        bitmap.pixels[i] = ppm[at + i + 2];
        bitmap.pixels[i + 1] = ppm[at + i + 1];
        bitmap.pixels[i + 2] = ppm[at + i];
    }
    return bitmap;
}

Bitmap previewLogoBitmap() {
    return bitmapFromPpm(asBytes(previewLogoPpmBytes));
}

Bitmap iconBitmap(int size) {
    if (size == 32) {
        return bitmapFromPpm(asBytes(icon32PpmBytes));
    }
    if (size == 16) {
        return bitmapFromPpm(asBytes(icon16PpmBytes));
    }
    throw Exception("No icon of " + std::to_string(size) + " pixels");
}
