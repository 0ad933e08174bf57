// An RGBA copy of a bitmap with an OpenGL texture made on first use.
#pragma once

#include "shell/vector3.h"

#include <cstdint>
#include <vector>

class Bitmap;

class Texture {
public:
    // alphaSource: 0 opaque, 1 red, 2 green, 3 blue. Makes no OpenGL call.
    Texture(const Bitmap& bitmap, bool mipmapped, int32_t alphaSource);
    ~Texture();
    Texture(const Texture&) = delete;
    Texture& operator=(const Texture&) = delete;

    virtual void Upload();
    virtual void Release();
    virtual void Refresh();
    virtual void Bind();
    virtual void DrawPixels();
    virtual Vector3 ColorAt(float u, float v);

    uint32_t name = 0;
    bool mipmapped = false;
    std::vector<uint8_t> pixels; // width x height x 4, RGBA, bottom row first
    uint32_t width = 0;
    uint32_t height = 0;
    bool uploaded = false;
};
