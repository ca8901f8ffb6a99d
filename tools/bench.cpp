// ostrel-bench: how long the render pipeline takes, pass by pass.
//
// Renders frames of the show headless (EGL; llvmpipe on a machine without a
// GPU) at a chosen render size, scene scale and show time, with the track
// values the show would have at that time and the shipped tweak settings,
// and prints:
//   - start-up: each program's build (compile and link), the noise
//     texture's dispatch, the whole of createRenderResources;
//   - per pass of a frame: GPU milliseconds from timestamp queries around
//     the pass's draw, and wall milliseconds from a glFinish before and
//     after it (on a software rasteriser the two can differ: timestamps are
//     taken when the driver reaches the query);
//   - the first frame separately, since a software rasteriser compiles each
//     program to machine code at its first draw.
//
// It wraps entries of a copy of the GlFunctions table (glDrawArrays,
// glUseProgram, glCreateProgram, glGetProgramiv, glDispatchCompute) to take
// the times; the render code itself is the show's, unchanged. The shader
// cache is switched off so that program builds are measured honestly.
//
//   ostrel-bench [--size 512x384] [--scale 1.0] [--time 60000] [--frames 5]
//                [--bloom N] [--dof 0|1]
//
// A time past the show's end and a scale that leaves the scene pass no
// pixel are refused before anything is drawn (tools/common/checks.h).
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/headless.h"
#include "host/moment.h"
#include "sync/content.h"
#include "tools/common/checks.h"
#include "tools/common/options.h"

