// pictures.cpp: the full and the low picture, and the full one in bands.
#include "tools/studio/pictures.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "sync/content.h"

namespace studio {

namespace {

constexpr int lowDivisors[] = {4, 6, 8, 12, 16};
constexpr int lowSizes = int(sizeof lowDivisors / sizeof lowDivisors[0]);
constexpr double lowAim = 120.0;  // ms a low picture may take
constexpr int bandCount = pictureBands;
constexpr GLenum scissorTest = 0x0C11, viewportQuery = 0x0BA2;

struct Banding {
    bool on = false, abandoned = false;
    int bands = 0;  // of the last banded draw call, drawn
    bool (*wanted)() = nullptr;
    void(OSTREL_GLAPI* draw)(GLenum, GLint, GLsizei) = nullptr;
    void(OSTREL_GLAPI* scissor)(GLint, GLint, GLsizei, GLsizei) = nullptr;
    void(OSTREL_GLAPI* enable)(GLenum) = nullptr;
    void(OSTREL_GLAPI* disable)(GLenum) = nullptr;
    void(OSTREL_GLAPI* finish)() = nullptr;
    void(OSTREL_GLAPI* getIntegerv)(GLenum, GLint*) = nullptr;
};
Banding banding;

void OSTREL_GLAPI bandedDraw(GLenum mode, GLint first, GLsizei count) {
    if (!banding.on) return banding.draw(mode, first, count);
    if (banding.abandoned) return;
    GLint viewport[4] = {0, 0, 0, 0};
    banding.getIntegerv(viewportQuery, viewport);
    banding.enable(scissorTest);
    for (int b = 0; b < bandCount && !banding.abandoned; ++b) {
        const GLint y0 = viewport[1] + viewport[3] * b / bandCount;
        const GLint y1 = viewport[1] + viewport[3] * (b + 1) / bandCount;
        banding.scissor(viewport[0], y0, viewport[2], y1 - y0);
        banding.draw(mode, first, count);
        banding.finish();
        banding.bands = b + 1;
        banding.abandoned = banding.wanted();
    }
    banding.disable(scissorTest);
}

void release(Pictures& all, Picture& p) {
    for (RenderTarget* t : {&p.scene, &p.bloom, &p.bloomSwap, &p.dof, &p.output})
        releaseTarget(all.release, *t);
}

// Puts a picture's targets and size in the moment's place (and back).
void swapIn(ShowMoment& m, Picture& p) {
    RenderResources& r = m.resources;
    std::swap(r.sceneTarget, p.scene);
    std::swap(r.bloomTarget, p.bloom);
    std::swap(r.bloomSwapTarget, p.bloomSwap);
    std::swap(r.dofTarget, p.dof);
    std::swap(r.sceneWidth, p.sceneWidth);
    std::swap(r.sceneHeight, p.sceneHeight);
    EmbeddedContent& c = *m.content;
    float w = float(p.width), h = float(p.height);
    std::swap(c.renderWidth, w);
    std::swap(c.renderHeight, h);
    p.width = int(w);
    p.height = int(h);
}

bool make(Pictures& all, ShowMoment& m, Picture& p, int width, int height, std::string* error) {
    release(all, p);
    EmbeddedContent& c = *m.content;
    const float oldWidth = c.renderWidth, oldHeight = c.renderHeight;
    c.renderWidth = float(width);
    c.renderHeight = float(height);
    RenderResources made = m.resources;
    const bool ok = createRenderTargets(m.gl, c, all.sceneScale, made, error);
    c.renderWidth = oldWidth;
    c.renderHeight = oldHeight;
    p.scene = made.sceneTarget;
    p.bloom = made.bloomTarget;
    p.bloomSwap = made.bloomSwapTarget;
    p.dof = made.dofTarget;
    p.sceneWidth = made.sceneWidth;
    p.sceneHeight = made.sceneHeight;
    p.width = width;
    p.height = height;
    p.output = createRenderTarget(m.gl, width, height, GL_FLOAT, 1);
    return ok;
}

bool makeLow(Pictures& p, ShowMoment& m, std::string* error) {
    const int d = lowDivisors[p.lowStep];
    return make(p, m, p.low, std::max(1, p.width / d), std::max(1, p.height / d), error);
}

}  // namespace

bool startBanding(GlFunctions& gl, GlLookup lookup, void* context, bool (*wanted)()) {
    Banding b;
    b.wanted = wanted;
    b.draw = gl.glDrawArrays;
    b.getIntegerv = gl.glGetIntegerv;
    b.scissor = reinterpret_cast<decltype(b.scissor)>(lookup("glScissor", context));
    b.enable = reinterpret_cast<decltype(b.enable)>(lookup("glEnable", context));
    b.disable = reinterpret_cast<decltype(b.disable)>(lookup("glDisable", context));
    b.finish = reinterpret_cast<decltype(b.finish)>(lookup("glFinish", context));
    if (!b.scissor || !b.enable || !b.disable || !b.finish || !b.draw || !wanted) return false;
    banding = b;
    gl.glDrawArrays = bandedDraw;
    return true;
}

bool makePictures(Pictures& p, ShowMoment& m, int width, int height, std::string* error) {
    p.width = width;
    p.height = height;
    p.shownFull = false;
    return make(p, m, p.full, width, height, error) && makeLow(p, m, error);
}

bool drawPicture(Pictures& p, ShowMoment& m, const TrackData& tracks, std::int32_t time,
                 bool full, std::string* error) {
    const auto start = std::chrono::steady_clock::now();
    Picture& picture = full ? p.full : p.low;
    swapIn(m, picture);
    const GLuint output = m.resources.outputFramebuffer;
    m.resources.outputFramebuffer = picture.output.framebuffer;
    const bool onward = p.lastDrawn >= 0 && time >= p.lastDrawn && time - p.lastDrawn < 250;
    banding.on = full && m.gl.glDrawArrays == bandedDraw;
    banding.abandoned = false;
    drawMoment(m, tracks, time, onward ? p.lastDrawn : time);
    banding.on = false;
    m.resources.outputFramebuffer = output;
    swapIn(m, picture);
    if (banding.abandoned) {  // input came: it gets a picture first
        p.givenUp = banding.bands;
        p.shownFull = false;
        return false;
    }
    p.givenUp = 0;
    p.milliseconds =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count();
    p.lastDrawn = time;
    p.shownFull = full;
    if (!full) {
        const int was = p.lowStep;
        if (p.milliseconds > lowAim && p.lowStep < lowSizes - 1) ++p.lowStep;
        if (p.milliseconds < lowAim * 0.3 && p.lowStep > 0) --p.lowStep;
        if (p.lowStep != was && !makeLow(p, m, error)) return true;
    }
    return true;
}

const Picture& shownPicture(const Pictures& p) { return p.shownFull ? p.full : p.low; }

void releasePictures(Pictures& p) {
    release(p, p.full);
    release(p, p.low);
}

}  // namespace studio
