// An RGBA copy of a bitmap with an OpenGL texture made on first use.
#pragma once

#include "common/vector3.h"

#include <cstdint>
#include <vector>

class Bitmap;

class Texture {
public:
    // alphaSource: 0 opaque, 1 red, 2 green, 3 blue (any other value: opaque). Makes no
    // OpenGL call. A bitmap of another pixel format gives black pixels; one whose buffer does
    // not hold its stated size gives an empty (0 x 0) texture.
    Texture(const Bitmap& bitmap, bool mipmapped, int32_t alphaSource);
    // Virtual so that owners may delete through a Texture* whatever it points to. Releases the
    // GL texture when there is one: the context must still be current then.
    virtual ~Texture();
    Texture(const Texture&) = delete;
    Texture& operator=(const Texture&) = delete;

    virtual void Upload();
    virtual void Release(); // does nothing when there is no GL texture
    virtual void Refresh();
    virtual void Bind();
    virtual void DrawPixels();
    // Red, green, blue in 0..1 of the pixel at (u, v), v = 0 being the top row; coordinates
    // below 0 clamp to the first column or row, 1 and above wrap. (0, 0, 0) when empty.
    virtual Vector3 ColorAt(float u, float v);

    uint32_t name = 0;
    bool mipmapped = false;
    std::vector<uint8_t> pixels; // width x height x 4, RGBA, bottom row first
    uint32_t width = 0;
    uint32_t height = 0;
    bool uploaded = false;
};
