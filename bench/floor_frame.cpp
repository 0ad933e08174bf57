#include "bench/floor_frame.h"

#include "platform/gl.h"

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

void floorFrameBenchmark(benchmark::State& state) {
    FloorFrame floor;
    for (auto _ : state) {
        floor.draw();
    }
    glFinish();
    state.counters["frames/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
