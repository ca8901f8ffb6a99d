// The shared start-up and main loop, run with a fake host, a fake clock and
// a GL table that records what reaches the uniform buffers. The render and
// sync code are the real ones; page memory is the tests' own, so that it
// can fail on demand.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "host/show.h"
#include "render/uniforms.h"
#include "sync/content.h"
#include "sync/pages.h"
#include "sync/sync.h"
#include "tests/support/fake_pages.h"

namespace {

// ---- A GL table that answers start-up checks and records uploads ---------

struct FakeGl {
    GLuint nextName;
    GLint compileStatus, linkStatus;
    GLenum framebufferStatus;
    GLint major, minor;
    const char* version;
    GLuint bound;         // generic GL_UNIFORM_BUFFER binding
    GLuint bases[4];      // buffers at uniform bindings 0 to 3
    float lastT0;         // first float of the last FD upload
    TrackData lastTracks;  // last TrackData upload
    int calls;            // GL calls of any recorded kind
};
FakeGl fake;

template <class T>
T zero() {
    return T();
}
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"
#define OSTREL_GL_STUB(group, result, name, params)                                                \
    result OSTREL_GLAPI stub_##name params {                                                       \
        ++fake.calls;                                                                              \
        return zero<result>();                                                                     \
    }
OSTREL_GL_FUNCTIONS(OSTREL_GL_STUB)
#undef OSTREL_GL_STUB
#pragma GCC diagnostic pop

void upload(GLuint buffer, GLintptr offset, GLsizeiptr size, const void* data) {
    if (data == nullptr || offset != 0) return;
    if (buffer == fake.bases[0] && size >= 4) std::memcpy(&fake.lastT0, data, 4);
    if (buffer == fake.bases[1] && size >= GLsizeiptr(sizeof(TrackData)))
        std::memcpy(&fake.lastTracks, data, sizeof(TrackData));
}

GlFunctions fakeTable() {
    GlFunctions gl{};
#define OSTREL_GL_FILL(group, result, name, params) gl.name = stub_##name;
    OSTREL_GL_FUNCTIONS(OSTREL_GL_FILL)
#undef OSTREL_GL_FILL
    gl.glCreateShader = [](GLenum) { return ++fake.nextName; };
    gl.glCreateProgram = [] { return ++fake.nextName; };
    auto gen = [](GLsizei n, GLuint* names) {
        for (GLsizei i = 0; i < n; ++i) names[i] = ++fake.nextName;
    };
    gl.glGenBuffers = gen;
    gl.glGenTextures = gen;
    gl.glGenFramebuffers = gen;
    gl.glGenVertexArrays = gen;
    gl.glGetShaderiv = [](GLuint, GLenum what, GLint* out) {
        *out = what == GL_COMPILE_STATUS ? fake.compileStatus : what == GL_INFO_LOG_LENGTH ? 20 : 0;
    };
    gl.glGetProgramiv = [](GLuint, GLenum what, GLint* out) {
        *out = what == GL_LINK_STATUS ? fake.linkStatus : what == GL_INFO_LOG_LENGTH ? 20 : 0;
    };
    auto log = [](GLuint, GLsizei size, GLsizei* length, GLchar* text) {
        const char message[] = "0:7(3): error: boom";
        GLsizei n = std::min<GLsizei>(size - 1, GLsizei(sizeof message - 1));
        std::memcpy(text, message, std::size_t(n));
        text[n] = 0;
        if (length) *length = n;
    };
    gl.glGetShaderInfoLog = log;
    gl.glGetProgramInfoLog = log;
    gl.glCheckFramebufferStatus = [](GLenum) { return fake.framebufferStatus; };
    gl.glGetIntegerv = [](GLenum what, GLint* out) {
        if (what == GL_MAJOR_VERSION) *out = fake.major;
        if (what == GL_MINOR_VERSION) *out = fake.minor;
    };
    gl.glGetString = [](GLenum what) {
        return reinterpret_cast<const GLubyte*>(what == GL_VERSION    ? fake.version
                                                : what == GL_RENDERER ? "Fake Renderer 1"
                                                                      : "Fake");
    };
    gl.glBindBuffer = [](GLenum target, GLuint buffer) {
        if (target == GL_UNIFORM_BUFFER) fake.bound = buffer;
    };
    gl.glBindBufferBase = [](GLenum target, GLuint index, GLuint buffer) {
        if (target != GL_UNIFORM_BUFFER) return;
        fake.bound = buffer;
        if (index < 4) fake.bases[index] = buffer;
    };
    gl.glBufferData = [](GLenum target, GLsizeiptr size, const void* data, GLenum) {
        if (target == GL_UNIFORM_BUFFER) upload(fake.bound, 0, size, data);
    };
    gl.glBufferSubData = [](GLenum target, GLintptr offset, GLsizeiptr size, const void* data) {
        if (target == GL_UNIFORM_BUFFER) upload(fake.bound, offset, size, data);
    };
    return gl;
}

