// picture.cpp: drawing moments of the show, their frame files, and the
// comparison of two pictures.
#include "tools/picture.h"

#include <png.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/headless.h"
#include "host/loop.h"
#include "render/frame.h"
#include "sync/content.h"
#include "sync/sync.h"
#include "sync/tweak.h"

namespace picture {
namespace {

typedef void(OSTREL_GLAPI* ReadPixels)(GLint, GLint, GLsizei, GLsizei, GLenum, GLenum, void*);
typedef void(OSTREL_GLAPI* ReadBuffer)(GLenum);
typedef void(OSTREL_GLAPI* Finish)();

const char* const kTimesKey = "Ostrel show times";
const char* const kDofKey = "Ostrel depth of field";

double nowMs() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

bool fail(std::string* error, const std::string& line) {
    if (error) *error = line;
    return false;
}

bool loadTracks(SyncTrack* tracks[trackCount], std::string* error) {
    SyncDevice* device = createSyncDevice();
    for (int t = 0; t < trackCount; ++t) {
        tracks[t] = device ? getTrack(device, ostrelContent.trackKeyData[t]) : nullptr;
        if (!tracks[t]) return fail(error, std::string("picture: track ") + trackNames[t] +
                                               " cannot be loaded");
    }
    return true;
}

std::string joined(const std::vector<int>& times) {
    std::string s;
    for (std::size_t i = 0; i < times.size(); ++i)
        s += (i ? "," : "") + std::to_string(times[i]);
    return s;
}

}  // namespace

bool parseTimes(const char* text, std::vector<int>& times) {
    times.clear();
    for (const char* p = text; *p;) {
        char* end = nullptr;
        const long t = std::strtol(p, &end, 10);
        if (end == p || t < 0 || t > 100000000 || (*end != ',' && *end != '\0')) return false;
        times.push_back(int(t));
        p = *end == ',' ? end + 1 : end;
    }
    return !times.empty();
}

bool wholeShow(int every, std::vector<int>& times, std::string* error) {
    SyncTrack* tracks[trackCount];
    if (every <= 0) return fail(error, "picture: the spacing must be positive");
    if (!loadTracks(tracks, error)) return false;
    int end = 0;
    while (end < 3600000 && getTrackValue(tracks[scene], rowAt(end)) >= -2.0) ++end;
    times.clear();
    for (int t = 0; t <= end; t += every) times.push_back(t);
    return true;
}

bool draw(Frames& frames, std::string* error) {
    GlFunctions gl;
    if (!createHeadlessContext(gl, error)) return false;
    auto readPixels = reinterpret_cast<ReadPixels>(headlessGlFunction("glReadPixels"));
    auto readBuffer = reinterpret_cast<ReadBuffer>(headlessGlFunction("glReadBuffer"));
    auto finish = reinterpret_cast<Finish>(headlessGlFunction("glFinish"));
    if (!readPixels || !readBuffer || !finish)
        return fail(error, "picture: the context cannot read pixels");

    EmbeddedContent& content = ostrelContent;
    content.renderWidth = float(frames.width);
    content.renderHeight = float(frames.height);
    static RenderResources resources;
    const double start = nowMs();
    if (!createRenderResources(gl, content, 1.0f, resources, error)) return false;
    finish();
    frames.startupMs = nowMs() - start;
    RenderTarget output = createRenderTarget(gl, frames.width, frames.height, GL_FLOAT, 1);
    resources.outputFramebuffer = output.framebuffer;
    loadTweakSettings(content, resources.fd, resources.focus);
    content.dofEnabled = frames.dof ? 1 : 0;

    SyncTrack* tracks[trackCount];
    if (!loadTracks(tracks, error)) return false;

    const std::size_t pixels = std::size_t(frames.width) * std::size_t(frames.height);
    std::vector<float> colour(pixels * 4u);
    frames.rgb.clear();
    for (int ms : frames.times) {
        TrackData values{};
        evaluateTracks(tracks, rowAt(ms), values);
        resources.fd.T0 = showClock(ms);
        const double frameStart = nowMs();
        renderFrame(gl, resources, content, values, ms);
        if (frames.rgb.empty()) {
            finish();
            frames.firstFrameMs = nowMs() - frameStart;
        }
        gl.glBindFramebuffer(GL_FRAMEBUFFER, output.framebuffer);
        readBuffer(GL_COLOR_ATTACHMENT0);
        readPixels(0, 0, frames.width, frames.height, GL_RGBA, GL_FLOAT, colour.data());
        gl.glBindFramebuffer(GL_FRAMEBUFFER, 0);

        std::vector<std::uint8_t> rgb(pixels * 3u);
        for (int y = 0; y < frames.height; ++y)
            for (int x = 0; x < frames.width; ++x) {
                // GL rows run bottom to top.
                const float* p = &colour[4u * (std::size_t(frames.height - 1 - y) * frames.width + x)];
                std::uint8_t* q = &rgb[3u * (std::size_t(y) * frames.width + x)];
                const bool finite = std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]);
                for (int c = 0; c < 3; ++c) {
                    const float v = finite ? std::min(std::max(p[c], 0.0f), 1.0f) : (c == 1 ? 0.0f : 1.0f);
                    q[c] = std::uint8_t(std::lround(v * 255.0f));
                }
            }
        frames.rgb.push_back(std::move(rgb));
    }
    return true;
}

