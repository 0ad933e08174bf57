// The OpenGL view on a real window of the test X server: the format, the strings, the
// projection on resize, presenting, and the start-up on a real machine.
#include "glv_main/glv_main.h"
#include "platform/display_modes.h"
#include "platform/exception.h"
#include "platform/gl.h"
#include "platform/gl_surface.h"
#include "platform/window_system.h"

#include <gtest/gtest.h>
// After gtest: Xlib defines Bool as a macro.
#include "xlib_test_form.h"
#include <GL/glx.h>

#include <cmath>
#include <cstring>
#include <memory>

namespace {

void expectMatrixNear(GLenum which, const GLdouble* expected) {
    GLdouble actual[16];
    glGetDoublev(which, actual);
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(actual[i], expected[i], 1e-5) << "element " << i;
}

void perspective(double aspect, GLdouble* out) {
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    gluPerspective(50, aspect, 0.1, 100);
    glGetDoublev(GL_MODELVIEW_MATRIX, out);
    glPopMatrix();
}

TEST(GlvOnX, DoubleBufferedViewReadsStringsAndSetsCameraAndProjection) {
    XlibTestForm form(320, 240);
    auto view = std::make_unique<GLV>(form, GLV::doubleBuffer);
    ASSERT_NE(view->surface, nullptr);
    EXPECT_TRUE(view->surface->format.doubleBuffer);
    EXPECT_EQ(view->surface->format.stencilBits, 0);
    EXPECT_GE(view->surface->format.depthBits, 16);
    EXPECT_LE(view->surface->format.depthBits, 32);
    EXPECT_EQ(view->renderer, reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    EXPECT_FALSE(view->version.empty());
    EXPECT_FALSE(view->vendor.empty());
    bool multitexture = false;
    for (const auto& name : view->extensionNames)
        multitexture = multitexture || name == "GL_ARB_multitexture";
    EXPECT_TRUE(multitexture);
    EXPECT_EQ(view->fieldOfView, 50);
    EXPECT_EQ(view->farDistance, 100);

    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 320);
    EXPECT_EQ(viewport[3], 240);
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    GLdouble expected[16];
    perspective(320.0 / 240.0, expected);
    expectMatrixNear(GL_PROJECTION_MATRIX, expected);
    glPushMatrix();
    glLoadIdentity();
    gluLookAt(0, 1, 5, 0, 0, 0, 0, 1, 0);
    glGetDoublev(GL_MODELVIEW_MATRIX, expected);
    glPopMatrix();
    expectMatrixNear(GL_MODELVIEW_MATRIX, expected);
}

TEST(GlvOnX, FlagsChooseSingleBufferOrStencil) {
    XlibTestForm form;
    {
        GLV single(form, 0);
        EXPECT_FALSE(single.surface->format.doubleBuffer);
        EXPECT_EQ(single.surface->format.stencilBits, 0);
        GLint doubled = 1;
        glGetIntegerv(GL_DOUBLEBUFFER, &doubled);
        EXPECT_EQ(doubled, 0);
    }
    XlibTestForm second;
    GLV both(second, GLV::doubleBuffer | GLV::stencil);
    EXPECT_TRUE(both.surface->format.doubleBuffer);
    GLint stencilBits = 0;
    glGetIntegerv(GL_STENCIL_BITS, &stencilBits);
    EXPECT_EQ(stencilBits, 8);
}

TEST(GlvOnX, ResizeFollowsTheFormAndSurvivesAZeroHeight) {
    XlibTestForm form(320, 240);
    GLV view(form, GLV::doubleBuffer);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(1, 2, 3);
    GLdouble modelview[16];
    glGetDoublev(GL_MODELVIEW_MATRIX, modelview);

    form.setSize(400, 100);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 400);
    EXPECT_EQ(viewport[3], 100);
    GLdouble expected[16];
    perspective(4.0, expected);
    expectMatrixNear(GL_PROJECTION_MATRIX, expected);
    expectMatrixNear(GL_MODELVIEW_MATRIX, modelview);

    for (int height : {0, 1}) {
        form.setSize(200, height);
        glGetIntegerv(GL_VIEWPORT, viewport);
        EXPECT_EQ(viewport[3], 1);
        GLdouble projection[16];
        glGetDoublev(GL_PROJECTION_MATRIX, projection);
        for (double value : projection)
            EXPECT_TRUE(std::isfinite(value));
        perspective(200.0, expected);
        expectMatrixNear(GL_PROJECTION_MATRIX, expected);
        GLint mode = 0;
        glGetIntegerv(GL_MATRIX_MODE, &mode);
        EXPECT_EQ(mode, GL_MODELVIEW);
    }
    form.setSize(0, 100);
    GLdouble projection[16];
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    for (double value : projection)
        EXPECT_TRUE(std::isfinite(value));
}