// ---- A host that records its calls and runs on a scripted clock ----------

struct Frame {
    float t0;            // T0 the frame was rendered with
    TrackData tracks;    // track values the frame was rendered with
    int stops;           // stop requests made before it was presented
};

struct FakeHost {
    bool libraries = true, window = true, context = true;
    std::string windowError = "window: no display", contextError = "GL: no context";
    const char* missing = nullptr;  // an entry point the context lacks
    double now = 5000.0, step = 4.25;  // a reading every 4.25 ms
    int quitAtPump = 0;                 // pump call that sets the quit flag (0: none)
    int pumps = 0, stops = 0, started = 0;
    bool clockRead = false;
    std::vector<std::string> calls;     // host calls in order (clock and pump left out)
    std::vector<std::string> failures, notes;
    std::vector<Frame> frames;
    std::vector<int> pumpsAtPresent;
};

FakeHost& of(void* context) { return *static_cast<FakeHost*>(context); }

Host hostOf(FakeHost& f) {
    Host h{};
    h.context = &f;
    h.hideCursor = [](void* c) { of(c).calls.push_back("hideCursor"); };
    h.loadLibraries = [](void* c, std::string* e) {
        of(c).calls.push_back("loadLibraries");
        if (!of(c).libraries) *e = "GL: no library";
        return of(c).libraries;
    };
    h.createWindow = [](void* c, EmbeddedContent& content, std::string* e) {
        of(c).calls.push_back("createWindow");
        content.renderWidth = 320.0f;
        content.renderHeight = 200.0f;
        if (!of(c).window) *e = of(c).windowError;
        return of(c).window;
    };
    h.makeContext = [](void* c, GlFunctions& gl, std::string* e) {
        of(c).calls.push_back("makeContext");
        gl = fakeTable();
        if (const char* name = of(c).missing) {
            for (int i = 0; i < glFunctionCount; ++i)
                if (!std::strcmp(glFunctionNames[i], name))
                    reinterpret_cast<void**>(&gl)[i] = nullptr;
        }
        fake.calls = 0;
        if (!of(c).context) *e = of(c).contextError;
        return of(c).context;
    };
    h.clock = [](void* c) {
        FakeHost& f = of(c);
        // The GL work of start-up shows up as "gl" before the first reading.
        if (!f.clockRead && fake.calls > 0) f.calls.push_back("gl");
        f.clockRead = true;
        if (f.calls.back() != "clock") f.calls.push_back("clock");
        double reading = f.now;
        f.now += f.step;
        return reading;
    };
    h.pump = [](void* c, std::uint8_t* quit) {
        FakeHost& f = of(c);
        ++f.pumps;
        if (f.pumps == f.quitAtPump) *quit = 1;
        if (f.pumps > 2000000) {  // a show that never ends: stop the test
            ADD_FAILURE() << "the loop did not end";
            *quit = 1;
        }
    };
    h.present = [](void* c) {
        FakeHost& f = of(c);
        f.frames.push_back(Frame{fake.lastT0, fake.lastTracks, f.stops});
        f.pumpsAtPresent.push_back(f.pumps);
    };
    h.startSoundtrack = [](void* c, const EmbeddedContent&) {
        of(c).calls.push_back("startSoundtrack");
        ++of(c).started;
    };
    h.stopSoundtrack = [](void* c) { ++of(c).stops; };
    h.note = [](void* c, const char* line) { of(c).notes.push_back(line); };
    h.reportFailure = [](void* c, const char* line) { of(c).failures.push_back(line); };
    return h;
}

// ---- Content: the real block with tracks of the test's own ---------------

struct Key {
    std::int32_t row;
    float value;
    std::int8_t type;
};

std::vector<std::uint8_t> keyData(std::initializer_list<Key> keys) {
    std::vector<std::uint8_t> data(4 + 9 * keys.size(), 0);
    data[0] = std::uint8_t(keys.size());
    std::size_t at = 4;
    for (const Key& k : keys) {
        std::memcpy(&data[at], &k.row, 4);
        std::memcpy(&data[at + 4], &k.value, 4);
        data[at + 8] = std::uint8_t(k.type);
        at += 9;
    }
    return data;
}

// blobPos follows the row itself, so a frame's show time can be read back
// from what it uploaded: show time = row / 0.024.
const std::vector<std::uint8_t> rowTrack = keyData({{0, 0.0f, Linear}, {100000, 100000.0f, Step}});

EmbeddedContent showContent;

class ShowTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake = FakeGl{};
        fake.compileStatus = 1;
        fake.linkStatus = 1;
        fake.framebufferStatus = GL_FRAMEBUFFER_COMPLETE;
        fake.major = 4;
        fake.minor = 5;
        fake.version = "4.5 (Core Profile) Fake";
        fakePages::reset();
        showContent = ostrelContent;
        showContent.trackKeyData[blobPos] = rowTrack.data();
    }
    // Later tests of the same process get page memory that never refuses.
    void TearDown() override { fakePages::reset(); }

    // Runs the show with `scene` keyed as given.
    int run(FakeHost& host, const std::vector<std::uint8_t>& sceneKeys) {
        showContent.trackKeyData[scene] = sceneKeys.data();
        return runShow(hostOf(host), showContent, 1.0f);
    }

    static double showTimeOf(const Frame& frame) {
        return double(frame.tracks.value[blobPos]) / 0.024;
    }
};

TEST_F(ShowTest, StartsUpInOrderAndEndsWhenTheSceneTrackSaysSo) {
    FakeHost host;
    const auto sceneKeys = keyData({{0, 0.0f, Step}, {24, -3.0f, Step}});  // ends at 1 s
    EXPECT_EQ(run(host, sceneKeys), 0);

    ASSERT_GE(host.calls.size(), 8u);
    const std::vector<std::string> startUp(host.calls.begin(), host.calls.begin() + 8);
    EXPECT_EQ(startUp,
              (std::vector<std::string>{"hideCursor", "loadLibraries", "createWindow",
                                        "makeContext", "gl", "clock", "startSoundtrack", "clock"}));
    EXPECT_EQ(host.started, 1);
    EXPECT_TRUE(host.failures.empty());
    EXPECT_EQ(host.stops, 0);

    // Frames run while scene is 0 and the last one is the first at -3.0.
    ASSERT_GE(host.frames.size(), 50u);
    for (std::size_t i = 0; i + 1 < host.frames.size(); ++i)
        EXPECT_EQ(host.frames[i].tracks.value[scene], 0.0f) << "frame " << i;
    const Frame& last = host.frames.back();
    EXPECT_EQ(last.tracks.value[scene], -3.0f);
    EXPECT_NEAR(showTimeOf(last), 1000.0, 17.0);
    EXPECT_GE(showTimeOf(last), 999.9);

    // Notes when the soundtrack starts and when the show ends.
    ASSERT_EQ(host.notes.size(), 2u);
    EXPECT_EQ(host.notes[0], "soundtrack started");
    EXPECT_EQ(host.notes[1].rfind("show ended at show time", 0), 0u) << host.notes[1];
    // Readings 4.25 ms apart: a frame at every fourth, 17 ms apart.
    EXPECT_NE(host.notes[1].find("after " + std::to_string(host.frames.size()) +
                                 " frames (longest 17.0 ms)"),
              std::string::npos)
        << host.notes[1];
}

TEST_F(ShowTest, EachFrameRendersWithTheShowTimeOfTheFrameBefore) {
    FakeHost host;
    host.step = 2.9;  // frames of 17.4 ms, show time steps of 17 or 18 ms
    const auto sceneKeys = keyData({{0, 0.0f, Step}, {12, -3.0f, Step}});
    ASSERT_EQ(run(host, sceneKeys), 0);
    ASSERT_GE(host.frames.size(), 20u);

    EXPECT_EQ(host.frames[0].t0, 0.0f);  // whatever the first frame's show time
    EXPECT_GT(showTimeOf(host.frames[0]), 16.0);
    for (std::size_t i = 1; i < host.frames.size(); ++i) {
        const double before = showTimeOf(host.frames[i - 1]);
        EXPECT_NEAR(host.frames[i].t0, before * 0.0010416667, 2e-5) << "frame " << i;
        // Frames advance the show time by what the clock credits: 17 or 18 ms.
        const double step = showTimeOf(host.frames[i]) - before;
        EXPECT_GT(step, 16.5);
        EXPECT_LT(step, 18.5);
    }
}