bool write(const std::string& path, const Frames& frames, std::string* error) {
    const std::size_t row = std::size_t(frames.width) * 3u;
    if (frames.rgb.empty() || frames.rgb.size() != frames.times.size())
        return fail(error, "picture: no frames to write to " + path);
    const std::string times = joined(frames.times);
    const char* dof = frames.dof ? "1" : "0";
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return fail(error, "picture: cannot write " + path);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        return fail(error, "picture: writing " + path + " failed");
    }
    png_init_io(png, file);
    png_set_compression_level(png, 9);
    png_set_IHDR(png, info, png_uint_32(frames.width),
                 png_uint_32(frames.height * int(frames.rgb.size())), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_text text[2] = {};
    text[0].compression = PNG_TEXT_COMPRESSION_NONE;
    text[0].key = const_cast<char*>(kTimesKey);
    text[0].text = const_cast<char*>(times.c_str());
    text[1].compression = PNG_TEXT_COMPRESSION_NONE;
    text[1].key = const_cast<char*>(kDofKey);
    text[1].text = const_cast<char*>(dof);
    png_set_text(png, info, text, 2);
    png_write_info(png, info);
    for (const std::vector<std::uint8_t>& frame : frames.rgb)
        for (int y = 0; y < frames.height; ++y)
            png_write_row(png, const_cast<png_bytep>(&frame[row * std::size_t(y)]));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0 || fail(error, "picture: writing " + path + " failed");
}

bool read(const std::string& path, Frames& frames, std::string* error) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return fail(error, "picture: cannot read " + path);
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(file);
        return fail(error, "picture: " + path + " is not a readable PNG");
    }
    png_init_io(png, file);
    png_read_info(png, info);
    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    const bool rgb8 = png_get_bit_depth(png, info) == 8 &&
                      png_get_color_type(png, info) == PNG_COLOR_TYPE_RGB &&
                      png_get_interlace_type(png, info) == PNG_INTERLACE_NONE;
    png_textp text = nullptr;
    int textCount = 0;
    png_get_text(png, info, &text, &textCount);
    bool haveTimes = false;
    frames.dof = true;
    for (int i = 0; i < textCount; ++i) {
        if (std::strcmp(text[i].key, kTimesKey) == 0) haveTimes = parseTimes(text[i].text, frames.times);
        if (std::strcmp(text[i].key, kDofKey) == 0) frames.dof = std::strcmp(text[i].text, "0") != 0;
    }
    const std::size_t count = haveTimes ? frames.times.size() : 0;
    if (!rgb8 || count == 0 || width == 0 || height % count != 0 || width > 8192 ||
        height / count > 8192) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(file);
        return fail(error, "picture: " + path + " is no frame file (8-bit RGB with its show times)");
    }
    frames.width = int(width);
    frames.height = int(height / count);
    const std::size_t row = std::size_t(width) * 3u;
    frames.rgb.assign(count, std::vector<std::uint8_t>(row * std::size_t(frames.height)));
    for (std::vector<std::uint8_t>& frame : frames.rgb)
        for (int y = 0; y < frames.height; ++y) png_read_row(png, &frame[row * std::size_t(y)], nullptr);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    return true;
}

Difference compare(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
    Difference d = {0.0, 255.0, 255};
    if (a.size() != b.size() || a.empty() || a.size() % 3 != 0) return d;
    std::size_t within = 0, total = 0;
    int largest = 0;
    for (std::size_t i = 0; i < a.size(); i += 3) {
        int worst = 0;
        for (std::size_t c = 0; c < 3; ++c) {
            const int diff = std::abs(int(a[i + c]) - int(b[i + c]));
            worst = std::max(worst, diff);
            total += std::size_t(diff);
        }
        if (worst <= 2) ++within;
        largest = std::max(largest, worst);
    }
    d.within = double(within) / double(a.size() / 3);
    d.mean = double(total) / double(a.size());
    d.largest = largest;
    return d;
}

bool alike(const Difference& d) { return d.within >= 0.99 && d.mean <= 0.5; }

}  // namespace picture
