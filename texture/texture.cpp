// Texture: an RGBA, bottom-up copy of a bitmap, and the OpenGL texture made from it on first use.
#include "texture/texture.h"

#include "platform/bitmap.h"
#include "platform/gl.h"

#include <cmath>
#include <cstring>

namespace {

// The fourth byte of every converted pixel, as a shift of the source pixel read as a
// little-endian word (blue in bits 0..7, green 8..15, red 16..23).
enum class Alpha { Opaque, Red, Green, Blue };

template <Alpha alpha> inline uint32_t alphaBits(uint32_t bgr) {
    if constexpr (alpha == Alpha::Opaque)
        return 0xFF000000u;
    if constexpr (alpha == Alpha::Red)
        return (bgr << 8) & 0xFF000000u;
    if constexpr (alpha == Alpha::Green)
        return (bgr << 16) & 0xFF000000u;
    return bgr << 24;
}

// One pixel: blue, green, red (and whatever follows) in, red, green, blue, alpha out.
template <Alpha alpha> inline uint32_t convertPixel(uint32_t bgr) {
    return ((__builtin_bswap32(bgr) >> 8) & 0x00FFFFFFu) | alphaBits<alpha>(bgr);
}

inline uint32_t load3(const uint8_t* s) {
    return s[0] | static_cast<uint32_t>(s[1]) << 8 | static_cast<uint32_t>(s[2]) << 16;
}

// One row. Each source pixel is read as a 4-byte word; a 3-byte pixel's word takes in the next
// pixel's first byte, which the conversion drops, so the row's last pixel is read bytewise to
// stay inside the row.
template <Alpha alpha, int sourceBytes>
void convertRow(const uint8_t* source, uint8_t* dest, uint32_t width) {
    const uint32_t wordReads = sourceBytes == 4 ? width : width - 1;
    for (uint32_t j = 0; j < wordReads; ++j) {
        uint32_t bgr;
        std::memcpy(&bgr, source + static_cast<size_t>(j) * sourceBytes, 4);
        const uint32_t rgba = convertPixel<alpha>(bgr);
        std::memcpy(dest + static_cast<size_t>(j) * 4, &rgba, 4);
    }
    if constexpr (sourceBytes == 3) {
        const uint32_t rgba =
            convertPixel<alpha>(load3(source + static_cast<size_t>(width - 1) * 3));
        std::memcpy(dest + static_cast<size_t>(width - 1) * 4, &rgba, 4);
    }
}

template <Alpha alpha, int sourceBytes>
void convertRows(const Bitmap& bitmap, std::vector<uint8_t>& pixels) {
    const uint32_t width = static_cast<uint32_t>(bitmap.width);
    const uint32_t height = static_cast<uint32_t>(bitmap.height);
    for (uint32_t i = 0; i < height; ++i) {
        convertRow<alpha, sourceBytes>(
            bitmap.row(static_cast<int>(i)),
            pixels.data() + static_cast<size_t>(height - 1 - i) * width * 4, width);
    }
}

template <int sourceBytes>
void convert(const Bitmap& bitmap, int32_t alphaSource, std::vector<uint8_t>& pixels) {
    switch (alphaSource) {
    case 1:
        return convertRows<Alpha::Red, sourceBytes>(bitmap, pixels);
    case 2:
        return convertRows<Alpha::Green, sourceBytes>(bitmap, pixels);
    case 3:
        return convertRows<Alpha::Blue, sourceBytes>(bitmap, pixels);
    default:
        return convertRows<Alpha::Opaque, sourceBytes>(bitmap, pixels);
    }
}

} // namespace

// A bitmap is trusted only as far as its buffer reaches: a size that its bytes do not cover
// gives an empty texture, and a pixel format other than 24 or 32 bits gives black pixels
// (alpha from the black source channel), so pixels is never undefined and never read past.
Texture::Texture(const Bitmap& bitmap, bool mipmapped, int32_t alphaSource) : mipmapped(mipmapped) {
    if (bitmap.width <= 0 || bitmap.height <= 0)
        return;
    const size_t count = static_cast<size_t>(bitmap.width) * static_cast<size_t>(bitmap.height);
    const int sourceBytes = bitmap.bitsPerPixel == 24 ? 3 : bitmap.bitsPerPixel == 32 ? 4 : 1;
    if (bitmap.pixels.size() / count < static_cast<size_t>(sourceBytes))
        return;
    width = static_cast<uint32_t>(bitmap.width);
    height = static_cast<uint32_t>(bitmap.height);
    pixels.resize(count * 4);
    if (sourceBytes == 3) {
        convert<3>(bitmap, alphaSource, pixels);
    } else if (sourceBytes == 4) {
        convert<4>(bitmap, alphaSource, pixels);
    } else {
        const uint8_t alpha = alphaSource >= 1 && alphaSource <= 3 ? 0 : 255;
        for (size_t k = 0; k < count; ++k)
            pixels[k * 4 + 3] = alpha;
    }
}

Texture::~Texture() {
    if (uploaded) {
        Release();
    }
}

void Texture::Upload() {
    GLuint generated = 0;
    glGenTextures(1, &generated);
    name = generated;
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER,
                    mipmapped ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR);
    glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    if (mipmapped) {
        gluBuild2DMipmaps(GL_TEXTURE_2D, 4, static_cast<GLint>(width), static_cast<GLint>(height),
                          GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    } else {
        glTexImage2D(GL_TEXTURE_2D, 0, 4, static_cast<GLsizei>(width), static_cast<GLsizei>(height),
                     0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    }
    uploaded = true;
}

// Only a texture that holds a GL object deletes one: a stale name may meanwhile belong to
// another texture.
void Texture::Release() {
    if (!uploaded) {
        return;
    }
    const GLuint deleted = name;
    glDeleteTextures(1, &deleted);
    name = 0;
    uploaded = false;
}

void Texture::Refresh() {
    if (!uploaded) {
        Upload();
        glBindTexture(GL_TEXTURE_2D, name);
        glEnable(GL_TEXTURE_2D);
        return;
    }
    glBindTexture(GL_TEXTURE_2D, name);
    glEnable(GL_TEXTURE_2D);
    if (mipmapped) {
        Release();
        Upload();
    } else {
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, static_cast<GLsizei>(width),
                        static_cast<GLsizei>(height), GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    }
}

void Texture::Bind() {
    if (!uploaded) {
        Upload();
    }
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, name);
}

void Texture::DrawPixels() {
    glDrawPixels(static_cast<GLsizei>(width), static_cast<GLsizei>(height), GL_RGBA,
                 GL_UNSIGNED_BYTE, pixels.data());
}

namespace {

// The pixel index along one axis for a texture coordinate: truncated toward zero, negative
// (and not-a-number) clamped to 0, past the end wrapped. Computed in floating point first, so
// that no coordinate, however large, overflows an integer conversion.
uint32_t texelIndex(float coordinate, uint32_t size) {
    const float scaled = static_cast<float>(size) * coordinate;
    if (!(scaled >= 1.0f))
        return 0;
    const double wrapped = std::fmod(std::trunc(static_cast<double>(scaled)), size);
    return std::isfinite(wrapped) ? static_cast<uint32_t>(wrapped) : 0;
}

} // namespace

Vector3 Texture::ColorAt(float u, float v) {
    if (width == 0 || height == 0)
        return {};
    const uint32_t x = texelIndex(u, width);
    const uint32_t y = texelIndex(v, height);
    const uint8_t* p = pixels.data() + (static_cast<size_t>(height - 1 - y) * width + x) * 4;
    return {p[0] / 255.0f, p[1] / 255.0f, p[2] / 255.0f};
}
