// The intro's one state record, kept in static storage of the intro unit.
#pragma once

#include "common/vector3.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

class DatFile;
class GLV;
class Texture;

constexpr int introSparkCount = 500;
constexpr int introPuffCount = 20;

// Where the logo picture's pixels are, read once at set-up so that the emission test of every
// particle needs no lookup by name.
struct LogoPixels {
    const uint8_t* pixels = nullptr; // top row first, blue, green, red
    int width = 0;
    int height = 0;
    size_t rowBytes = 0;
    int bytesPerPixel = 3;
};

struct IntroState {
    IntroState();
    ~IntroState();
    IntroState(const IntroState&) = delete;
    IntroState& operator=(const IntroState&) = delete;

    // These three start once per process and are never reset, so the intro plays only once.
    uint32_t lastTick = 0; // 0: no frame yet
    float introClock = 0;  // one unit is 1.2 s
    float logoAlpha = 1;
    std::array<Vector3, introSparkCount> sparkPos;
    std::array<Vector3, introSparkCount> sparkVel;
    std::array<float, introSparkCount> sparkLife{};
    std::array<Vector3, introPuffCount> puffPos;
    std::array<Vector3, introPuffCount> puffVel;
    std::array<float, introPuffCount> puffLife{};
    GLV* view = nullptr; // not owned
    std::unique_ptr<Texture> logoTexture;
    std::unique_ptr<Texture> smokeTexture;
    std::unique_ptr<Texture> shineTexture;
    std::unique_ptr<DatFile> logoData;
    LogoPixels logoPixels; // points into logoData
};

// The intro's state; one per process.
extern IntroState introState;