TEST(GlvOnX, SwapPresentsTheBackBuffer) {
    XlibTestForm form(64, 64);
    GLV view(form, GLV::doubleBuffer);
    Window child = form.firstChild();
    ASSERT_NE(child, None);
    auto centre = [&] {
        XImage* image = XGetImage(form.display, child, 32, 32, 1, 1, AllPlanes, ZPixmap);
        unsigned long pixel = image ? XGetPixel(image, 0, 0) : 0;
        if (image)
            XDestroyImage(image);
        return pixel & 0xFFFFFF;
    };
    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    EXPECT_EQ(view.Swap(), 1);
    glFinish();
    unsigned long seen = 0;
    for (int i = 0; i < 500 && seen != 0xFF0000; ++i) {
        seen = centre();
        if (seen != 0xFF0000)
            glXWaitGL(); // gives the server time; no fixed sleep
    }
    EXPECT_EQ(seen, 0xFF0000u);
}

TEST(GlvOnX, DestroyedViewLeavesTheFormAndTheThreadWithoutIt) {
    XlibTestForm form;
    auto view = std::make_unique<GLV>(form, GLV::doubleBuffer);
    EXPECT_TRUE(static_cast<bool>(form.resized));
    EXPECT_EQ(form.viewableChildren(), 1);
    view.reset();
    EXPECT_FALSE(static_cast<bool>(form.resized));
    EXPECT_EQ(glXGetCurrentContext(), nullptr);
    EXPECT_EQ(form.viewableChildren(), 0);
}

class BrokenForm : public XlibTestForm {
public:
    explicit BrokenForm(uintptr_t handle) : handle(handle) {}
    NativeWindow nativeWindow() override { return {handle ? display : nullptr, handle}; }
    uintptr_t handle;
};

TEST(GlvOnX, AWindowThatCannotTakeAFormatRaisesSetPixelFormatFailed) {
    for (uintptr_t handle : {uintptr_t{0}, uintptr_t{0x7ffffff0}}) {
        BrokenForm form(handle);
        try {
            GLV view(form, GLV::doubleBuffer);
            FAIL() << "no exception";
        } catch (const Exception& e) {
            EXPECT_EQ(e.message, "SetPixelFormat failed");
        }
        EXPECT_FALSE(static_cast<bool>(form.resized));
    }
}

TEST(InitGraphicsOnX, PassesWithModestRequirementsAndPaintsNothing) {
    XlibTestForm form(640, 480);
    SaverRequirements requirements;
    requirements.extensions = {"gl_arb_multitexture"};
    requirements.minTextureSize = 512;
    requirements.minTextureUnits = 2;
    DisplayMode mode{};
    std::unique_ptr<GLV> view;
    int32_t performance = -1;
    EXPECT_EQ(InitGraphics(&view, form, requirements, mode, &performance), 1);
    ASSERT_NE(view, nullptr);
    EXPECT_GT(performance, 0);
    EXPECT_EQ(form.paints, 0);
    EXPECT_EQ(form.viewableChildren(), 1);
    ShutdownGraphics(std::move(view));
}

TEST(InitGraphicsOnX, SwitchesTheModeUncoversTheLogOnFailureAndShutdownRestores) {
    SystemDisplayMode first;
    ASSERT_TRUE(windowSystem().enumDisplaySettings(0, first));
    XlibTestForm form(640, 480);
    int oldWidth = DisplayWidth(form.display, DefaultScreen(form.display));
    SaverRequirements requirements;
    requirements.minPerformance = 2'000'000'000;
    DisplayMode mode{800, 600, 32, 0};
    std::unique_ptr<GLV> view;
    int32_t performance = -1;
    EXPECT_EQ(InitGraphics(&view, form, requirements, mode, &performance), 0);
    EXPECT_EQ(mode.refreshRate, 60);
    EXPECT_EQ(form.w, 800);

    Display* probe = XOpenDisplay(nullptr);
    EXPECT_EQ(DisplayWidth(probe, DefaultScreen(probe)), 800);
    XCloseDisplay(probe);

    ASSERT_EQ(form.paints, 1);
    EXPECT_EQ(form.painted.back().text, "Exception: Graphics performance test failed");
    EXPECT_EQ(form.viewableChildren(), 0);
    ASSERT_NE(view, nullptr);
    ShutdownGraphics(std::move(view));

    probe = XOpenDisplay(nullptr);
    EXPECT_EQ(DisplayWidth(probe, DefaultScreen(probe)), oldWidth);
    XCloseDisplay(probe);
}

TEST(InitGraphicsOnX, ShutdownWithoutAViewOnlyRestoresTheMode) {
    ShutdownGraphics(nullptr);
}

} // namespace