TEST_F(ShowTest, EndOfShowRuleStopsEveryFrameInTheBandAndEndsBelowIt) {
    FakeHost host;
    // Half a second each: the stop band, -2.0 exactly, -0.5 exactly, NaN,
    // the stop band again, then -2.0001, which ends the show.
    const auto sceneKeys = keyData({{0, -1.0f, Step},
                                    {12, -2.0f, Step},
                                    {24, -0.5f, Step},
                                    {36, NAN, Step},
                                    {48, -1.5f, Step},
                                    {60, -2.0001f, Step}});
    ASSERT_EQ(run(host, sceneKeys), 0);
    ASSERT_GE(host.frames.size(), 100u);

    int bandFrames = 0;
    for (std::size_t i = 0; i < host.frames.size(); ++i) {
        const float value = host.frames[i].tracks.value[scene];
        const int stopsBefore = i == 0 ? 0 : host.frames[i - 1].stops;
        const int stopsNow = host.frames[i].stops - stopsBefore;
        const bool inBand = value == -1.0f || value == -1.5f;
        bandFrames += inBand;
        EXPECT_EQ(stopsNow, inBand ? 1 : 0) << "frame " << i << " scene " << value;
        if (i + 1 < host.frames.size()) {
            EXPECT_NE(value, -2.0001f) << "frame " << i;
        }
    }
    EXPECT_GE(bandFrames, 50);  // repeated stops, and the show went on rendering
    // The frame at -2.0001 was rendered and presented, without a stop.
    EXPECT_EQ(host.frames.back().tracks.value[scene], -2.0001f);
    EXPECT_EQ(host.stops, bandFrames);
}

TEST_F(ShowTest, QuitFlagFromThePumpLetsTheCurrentFrameComplete) {
    FakeHost host;
    host.step = 17.0;  // a frame due at every reading
    host.quitAtPump = 10;
    const auto neverEnds = keyData({{0, 0.0f, Step}});
    EXPECT_EQ(run(host, neverEnds), 0);
    // The pump that set the flag was followed by its frame, then nothing.
    ASSERT_FALSE(host.pumpsAtPresent.empty());
    EXPECT_EQ(host.pumpsAtPresent.back(), 10);
    EXPECT_EQ(host.pumps, 10);
    EXPECT_EQ(host.frames.size(), 10u);
}

TEST_F(ShowTest, StartUpThatCannotGoOnReportsOneLineAndStartsNothing) {
    struct Case {
        const char* what;
        void (*arrange)(FakeHost&);
        const char* expected;  // part of the reported line
    } cases[] = {
        {"no library", [](FakeHost& h) { h.libraries = false; }, "GL: no library"},
        {"no window", [](FakeHost& h) { h.window = false; }, "window: no display"},
        {"no context", [](FakeHost& h) { h.context = false; }, "GL: no context"},
        {"missing entry point", [](FakeHost& h) { h.missing = "glDispatchCompute"; },
         "glDispatchCompute"},
        {"GL 4.1",
         [](FakeHost&) {
             fake.minor = 1;
             fake.version = "4.1 (Core Profile) Fake";
         },
         "offers \"4.1 (Core Profile) Fake\" on \"Fake Renderer 1\""},
        {"GL 2.1 without integer version queries",
         [](FakeHost&) {
             fake.major = fake.minor = 0;
             fake.version = "2.1 Fake";
         },
         "offers \"2.1 Fake\""},
        {"shader does not compile", [](FakeHost&) { fake.compileStatus = 0; }, "error: boom"},
        {"program does not link", [](FakeHost&) { fake.linkStatus = 0; }, "does not link"},
        {"framebuffer incomplete", [](FakeHost&) { fake.framebufferStatus = 0x8CD6; },
         "target"},
        {"no memory for the sync device", [](FakeHost&) { fakePages::refuseFrom(1); }, "sync:"},
        {"no memory for a track", [](FakeHost&) { fakePages::refuseFrom(9); }, "sync: no memory"},
    };
    for (const Case& c : cases) {
        SetUp();
        FakeHost host;
        c.arrange(host);
        const auto sceneKeys = keyData({{0, -3.0f, Step}});
        EXPECT_NE(run(host, sceneKeys), 0) << c.what;
        ASSERT_EQ(host.failures.size(), 1u) << c.what;
        EXPECT_NE(host.failures[0].find(c.expected), std::string::npos)
            << c.what << ": " << host.failures[0];
        EXPECT_EQ(host.started, 0) << c.what;
        EXPECT_TRUE(host.frames.empty()) << c.what;
        EXPECT_TRUE(host.notes.empty()) << c.what;
    }
}

TEST(GlContextCheck, AcceptsFourThreeAndLater) {
    fake = FakeGl{};
    fake.version = "x";
    GlFunctions gl = fakeTable();
    std::string error;
    for (auto [major, minor] : std::initializer_list<std::pair<int, int>>{{4, 3}, {4, 6}, {5, 0}}) {
        fake.major = major;
        fake.minor = minor;
        EXPECT_TRUE(checkGlContext(gl, &error)) << major << "." << minor << ": " << error;
    }
    gl.glDeleteProgram = nullptr;  // looked up but never called: not needed
    gl.glTexImage3D = nullptr;
    EXPECT_TRUE(checkGlContext(gl, &error)) << error;
    fake.minor = 2;
    fake.major = 4;
    EXPECT_FALSE(checkGlContext(gl, &error));
}

}  // namespace
