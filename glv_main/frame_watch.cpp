#include "glv_main/frame_watch.h"

#include "platform/gl.h"

#include <cstdio>
#include <cstdlib>

FrameWatch::FrameWatch() : start(Clock::now()), next(start + std::chrono::seconds(1)) {
    countFrames = std::getenv("KELVARA_WATCH") != nullptr;
#ifdef NDEBUG
    checkErrors = countFrames;
#else
    checkErrors = true;
#endif
}

void FrameWatch::presented() {
    if (!checkErrors) {
        return;
    }
    ++frames;
    const Clock::time_point now = Clock::now();
    if (now < next) {
        return;
    }
    next = now + std::chrono::seconds(1);
    // A lost context can answer with an error for ever: a few are enough to see it.
    for (int i = 0; i < 8; ++i) {
        const GLenum error = glGetError();
        if (error == GL_NO_ERROR) {
            break;
        }
        std::fprintf(stderr, "kelvara-watch: GL error 0x%04x\n", static_cast<unsigned>(error));
    }
    if (countFrames) {
        const double seconds = std::chrono::duration<double>(now - start).count();
        std::fprintf(stderr, "kelvara-watch: %.1f s %llu frames\n", seconds,
                     static_cast<unsigned long long>(frames));
    }
}