namespace {

typedef void(OSTREL_GLAPI* GenQueries)(GLsizei, GLuint*);
typedef void(OSTREL_GLAPI* QueryCounter)(GLuint, GLenum);
typedef void(OSTREL_GLAPI* GetQueryObjectui64v)(GLuint, GLenum, std::uint64_t*);
typedef void(OSTREL_GLAPI* Finish)();

const GLenum GL_TIMESTAMP = 0x8E28;
const GLenum GL_QUERY_RESULT = 0x8866;

struct Options {
    int width = 512, height = 384;
    float scale = 1.0f;
    int time = 60000;
    int frames = 5;
    int bloom = 0;
    bool bloomGiven = false;
    int dof = -1;
};

// One timed draw.
struct PassTime {
    GLuint program;
    GLuint framebuffer;
    double wallMs;
    GLuint queries[2];
};

// One timed span of start-up.
struct Span {
    std::string what;
    double ms;
};

GlFunctions real;  // the context's own entry points
GenQueries glGenQueries;
QueryCounter glQueryCounter;
GetQueryObjectui64v glGetQueryObjectui64v;
Finish glFinish;

std::vector<PassTime> passes;  // the draws of the frame being measured
std::vector<Span> startup;
GLuint currentProgram = 0, currentFramebuffer = 0;
int programsBuilt = 0;
double programStart = 0.0;
// The scene program's four builds (render/frame.h) by what they draw.
const char* const programNames[9] = {"noise", "tonemap", "scene (cluster)", "scene (blob)",
                                     "scene (effect)", "scene (effect, still)", "bloom",
                                     "composite", "depth-of-field"};

double nowMs() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

void OSTREL_GLAPI timedDrawArrays(GLenum mode, GLint first, GLsizei count) {
    PassTime pass = {currentProgram, currentFramebuffer, 0.0, {0, 0}};
    glGenQueries(2, pass.queries);
    glFinish();
    const double start = nowMs();
    glQueryCounter(pass.queries[0], GL_TIMESTAMP);
    real.glDrawArrays(mode, first, count);
    glQueryCounter(pass.queries[1], GL_TIMESTAMP);
    glFinish();
    pass.wallMs = nowMs() - start;
    passes.push_back(pass);
}

void OSTREL_GLAPI trackedUseProgram(GLuint program) {
    currentProgram = program;
    real.glUseProgram(program);
}

void OSTREL_GLAPI trackedBindFramebuffer(GLenum target, GLuint framebuffer) {
    currentFramebuffer = framebuffer;
    real.glBindFramebuffer(target, framebuffer);
}

// A program's build runs from glCreateProgram to the link-status check
// that follows its link.
GLuint OSTREL_GLAPI timedCreateProgram() {
    glFinish();
    programStart = nowMs();
    return real.glCreateProgram();
}

void OSTREL_GLAPI timedGetProgramiv(GLuint program, GLenum pname, GLint* params) {
    real.glGetProgramiv(program, pname, params);
    if (pname == GL_LINK_STATUS) {
        glFinish();
        const char* name = programsBuilt < 9 ? programNames[programsBuilt] : "other";
        startup.push_back({std::string(name) + " program build", nowMs() - programStart});
        ++programsBuilt;
    }
}

void OSTREL_GLAPI timedDispatchCompute(GLuint x, GLuint y, GLuint z) {
    glFinish();
    const double start = nowMs();
    real.glDispatchCompute(x, y, z);
    glFinish();
    startup.push_back({"noise dispatch (2048 x 2048)", nowMs() - start});
}

std::string passName(const RenderResources& r, const PassTime& pass, int index, int& chain) {
    for (GLuint program : r.scenePrograms)
        if (pass.program == program) return "scene";
    if (pass.program == r.bloomProgram) {
        if (index == 1) return "first blur";
        return "bloom chain " + std::to_string(chain++);
    }
    if (pass.program == r.compositeProgram) return "composite";
    if (pass.program == r.dofProgram) return "depth of field";
    if (pass.program == r.tonemapProgram) return "tonemap and vignette";
    return "other";
}

double gpuMs(const PassTime& pass) {
    std::uint64_t begin = 0, end = 0;
    glGetQueryObjectui64v(pass.queries[0], GL_QUERY_RESULT, &begin);
    glGetQueryObjectui64v(pass.queries[1], GL_QUERY_RESULT, &end);
    return end >= begin ? static_cast<double>(end - begin) / 1e6 : 0.0;
}

// What the frame graph draws for `passes` bloom passes: nothing at 0 or
// less; otherwise the first blur and the chain passes whose output is read.
std::string bloomText(std::int32_t passes) {
    if (passes <= 0) return "no bloom";
    int drawn = 0;
    for (std::int32_t i = 0; i < passes; ++i) drawn += chainPassIsRead(i, passes) ? 1 : 0;
    return "bloom passes " + std::to_string(passes) + " (the first blur and " +
           std::to_string(drawn) + " of the chain drawn)";
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

}  // namespace

void* headlessLookup(const char* name, void*) { return headlessGlFunction(name); }

int main(int argc, char** argv) {
    Options options;
    OptionParser parser("ostrel-bench", "[options]",
                        "Renders frames of the show headless at a chosen moment and prints each "
                        "pass's GPU and wall\nmilliseconds and the start-up costs.");
    parser.size("--size", &options.width, &options.height,
                "render size, sides 1 to 8192 (default 512x384)");
    parser.number("--scale", "S", 0.0, 1.0, true, &options.scale,
                  "scene scale, above 0 up to 1 (default 1; 0.25 as the quarter build)");
    parser.integer("--time", "MS", 0, 3600000, &options.time,
                   "show time, 0 to the show's last frame (default 60000)");
    parser.integer("--frames", "N", 1, 1000, &options.frames,
                   "measured frames after the first, 1 to 1000 (default 5)");
    parser.custom("--bloom", "N",
                  [&](const std::string& v, std::string* why) {
                      std::int64_t n = 0;
                      if (!parseWhole(v, 0, 1000, &n, why)) return false;
                      options.bloom = int(n);
                      options.bloomGiven = true;
                      return true;
                  },
                  "bloom passes instead of the tweak setting, 0 (no bloom) to 1000\n"
                  "               (default: the tweak setting)");
    parser.integer("--dof", "0|1", 0, 1, &options.dof,
                   "depth of field off or on (default: as the tweak settings say)");
    const int status = parser.parse(argc, argv);
    if (status >= 0) return status;
    std::string error;
    {
        ShowTracks tracks;
        if (!loadShowTracks(ostrelContent, tracks, &error)) {
            std::fprintf(stderr, "ostrel-bench: %s\n", error.c_str());
            return 1;
        }
        if (!withinShow("--time " + std::to_string(options.time), options.time,
                        showLastFrame(tracks), &error) ||
            !sceneScaleFits(options.width, options.height, options.scale, &error))
            return parser.refuse(error);
    }
    // Program builds are measured only without the driver's shader cache.
    setenv("MESA_SHADER_CACHE_DISABLE", "true", 1);

    GlFunctions gl;
    if (!createHeadlessContext(gl, &error)) {
        std::fprintf(stderr, "ostrel-bench: %s\n", error.c_str());
        return 1;
    }
    glGenQueries = reinterpret_cast<GenQueries>(headlessGlFunction("glGenQueries"));
    glQueryCounter = reinterpret_cast<QueryCounter>(headlessGlFunction("glQueryCounter"));
    glGetQueryObjectui64v =
        reinterpret_cast<GetQueryObjectui64v>(headlessGlFunction("glGetQueryObjectui64v"));
    glFinish = reinterpret_cast<Finish>(headlessGlFunction("glFinish"));
    if (!glGenQueries || !glQueryCounter || !glGetQueryObjectui64v || !glFinish) {
        std::fprintf(stderr, "ostrel-bench: the context has no timer queries\n");
        return 1;
    }
    real = gl;
    GlFunctions timed = gl;
    timed.glDrawArrays = timedDrawArrays;
    timed.glUseProgram = trackedUseProgram;
    timed.glBindFramebuffer = trackedBindFramebuffer;
    timed.glCreateProgram = timedCreateProgram;
    timed.glGetProgramiv = timedGetProgramiv;
    timed.glDispatchCompute = timedDispatchCompute;

    // The show's resources, settings and tracks at the chosen size, with
    // the timed table.
    MomentOptions setup;
    setup.width = options.width;
    setup.height = options.height;
    setup.sceneScale = options.scale;
    setup.overrideBloom = options.bloomGiven;
    setup.bloomPasses = options.bloom;
    setup.dof = options.dof;
    static ShowMoment moment;
    const double startupBegin = nowMs();
    if (!prepareMoment(moment, timed, headlessLookup, nullptr, ostrelContent, setup, &error)) {
        std::fprintf(stderr, "ostrel-bench: %s\n", error.c_str());
        return 1;
    }
    glFinish();
    const double startupMs = nowMs() - startupBegin;
    const EmbeddedContent& content = ostrelContent;
    const RenderResources& resources = moment.resources;
    const float row = rowAt(options.time);
    const TrackData tracks = frameValuesAt(moment.tracks.tracks, options.time).tracks;

    std::printf("ostrel-bench: %d x %d, scene scale %g (%d x %d), show time %d ms (row %.2f), "
                "%s, depth of field %s\n",
                options.width, options.height, static_cast<double>(options.scale),
                resources.sceneWidth, resources.sceneHeight, options.time,
                static_cast<double>(row), bloomText(content.bloomPasses).c_str(),
                content.dofEnabled ? "on" : "off");
    std::printf("renderer: %s, %s\n",
                reinterpret_cast<const char*>(gl.glGetString(GL_RENDERER)),
                reinterpret_cast<const char*>(gl.glGetString(GL_VERSION)));
    std::printf("tracks:");
    for (int t = 0; t < trackCount; ++t)
        std::printf(" %s %.3g", trackNames[t], static_cast<double>(tracks.value[t]));
    std::printf("\n\nstart-up                                 wall ms\n");
    for (const Span& span : startup) std::printf("  %-38s %8.1f\n", span.what.c_str(), span.ms);
    std::printf("  %-38s %8.1f\n", "createRenderResources, all", startupMs);

    // The first frame, then the measured ones.
    std::vector<std::vector<PassTime>> frames;
    for (int f = 0; f <= options.frames; ++f) {
        passes.clear();
        renderMoment(moment, options.time, options.time);
        glFinish();
        frames.push_back(passes);
    }
    const std::size_t passCount = frames[0].size();
    const std::string measured = options.frames == 1 ? std::string("(1 frame)")
                                                     : "(median of " + std::to_string(options.frames) + " frames)";
    std::printf("\n%-36s gpu ms   wall ms   first frame wall ms\n",
                ("frame pass " + measured).c_str());
    double totalGpu = 0, totalWall = 0, totalFirst = 0;
    int chain = 0;
    for (std::size_t p = 0; p < passCount; ++p) {
        std::vector<double> gpu, wall;
        for (int f = 1; f <= options.frames; ++f) {
            gpu.push_back(gpuMs(frames[f][p]));
            wall.push_back(frames[f][p].wallMs);
        }
        const double g = median(gpu), w = median(wall), first = frames[0][p].wallMs;
        totalGpu += g;
        totalWall += w;
        totalFirst += first;
        std::printf("  %-34s %8.2f  %8.2f  %12.1f\n",
                    passName(resources, frames[0][p], static_cast<int>(p), chain).c_str(), g, w,
                    first);
    }
    std::printf("  %-34s %8.2f  %8.2f  %12.1f\n", "frame, all passes", totalGpu, totalWall,
                totalFirst);
    return 0;
}
