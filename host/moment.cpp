// moment.cpp: render resources, tweaks and tracks as the show has them, and
// one frame at a chosen show time.
#include "host/moment.h"

#include <algorithm>
#include <cmath>

#include "host/headless.h"
#include "sync/content.h"

namespace {

const GLenum GL_PIXEL_PACK_BUFFER = 0x88EB;
const GLenum GL_STREAM_READ = 0x88E1;
const GLbitfield GL_MAP_READ_BIT = 0x0001;

GLsizeiptr frameBytes(const ShowMoment& m) {
    return GLsizeiptr(m.width) * GLsizeiptr(m.height) * GLsizeiptr(4 * sizeof(float));
}

void* headlessLookup(const char* name, void*) { return headlessGlFunction(name); }

bool fail(std::string* error, const std::string& line) {
    if (error) *error = line;
    return false;
}

}  // namespace

bool openMoment(ShowMoment& moment, EmbeddedContent& content, const MomentOptions& options,
                std::string* error) {
    GlFunctions gl{};
    if (!createHeadlessContext(gl, error)) return false;
    return prepareMoment(moment, gl, headlessLookup, nullptr, content, options, error);
}

bool prepareMoment(ShowMoment& m, const GlFunctions& gl, GlLookup lookup, void* lookupContext,
                   EmbeddedContent& content, const MomentOptions& options, std::string* error) {
    if (options.width <= 0 || options.height <= 0)
        return fail(error, "moment: the render size " + std::to_string(options.width) + " x " +
                               std::to_string(options.height) + " has no pixels");
    m.gl = gl;
    m.content = &content;
    m.width = options.width;
    m.height = options.height;
    m.readPixels = reinterpret_cast<ReadPixelsFunction>(lookup("glReadPixels", lookupContext));
    m.readBuffer = reinterpret_cast<ReadBufferFunction>(lookup("glReadBuffer", lookupContext));
    m.mapBufferRange =
        reinterpret_cast<MapBufferRangeFunction>(lookup("glMapBufferRange", lookupContext));
    m.unmapBuffer = reinterpret_cast<UnmapBufferFunction>(lookup("glUnmapBuffer", lookupContext));
    m.finish = reinterpret_cast<FinishFunction>(lookup("glFinish", lookupContext));
    if (m.readPixels == nullptr || m.readBuffer == nullptr || m.mapBufferRange == nullptr ||
        m.unmapBuffer == nullptr || m.finish == nullptr)
        return fail(error, "moment: the context cannot read pixels back");

    content.renderWidth = float(options.width);
    content.renderHeight = float(options.height);
    if (!createRenderResources(gl, content, options.sceneScale, m.resources, error)) return false;
    m.output = createRenderTarget(gl, options.width, options.height, GL_FLOAT, 1);
    m.resources.outputFramebuffer = m.output.framebuffer;

    loadTweakSettings(content, m.resources.fd, m.resources.focus);
    if (options.overrideBloom) content.bloomPasses = options.bloomPasses;
    if (options.dof >= 0) content.dofEnabled = std::uint8_t(options.dof != 0);
    return loadShowTracks(content, m.tracks, error);
}

FrameValues renderMoment(ShowMoment& m, std::int32_t showTime, std::int32_t clockTime) {
    const FrameValues frame = frameValuesAt(m.tracks.tracks, showTime);
    drawMoment(m, frame.tracks, showTime, clockTime);
    return frame;
}

void drawMoment(ShowMoment& m, const TrackData& tracks, std::int32_t showTime,
                std::int32_t clockTime) {
    // The show binds its four uniform buffers once; a process with more
    // than one set of resources binds this moment's again.
    const RenderResources& r = m.resources;
    const GLuint buffers[4] = {r.fdBuffer, r.trackBuffer, r.focusBuffer, r.bloomBuffer};
    for (GLuint i = 0; i < 4; ++i) m.gl.glBindBufferBase(GL_UNIFORM_BUFFER, i, buffers[i]);
    m.resources.fd.T0 = showClock(clockTime);
    renderFrame(m.gl, m.resources, *m.content, tracks, showTime);
}

bool showEndsAt(const ShowTracks& tracks, std::int32_t showTime) {
    return frameValuesAt(tracks.tracks, showTime).end.quit;
}

void readMoment(const ShowMoment& m, std::vector<float>& rgba) {
    rgba.assign(std::size_t(m.width) * std::size_t(m.height) * 4u, 0.0f);
    m.gl.glBindFramebuffer(GL_FRAMEBUFFER, m.output.framebuffer);
    m.readBuffer(GL_COLOR_ATTACHMENT0);
    m.readPixels(0, 0, m.width, m.height, GL_RGBA, GL_FLOAT, rgba.data());
    m.gl.glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

void momentToRgb(const float* rgba, int width, int height, std::uint8_t* rgb) {
    for (int y = 0; y < height; ++y) {
        const float* row = rgba + std::size_t(height - 1 - y) * std::size_t(width) * 4u;
        std::uint8_t* out = rgb + std::size_t(y) * std::size_t(width) * 3u;
        for (int x = 0; x < width; ++x, row += 4, out += 3) {
            const bool finite =
                std::isfinite(row[0]) && std::isfinite(row[1]) && std::isfinite(row[2]);
            for (int c = 0; c < 3; ++c) {
                const float v = finite ? std::min(std::max(row[c], 0.0f), 1.0f)
                                       : (c == 1 ? 0.0f : 1.0f);
                out[c] = std::uint8_t(std::lround(v * 255.0f));
            }
        }
    }
}

void openReadback(ShowMoment& m, MomentReadback& r) {
    r = MomentReadback{};
    m.gl.glGenBuffers(2, r.buffers);
    for (GLuint buffer : r.buffers) {
        m.gl.glBindBuffer(GL_PIXEL_PACK_BUFFER, buffer);
        m.gl.glBufferData(GL_PIXEL_PACK_BUFFER, frameBytes(m), nullptr, GL_STREAM_READ);
    }
    m.gl.glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
}

void queueRead(ShowMoment& m, MomentReadback& r) {
    m.gl.glBindFramebuffer(GL_FRAMEBUFFER, m.output.framebuffer);
    m.readBuffer(GL_COLOR_ATTACHMENT0);
    m.gl.glBindBuffer(GL_PIXEL_PACK_BUFFER, r.buffers[r.queued % 2]);
    m.readPixels(0, 0, m.width, m.height, GL_RGBA, GL_FLOAT, nullptr);
    m.gl.glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    m.gl.glBindFramebuffer(GL_FRAMEBUFFER, 0);
    ++r.queued;
}

const float* mapRead(ShowMoment& m, MomentReadback& r) {
    if (r.taken >= r.queued) return nullptr;
    m.gl.glBindBuffer(GL_PIXEL_PACK_BUFFER, r.buffers[r.taken % 2]);
    return static_cast<const float*>(
        m.mapBufferRange(GL_PIXEL_PACK_BUFFER, 0, frameBytes(m), GL_MAP_READ_BIT));
}

bool unmapRead(ShowMoment& m, MomentReadback& r) {
    m.gl.glBindBuffer(GL_PIXEL_PACK_BUFFER, r.buffers[r.taken % 2]);
    const bool kept = m.unmapBuffer(GL_PIXEL_PACK_BUFFER) != 0;
    m.gl.glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    ++r.taken;
    return kept;
}

void finishMoment(const ShowMoment& m) { m.finish(); }
