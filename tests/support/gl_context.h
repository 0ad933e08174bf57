// A GL context for the gl test layer and the benchmarks: a mapped, double-buffered RGBA window
// with a depth buffer on $DISPLAY, its GLX context current on the calling thread. It stands in
// for the program's own GL surface so that drawing code can be exercised and read back.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TestGlContext {
public:
    // Throws std::runtime_error when there is no display, no fitting visual or no context.
    explicit TestGlContext(int width = 1024, int height = 768);
    ~TestGlContext();
    TestGlContext(const TestGlContext&) = delete;
    TestGlContext& operator=(const TestGlContext&) = delete;

    int width() const { return width_; }
    int height() const { return height_; }

    void swap();
    // Makes this context current again, after another one took over the thread.
    void makeCurrent();

    enum class Buffer { Back, Front };
    // RGB bytes, width x height, bottom row first (as OpenGL reads them). Front is what the
    // window shows after the last swap.
    std::vector<uint8_t> readPixels(Buffer buffer = Buffer::Back) const;

private:
    struct Native;
    std::unique_ptr<Native> native_;
    int width_;
    int height_;
};

// A read-back picture and where to find a pixel in it.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb; // bottom row first

    // x from the left, y from the bottom, as OpenGL counts.
    const uint8_t* at(int x, int y) const {
        return rgb.data() + (static_cast<size_t>(y) * width + x) * 3;
    }
};

// Reads the whole window into an RgbImage.
RgbImage readImage(const TestGlContext& context,
                   TestGlContext::Buffer buffer = TestGlContext::Buffer::Back);

// Writes a read-back as a binary PPM (top row first, as viewers expect), for looking at a
// failed test's output. Throws std::runtime_error when the file cannot be written.
void writePpm(const std::string& path, const RgbImage& image);
