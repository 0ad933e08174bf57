#include "logo_intro/logo_intro.h"

#include "common/multitexture.h"
#include "datfile/datfile.h"
#include "glv_main/glv_main.h"
#include "logo_intro/intro_animation.h"
#include "logo_intro/intro_state.h"
#include "platform/exception.h"
#include "platform/gl.h"
#include "platform/process.h"
#include "texture/texture.h"

#include <cstdlib>
#include <ctime>

IntroState introState;

IntroState::IntroState() = default;

IntroState::~IntroState() {
    // Only reached at process exit, when the run ended during the intro: the GL context and
    // its texture names are gone by then, so only the pixels are freed.
    for (Texture* texture : {logoTexture.get(), smokeTexture.get(), shineTexture.get()}) {
        if (texture != nullptr) {
            texture->uploaded = false;
        }
    }
}

namespace {

void swapView(GLV* view) {
    if (view != nullptr) {
        view->Swap();
    }
}

TickSource tickSource = tickCount;
void (*presenter)(GLV*) = swapView;

const char* const dataFileName = "logo.dat";

std::unique_ptr<Texture> textureFrom(const DatFile& data, const char* pictureName) {
    const Bitmap* picture = data.getBitmap(pictureName);
    if (picture == nullptr) {
        throw Exception(std::string("The picture ") + pictureName + " is missing from " +
                        dataFileName);
    }
    return std::make_unique<Texture>(*picture, false, 0);
}

// The one place where the intro's resources go: textures first, then the data file that the
// logo pixels point into.
void releaseResources(IntroState& state) {
    state.logoTexture.reset();
    state.smokeTexture.reset();
    state.shineTexture.reset();
    state.logoPixels = LogoPixels();
    state.logoData.reset();
}

// A particle at life 0 or below has alpha 0 everywhere (OpenGL clamps the negative centre
// alpha), so with additive blending it adds nothing and is not sent; many of them only wait
// for a bright pixel under the sweep.
bool visible(float life) {
    return life > 0;
}

void drawBeams(const IntroState& state, const IntroStep& step) {
    activeTextureARB(GL_TEXTURE0_ARB);
    state.logoTexture->Bind();
    activeTextureARB(GL_TEXTURE1_ARB);
    state.smokeTexture->Bind();
    // At glow 0 the beams add nothing; they cover much of the screen, so they are not sent.
    const int beams = step.glow > 0 ? introBeamCount : 0;
    glBegin(GL_QUADS);
    for (int b = 0; b < beams; ++b) {
        glColor4f(0.8f, 0.8f, 1.0f, 0.4f * step.glow);
        for (const BeamVertex& v : beamQuad(step.sweep, b)) {
            multiTexCoord2fARB(GL_TEXTURE0_ARB, v.logoU, v.logoV);
            multiTexCoord2fARB(GL_TEXTURE1_ARB, v.smokeU, v.smokeV);
            glVertex3f(v.position.x, v.position.y, v.position.z);
        }
    }
    glEnd();
    // Unit 1 only: unit 0 keeps the logo for the next quads.
    glDisable(GL_TEXTURE_2D);
}

void drawLogo(const IntroState& state, const IntroStep& step) {
    const float sweep = step.sweep;
    const float u = sweep + 0.5f;
    const float a = state.logoAlpha;
    glBegin(GL_QUADS);
    glColor4f(1, 1, 1, a);
    glTexCoord2f(0, 0);
    glVertex3f(-0.5f, -0.2f, 0);
    glTexCoord2f(0, 1);
    glVertex3f(-0.5f, 0.2f, 0);
    glTexCoord2f(u, 1);
    glVertex3f(sweep, 0.2f, 0);
    glTexCoord2f(u, 0);
    glVertex3f(sweep, -0.2f, 0);

    const float e = logoEdgeU(sweep);
    glTexCoord2f(u, 0);
    glVertex3f(sweep, -0.2f, 0);
    glTexCoord2f(u, 1);
    glVertex3f(sweep, 0.2f, 0);
    glColor4f(1, 1, 1, 0);
    glTexCoord2f(e, 1);
    glVertex3f(sweep + 0.05f, 0.2f, 0);
    glTexCoord2f(e, 0);
    glVertex3f(sweep + 0.05f, -0.2f, 0);
    glEnd();
}

void drawShineBar(const IntroState& state, const IntroStep& step) {
    activeTextureARB(GL_TEXTURE0_ARB);
    state.shineTexture->Bind();
    std::array<float, introShineRowsMax> rows;
    const int rowCount = shineRows(rows);
    const float centre = step.sweep + 0.02f;
    const float u = step.sweep * 0.5f + 0.5f;
    // The second pass doubles the light the first one added.
    const int passes = step.glow > 0 ? 2 : 0; // nothing to add at glow 0
    for (int pass = 0; pass < passes; ++pass) {
        for (float side = -1; side <= 1; side += 2) {
            glBegin(GL_QUAD_STRIP);
            for (int i = 0; i < rowCount; ++i) {
                const float y = rows[i];
                multiTexCoord2fARB(GL_TEXTURE0_ARB, u, (y * 0.5f / 0.2f) * 0.5f + 0.5f);
                glColor4f(0, 0, 0, 0);
                glVertex3f(side * 0.1f + centre, y, 0);
                glColor4f(1, 1, 1, step.glow);
                glVertex3f(centre, y, 0);
            }
            glEnd();
        }
    }
}

void drawPuffs(IntroState& state, const IntroStep& step) {
    state.smokeTexture->Bind();
    for (int i = 0; i < introPuffCount; ++i) {
        updatePuff(state, i, step);
        if (!visible(state.puffLife[i])) {
            continue;
        }
        const Vector3 p = state.puffPos[i];
        glPushMatrix();
        glTranslatef(p.x, p.y, 0);
        glBegin(GL_TRIANGLE_FAN);
        glColor4f(1, 1, 1, 0.2f * state.puffLife[i]);
        glTexCoord2f(0.5f, 0.5f);
        glVertex3f(0, 0, 0);
        glColor4f(1, 1, 1, 0);
        glTexCoord2f(1, 0.5f);
        glVertex3f(0.2f, 0, 0);
        glTexCoord2f(0.5f, 1);
        glVertex3f(0, 0.2f, 0);
        glTexCoord2f(0, 0.5f);
        glVertex3f(-0.2f, 0, 0);
        glTexCoord2f(0.5f, 0);
        glVertex3f(0, -0.2f, 0);
        glTexCoord2f(1, 0.5f);
        glVertex3f(0.2f, 0, 0);
        glEnd();
        glPopMatrix();
    }
    // Sparks are untextured.
    glDisable(GL_TEXTURE_2D);
}

void drawSparks(IntroState& state, const IntroStep& step) {
    for (int i = 0; i < introSparkCount; ++i) {
        updateSpark(state, i, step);
        if (!visible(state.sparkLife[i])) {
            continue;
        }
        const SparkShape s = sparkShape(state.sparkPos[i], state.sparkVel[i]);
        glBegin(GL_TRIANGLE_FAN);
        glColor4f(1, 1, 1, state.sparkLife[i]);
        glVertex3f(s.head.x, s.head.y, s.head.z);
        glColor4f(1.0f, 0.4f, 0.3f, 0);
        glVertex3f(s.tail.x, s.tail.y, s.tail.z);
        glVertex3f(s.front.x - 0.009f, s.front.y, s.front.z);
        glVertex3f(s.front.x + 0.009f, s.front.y, s.front.z);
        glVertex3f(s.tail.x, s.tail.y, s.tail.z);
        glEnd();
    }
}

} // namespace

