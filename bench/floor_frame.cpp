#include "bench/floor_frame.h"

#include "platform/gl.h"
#include "tests/support/allocation_counter.h"

#include <algorithm>
#include <chrono>
#include <vector>

TestGlContext& benchGlContext() {
    static TestGlContext context(1024, 768);
    return context;
}

Bitmap floorPicture() {
    Bitmap picture(1024, 1024, 24);
    for (int y = 0; y < picture.height; ++y) {
        uint8_t* p = picture.row(y);
        for (int x = 0; x < picture.width; ++x, p += 3) {
            p[0] = static_cast<uint8_t>(x / 4);
            p[1] = static_cast<uint8_t>(y / 4);
            p[2] = static_cast<uint8_t>((x ^ y) & 0xFF);
        }
    }
    return picture;
}

FloorFrame::FloorFrame(const Bitmap& picture) : texture(picture, false, 0) {
    benchGlContext().makeCurrent();
    texture.Bind();
    glFinish();
}

void FloorFrame::draw() {
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();

    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_COLOR_MATERIAL);
    texture.Bind();
    glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);

    // Light 0 shines along -z, straight onto the quad's normal: the picture fully lit.
    glColor3f(1, 1, 1);
    glNormal3f(0, 0, 1);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex3f(-1, -1, 0);
    glTexCoord2f(1, 0);
    glVertex3f(1, -1, 0);
    glTexCoord2f(1, 1);
    glVertex3f(1, 1, 0);
    glTexCoord2f(0, 1);
    glVertex3f(-1, 1, 0);
    glEnd();

    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glPopAttrib();
    benchGlContext().swap();
}

// Reports its own ratio too: how far one measurement of the floor strays from the other
// shows the noise of the run.
void floorFrameBenchmark(benchmark::State& state) {
    FloorFrame floor;
    FloorRatio ratio(state);
    for (auto _ : state) {
        floor.draw();
    }
    ratio.report();
}

benchmark::internal::Benchmark* registerFloorFrameBenchmark() {
    return benchmark::RegisterBenchmark("Floor/frame_1024x768", floorFrameBenchmark)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
}

namespace {

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

// Timed the way a frame benchmark's loop is: frames back to back, finished once at the end of
// a batch. The median batch stands for the floor.
double floorFrameSeconds() {
    static const double seconds = [] {
        constexpr int batches = 7, framesPerBatch = 8;
        FloorFrame floor;
        for (int i = 0; i < 4; ++i) {
            floor.draw(); // warms the renderer's caches and threads
        }
        glFinish();
        std::vector<double> times;
        for (int batch = 0; batch < batches; ++batch) {
            const double start = now();
            for (int i = 0; i < framesPerBatch; ++i) {
                floor.draw();
            }
            glFinish();
            times.push_back((now() - start) / framesPerBatch);
        }
        std::nth_element(times.begin(), times.begin() + batches / 2, times.end());
        return times[batches / 2];
    }();
    return seconds;
}

FloorRatio::FloorRatio(benchmark::State& state)
    : state_(state), floorSeconds_(floorFrameSeconds()), allocations_(allocationCount()),
      start_(now()) {}

void FloorRatio::report() {
    glFinish();
    const double frames =
        static_cast<double>(std::max<benchmark::IterationCount>(1, state_.iterations()));
    const double perFrame = (now() - start_) / frames;
    state_.counters["allocs_per_frame"] =
        static_cast<double>(allocationCount() - allocations_) / frames;
    state_.counters["floor_ms"] = floorSeconds_ * 1e3;
    state_.counters["x_floor"] = perFrame / floorSeconds_;
}
