// ostrel-content-builder: checks the show's source assets and writes the
// content block as an assembler source with its binary pieces.
//
// Usage:
//   ostrel-content-builder --out DIR --tracks DIR --tweaks FILE --soundtrack FILE
//       --vertex FILE --bloom-blur FILE --composite FILE --tonemap FILE
//       --depth-of-field FILE --noise FILE --scene FILE [--scene FILE ...]
//
// Several --scene files are joined, in the order given, into the one scene
// text. The builder writes into DIR:
//   content.S          the block, assembled with .incbin (one object per
//                      build variant: OSTREL_RENDER_WIDTH and
//                      OSTREL_RENDER_HEIGHT set the render size's start values)
//   content_layout.h   the sizes and offsets of the block's fields, for
//                      64-bit and 32-bit references
//   *.glsl, *.bin      the packed shader texts, tweak blob and key data
// A file is rewritten only when its bytes change, so an unchanged asset
// rebuilds nothing. A bad asset stops the build with one message,
// "file:line: fault".
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "content/builder/assets.h"
#include "sync/tracks.h"
#include "sync/wave.h"

namespace {

struct Options {
    std::string out, tracks, tweaks, soundtrack, noise;
    std::string small[6];  // by shader-text entry; entry 1 stays empty
    std::vector<std::string> scene;
};

bool readFile(const std::string& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

bool writeIfChanged(const std::string& path, const std::string& bytes) {
    std::string old;
    if (readFile(path, old) && old == bytes) return true;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    return bool(out);
}

int stop(const std::string& message) {
    std::fprintf(stderr, "content: %s\n", message.c_str());
    return 1;
}

bool parseOptions(int argc, char** argv, Options& o, std::string& error) {
    const std::map<std::string, int> smallNames = {
        {"--vertex", 0}, {"--bloom-blur", 2}, {"--composite", 3},
        {"--tonemap", 4}, {"--depth-of-field", 5}};
    for (int i = 1; i < argc; ++i) {
        std::string flag = argv[i];
        if (i + 1 >= argc) {
            error = "option " + flag + " needs a value";
            return false;
        }
        std::string value = argv[++i];
        if (flag == "--out") o.out = value;
        else if (flag == "--tracks") o.tracks = value;
        else if (flag == "--tweaks") o.tweaks = value;
        else if (flag == "--soundtrack") o.soundtrack = value;
        else if (flag == "--noise") o.noise = value;
        else if (flag == "--scene") o.scene.push_back(value);
        else if (smallNames.count(flag)) o.small[smallNames.at(flag)] = value;
        else {
            error = "unknown option " + flag;
            return false;
        }
    }
    bool complete = !o.out.empty() && !o.tracks.empty() && !o.tweaks.empty() &&
                    !o.soundtrack.empty() && !o.noise.empty() && !o.scene.empty();
    for (int i = 0; i < 6; ++i) complete = complete && (i == 1 || !o.small[i].empty());
    if (!complete) error = "missing options (see the usage at the top of builder/main.cpp)";
    return complete;
}

// Offsets of the block's fields for a reference width of `ptr` bytes.
struct Layout {
    std::size_t shaderTexts, renderWidth, renderHeight, trackKeyData, advanceTime, dofEnabled,
        bloomPasses, luminance, tweakBlob, noiseText, sceneText, trackKeyBlocks, soundtrack,
        total;
};

Layout layoutFor(std::size_t ptr, std::size_t tweakBytes, std::size_t noiseBytes,
                 std::size_t sceneBytes, std::size_t trackBytes, std::size_t soundBytes) {
    Layout l{};
    l.shaderTexts = 0;
    l.renderWidth = 6 * ptr;
    l.renderHeight = l.renderWidth + 4;
    l.trackKeyData = l.renderHeight + 4;
    l.advanceTime = l.trackKeyData + trackCount * ptr;
    l.dofEnabled = l.advanceTime + 1;
    l.bloomPasses = l.advanceTime + 4;
    l.luminance = l.bloomPasses + 4;
    l.tweakBlob = l.luminance + 4;
    l.noiseText = l.tweakBlob + tweakBytes;
    l.sceneText = l.noiseText + noiseBytes;
    l.trackKeyBlocks = l.sceneText + sceneBytes;
    l.soundtrack = l.trackKeyBlocks + trackBytes;
    l.total = (l.soundtrack + soundBytes + ptr - 1) / ptr * ptr;
    return l;
}

std::string layoutMacros(const Layout& l) {
    std::ostringstream s;
    auto def = [&](const char* name, std::size_t v) {
        s << "#define OSTREL_" << name << " " << v << "\n";
    };
    def("OFFSET_SHADER_TEXTS", l.shaderTexts);
    def("OFFSET_RENDER_WIDTH", l.renderWidth);
    def("OFFSET_RENDER_HEIGHT", l.renderHeight);
    def("OFFSET_TRACK_KEY_DATA", l.trackKeyData);
    def("OFFSET_ADVANCE_TIME", l.advanceTime);
    def("OFFSET_DOF_ENABLED", l.dofEnabled);
    def("OFFSET_BLOOM_PASSES", l.bloomPasses);
    def("OFFSET_LUMINANCE", l.luminance);
    def("OFFSET_TWEAK_BLOB", l.tweakBlob);
    def("OFFSET_NOISE_TEXT", l.noiseText);
    def("OFFSET_SCENE_TEXT", l.sceneText);
    def("OFFSET_TRACK_KEY_BLOCKS", l.trackKeyBlocks);
    def("OFFSET_SOUNDTRACK", l.soundtrack);
    def("CONTENT_BYTES", l.total);
    return s.str();
}

std::string quoted(const std::string& path) { return "\"" + path + "\""; }

}  // namespace

int main(int argc, char** argv) {
    Options o;
    std::string error;
    if (!parseOptions(argc, argv, o, error)) return stop(error);

    // Tracks, in TrackData order.
    std::vector<std::uint8_t> trackBlocks[trackCount];
    int totalKeys = 0;
    for (int t = 0; t < trackCount; ++t) {
        std::string path = o.tracks + "/" + trackNames[t] + ".track";
        std::string text;
        if (!readFile(path, text)) return stop(path + ": cannot read the track file");
        std::vector<SourceKey> keys;
        if (!parseTrackText(text, path, keys, error)) return stop(error);
        totalKeys += int(keys.size());
        trackBlocks[t] = packTrackKeys(keys);
    }

    // Tweak settings.
    std::string tweakText;
    if (!readFile(o.tweaks, tweakText)) return stop(o.tweaks + ": cannot read the tweak file");
    std::vector<SourceTweak> tweaks;
    if (!parseTweakText(tweakText, o.tweaks, tweaks, error)) return stop(error);
    std::vector<std::uint8_t> tweakBlob = packTweaks(tweaks);

    // Shader texts.
    std::string small[6];
    for (int i = 0; i < 6; ++i) {
        if (i == 1) continue;
        std::string text;
        if (!readFile(o.small[i], text)) return stop(o.small[i] + ": cannot read the shader");
        small[i] = minifyShader(text);
    }
    std::string noise;
    if (!readFile(o.noise, noise)) return stop(o.noise + ": cannot read the shader");
    noise = toCrLf(noise);
    std::string scene;
    for (const std::string& part : o.scene) {
        std::string text;
        if (!readFile(part, text)) return stop(part + ": cannot read the shader");
        if (!scene.empty() && scene.back() != '\n') scene += '\n';
        scene += text;
    }
    scene = toCrLf(scene);

    // The soundtrack must be the show's format; it goes in as it is.
    std::string wave;
    if (!readFile(o.soundtrack, wave)) return stop(o.soundtrack + ": cannot read the soundtrack");
    WaveFormat format;
    const char* waveError = nullptr;
    if (!readWave(reinterpret_cast<const std::uint8_t*>(wave.data()), wave.size(), format,
                  &waveError))
        return stop(o.soundtrack + ":1: " + waveError);
    if (!isShowFormat(format))
        return stop(o.soundtrack +
                    ":1: the soundtrack is not 16-bit stereo 44100 Hz PCM RIFF/WAVE");

    // Pieces.
    const std::string& dir = o.out;
    const char* smallFiles[6] = {"vertex.glsl", nullptr, "bloom-blur.glsl", "composite.glsl",
                                 "tonemap.glsl", "depth-of-field.glsl"};
    bool ok = true;
    for (int i = 0; i < 6; ++i)
        if (smallFiles[i]) ok = ok && writeIfChanged(dir + "/" + smallFiles[i], small[i] + '\0');
    ok = ok && writeIfChanged(dir + "/noise.glsl", noise + '\0');
    ok = ok && writeIfChanged(dir + "/scene.glsl", scene + '\0');
    ok = ok && writeIfChanged(dir + "/tweaks.bin", std::string(tweakBlob.begin(), tweakBlob.end()));
    std::string allTracks;
    std::size_t blockOffset[trackCount];
    for (Track t : trackBlockOrder) {
        blockOffset[t] = allTracks.size();
        allTracks.append(trackBlocks[t].begin(), trackBlocks[t].end());
    }
    ok = ok && writeIfChanged(dir + "/tracks.bin", allTracks);
    if (!ok) return stop("cannot write into " + dir);

    const std::size_t noiseBytes = noise.size() + 1, sceneBytes = scene.size() + 1;
    Layout l64 = layoutFor(8, tweakBlob.size(), noiseBytes, sceneBytes, allTracks.size(),
                           wave.size());
    Layout l32 = layoutFor(4, tweakBlob.size(), noiseBytes, sceneBytes, allTracks.size(),
                           wave.size());

    std::ostringstream h;
    h << "// Generated by ostrel-content-builder from the show's assets: do not edit.\n"
         "// Sizes and offsets of the content block's fields.\n"
         "#pragma once\n"
      << "#define OSTREL_TWEAK_BLOB_BYTES " << tweakBlob.size() << "\n"
      << "#define OSTREL_NOISE_TEXT_BYTES " << noiseBytes << "\n"
      << "#define OSTREL_SCENE_TEXT_BYTES " << sceneBytes << "\n"
      << "#define OSTREL_TRACK_KEY_BYTES " << allTracks.size() << "\n"
      << "#define OSTREL_SOUNDTRACK_BYTES " << wave.size() << "\n"
      << "#if __SIZEOF_POINTER__ == 8\n"
      << layoutMacros(l64) << "#else\n"
      << layoutMacros(l32) << "#endif\n";
    if (!writeIfChanged(dir + "/content_layout.h", h.str())) return stop("cannot write layout");

    // The block. Each field is checked against its offset as it is laid
    // down, so the assembler refuses a block that the header would misplace.
    std::ostringstream s;
    s << "/* Generated by ostrel-content-builder from the show's assets: do not edit. */\n"
         "#include \"content_layout.h\"\n"
         "#define OSTREL_CAT2(a, b) a##b\n"
         "#define OSTREL_CAT(a, b) OSTREL_CAT2(a, b)\n"
         "#define SYM(name) OSTREL_CAT(__USER_LABEL_PREFIX__, name)\n"
         "#if __SIZEOF_POINTER__ == 8\n#define REF .quad\n#else\n#define REF .long\n#endif\n"
         "#define AT(offset) .if (. - SYM(ostrelContent)) - (offset); "
         ".error \"content block field misplaced\"; .endif\n"
         "#ifndef OSTREL_RENDER_WIDTH\n#error \"define OSTREL_RENDER_WIDTH and "
         "OSTREL_RENDER_HEIGHT for the build variant\"\n#endif\n"
         "\n"
         "#ifdef _WIN32\n"
         "    .section .rdata,\"dr\"\n"
         "#else\n"
         "    .section .rodata\n"
         "#endif\n";
    for (int i = 0; i < 6; ++i)
        if (smallFiles[i])
            s << "ostrel_shader_text_" << i << ":\n    .incbin " << quoted(dir + "/" + smallFiles[i])
              << "\n";
    s << "\n    .data\n"
         "    .balign 16\n"
         "    .globl SYM(ostrelContent)\n"
         "SYM(ostrelContent):\n"
         "    AT(OSTREL_OFFSET_SHADER_TEXTS)\n";
    for (int i = 0; i < 6; ++i)
        s << "    REF " << (smallFiles[i] ? "ostrel_shader_text_" + std::to_string(i) : "0")
          << "\n";
    s << "    AT(OSTREL_OFFSET_RENDER_WIDTH)\n"
         "    .float OSTREL_RENDER_WIDTH, OSTREL_RENDER_HEIGHT\n"
         "    AT(OSTREL_OFFSET_TRACK_KEY_DATA)\n";
    for (int t = 0; t < trackCount; ++t) s << "    REF ostrel_track_" << trackNames[t] << "\n";
    s << "    AT(OSTREL_OFFSET_ADVANCE_TIME)\n"
         "    .byte 1, 1, 0, 0   /* advanceTime, dofEnabled, padding */\n"
         "    AT(OSTREL_OFFSET_BLOOM_PASSES)\n"
         "    .long 5            /* bloomPasses */\n"
         "    .float 1.0         /* luminance */\n"
         "    AT(OSTREL_OFFSET_TWEAK_BLOB)\n"
         "    .incbin "
      << quoted(dir + "/tweaks.bin")
      << "\n"
         "    AT(OSTREL_OFFSET_NOISE_TEXT)\n"
         "    .incbin "
      << quoted(dir + "/noise.glsl")
      << "\n"
         "    AT(OSTREL_OFFSET_SCENE_TEXT)\n"
         "    .incbin "
      << quoted(dir + "/scene.glsl")
      << "\n"
         "    AT(OSTREL_OFFSET_TRACK_KEY_BLOCKS)\n";
    for (Track t : trackBlockOrder)
        s << "ostrel_track_" << trackNames[t] << ":\n    .incbin " << quoted(dir + "/tracks.bin")
          << ", " << blockOffset[t] << ", " << trackBlocks[t].size() << "\n";
    s << "    AT(OSTREL_OFFSET_SOUNDTRACK)\n"
         "    .incbin "
      << quoted(o.soundtrack)
      << "\n"
         "    .fill OSTREL_CONTENT_BYTES - (. - SYM(ostrelContent)), 1, 0\n"
         "    AT(OSTREL_CONTENT_BYTES)\n"
         "\n"
         "#ifdef __ELF__\n"
         "    .section .note.GNU-stack,\"\",@progbits\n"
         "#endif\n";
    if (!writeIfChanged(dir + "/content.S", s.str())) return stop("cannot write content.S");

    std::printf("content: %d tracks (%d keys), %zu tweak settings, soundtrack %.3f s, "
                "block %zu bytes (64-bit)\n",
                int(trackCount), totalKeys, tweaks.size(),
                double(format.sampleBytes) / format.blockAlign / format.sampleRate, l64.total);
    return 0;
}