void setIntroTickSource(uint32_t (*tick)()) {
    tickSource = tick != nullptr ? tick : tickCount;
}

void setIntroPresenter(void (*present)(GLV*)) {
    presenter = present != nullptr ? present : swapView;
}

void introSetup(GLV* view) {
    IntroState& state = introState;
    if (state.logoData != nullptr) {
        // A set-up over one that has not ended: give back what the first one made.
        releaseResources(state);
        glPopAttrib();
    }
    state.view = view;
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    placeParticles(state);
    try {
        state.logoData = std::make_unique<DatFile>(dataFileName);
        state.logoTexture = textureFrom(*state.logoData, "logo1.bmp");
        state.smokeTexture = textureFrom(*state.logoData, "smoke.bmp");
        state.shineTexture = textureFrom(*state.logoData, "shine.bmp");
        state.logoPixels = logoPixelsOf(*state.logoData->getBitmap("logo1.bmp"));
    } catch (...) {
        // Never leave a half-made intro: the run goes on to the effect without it.
        releaseResources(state);
        glPopAttrib();
        throw;
    }
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
}

int introFrame() {
    IntroState& state = introState;
    if (state.logoData == nullptr) {
        return 0;
    }
    const IntroStep step = advanceClock(state, tickSource);

    glClear(GL_COLOR_BUFFER_BIT);
    glLoadIdentity();
    gluLookAt(0, -0.2, 1.5, 0, 0, 0, 0, 1, 0);

    drawBeams(state, step);
    updateLogoAlpha(state, step);
    drawLogo(state, step);

    if (state.introClock > 10) {
        releaseResources(state);
        glPopAttrib();
        activeTextureARB(GL_TEXTURE0_ARB);
        return 0;
    }

    drawShineBar(state, step);
    drawPuffs(state, step);
    drawSparks(state, step);
    presenter(state.view);
    return 1;
}
