// block.cpp: the sources read, checked and packed; the block written.
#include "content/builder/block.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "content/builder/assets.h"
#include "render/uniforms.h"
#include "sync/wave.h"

namespace {

bool writeIfChanged(const std::string& path, const std::string& bytes) {
    std::string old;
    if (readFile(path, old) && old == bytes) return true;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    out.close();
    return bool(out);
}

bool fail(std::string* error, const std::string& line) {
    if (error) *error = line;
    return false;
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

// Reads one source, remembering it as an input of the build.
bool readSource(const std::string& path, const char* what, ContentPieces& pieces,
                std::string& text, std::string* error) {
    pieces.inputs.push_back(path);
    if (readFile(path, text)) return true;
    return fail(error, path + ": cannot read the " + what);
}

std::string bytesOf(const std::vector<std::uint8_t>& v) { return std::string(v.begin(), v.end()); }

}  // namespace

bool readFile(const std::string& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

ContentSources sourceTree(const std::string& root, const std::string& soundtrack) {
    return ContentSources{root + "/content/tracks", root + "/content/tweaks.txt",
                          root + "/shaders", soundtrack};
}

std::string withSharedBlocks(const std::string& text, bool lineDirective) {
    std::size_t at = 0;
    if (text.compare(0, 8, "#version") == 0) {
        const std::size_t end = text.find('\n');
        at = end == std::string::npos ? text.size() : end + 1;
    }
    std::string out = text.substr(0, at);
    if (!out.empty() && out.back() != '\n') out += '\n';
    out += sharedBlockDeclarations();
    if (lineDirective && at > 0) out += "#line 2\n";
    return out + text.substr(at);
}

std::string packSmallShader(const std::string& source, bool sharedBlocks) {
    return minifyShader(sharedBlocks ? withSharedBlocks(source, false) : source);
}

std::string packLargeShader(const std::string& source, bool sharedBlocks) {
    return toCrLf(sharedBlocks ? withSharedBlocks(source, true) : source);
}

std::string joinSceneParts(const std::vector<std::string>& parts) {
    std::string scene;
    for (const std::string& text : parts) {
        if (!scene.empty() && scene.back() != '\n') scene += '\n';
        scene += text;
    }
    return scene;
}

bool gatherContent(const ContentSources& sources, ContentPieces& pieces, std::string* error) {
    pieces = ContentPieces{};
    std::string text, why;

    // Tracks, in TrackData order.
    for (int t = 0; t < trackCount; ++t) {
        const std::string path = sources.tracks + "/" + trackNames[t] + ".track";
        if (!readSource(path, "track file", pieces, text, error)) return false;
        std::vector<SourceKey> keys;
        if (!parseTrackText(text, path, keys, why) || !checkShowTrack(t, keys, path, why))
            return fail(error, why);
        pieces.keys += int(keys.size());
        pieces.trackKeys[t] = packTrackKeys(keys);
    }

    // Anything else in the tracks folder is ignored: say so, it may be a
    // track under a misspelt name.
    std::error_code failed;
    std::vector<std::string> others;
    for (const auto& entry : std::filesystem::directory_iterator(sources.tracks, failed)) {
        const std::string name = entry.path().filename().string();
        bool track = false;
        for (const char* t : trackNames) track = track || name == std::string(t) + ".track";
        if (!track) others.push_back(name);
    }
    std::sort(others.begin(), others.end());
    for (const std::string& name : others)
        pieces.warnings.push_back(sources.tracks + "/" + name +
                                  ":1: not one of the show's 13 tracks; the build ignores it");

    // Tweak settings.
    if (!readSource(sources.tweaks, "tweak file", pieces, text, error)) return false;
    std::vector<SourceTweak> tweaks;
    if (!parseTweakText(text, sources.tweaks, tweaks, why) ||
        !checkTweakNames(tweaks, sources.tweaks, why))
        return fail(error, why);
    pieces.tweakBlob = packTweaks(tweaks);
    pieces.tweaks = int(tweaks.size());

    // Shader texts.
    for (const SmallShader& shader : smallShaders) {
        const std::string path = sources.shaders + "/" + shader.source;
        if (!readSource(path, "shader", pieces, text, error)) return false;
        pieces.shaderTexts[shader.entry] = packSmallShader(text, shader.sharedBlocks);
    }
    if (!readSource(sources.shaders + "/" + noiseShaderSource, "shader", pieces, text, error))
        return false;
    pieces.noise = packLargeShader(text, false);
    std::vector<std::string> parts;
    for (const char* part : sceneParts) {
        if (!readSource(sources.shaders + "/" + part, "shader", pieces, text, error))
            return false;
        parts.push_back(text);
    }
    pieces.scene = packLargeShader(joinSceneParts(parts), true);

    // The soundtrack must be the show's format; it goes in as it is.
    if (!readSource(sources.soundtrack, "soundtrack", pieces, text, error)) return false;
    WaveFormat format;
    const char* waveError = nullptr;
    if (!readWave(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), format,
                  &waveError))
        return fail(error, sources.soundtrack + ":1: " + waveError);
    if (!isShowFormat(format))
        return fail(error, sources.soundtrack +
                               ":1: the soundtrack is not 16-bit stereo 44100 Hz PCM RIFF/WAVE");
    pieces.soundtrack = sources.soundtrack;
    pieces.soundtrackBytes = text.size();
    pieces.soundtrackSeconds = double(format.sampleBytes) / format.blockAlign / format.sampleRate;
    return true;
}

bool writeContentBlock(const std::string& dir, const ContentPieces& pieces, std::string* error) {
    bool ok = true;
    for (const SmallShader& shader : smallShaders)
        ok = ok && writeIfChanged(dir + "/" + shader.piece, pieces.shaderTexts[shader.entry] + '\0');
    ok = ok && writeIfChanged(dir + "/noise.glsl", pieces.noise + '\0');
    ok = ok && writeIfChanged(dir + "/scene.glsl", pieces.scene + '\0');
    ok = ok && writeIfChanged(dir + "/tweaks.bin", bytesOf(pieces.tweakBlob));
    std::string allTracks;
    std::size_t blockOffset[trackCount];
    for (Track t : trackBlockOrder) {
        blockOffset[t] = allTracks.size();
        allTracks += bytesOf(pieces.trackKeys[t]);
    }
    ok = ok && writeIfChanged(dir + "/tracks.bin", allTracks);
    if (!ok) return fail(error, "cannot write into " + dir);

    const std::size_t tweakBytes = pieces.tweakBlob.size();
    const std::size_t noiseBytes = pieces.noise.size() + 1, sceneBytes = pieces.scene.size() + 1;
    const Layout l64 = layoutFor(8, tweakBytes, noiseBytes, sceneBytes, allTracks.size(),
                                 pieces.soundtrackBytes);
    const Layout l32 = layoutFor(4, tweakBytes, noiseBytes, sceneBytes, allTracks.size(),
                                 pieces.soundtrackBytes);

    std::ostringstream h;
    h << "// Generated by ostrel-content-builder from the show's assets: do not edit.\n"
         "// Sizes and offsets of the content block's fields.\n"
         "#pragma once\n"
      << "#define OSTREL_TWEAK_BLOB_BYTES " << tweakBytes << "\n"
      << "#define OSTREL_NOISE_TEXT_BYTES " << noiseBytes << "\n"
      << "#define OSTREL_SCENE_TEXT_BYTES " << sceneBytes << "\n"
      << "#define OSTREL_TRACK_KEY_BYTES " << allTracks.size() << "\n"
      << "#define OSTREL_SOUNDTRACK_BYTES " << pieces.soundtrackBytes << "\n"
      << "#if __SIZEOF_POINTER__ == 8\n"
      << layoutMacros(l64) << "#else\n"
      << layoutMacros(l32) << "#endif\n";
    if (!writeIfChanged(dir + "/content_layout.h", h.str()))
        return fail(error, "cannot write " + dir + "/content_layout.h");

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
    for (const SmallShader& shader : smallShaders)
        s << "ostrel_shader_text_" << shader.entry << ":\n    .incbin "
          << quoted(dir + "/" + shader.piece) << "\n";
    s << "\n    .data\n"
         "    .balign 16\n"
         "    .globl SYM(ostrelContent)\n"
         "SYM(ostrelContent):\n"
         "    AT(OSTREL_OFFSET_SHADER_TEXTS)\n";
    for (int i = 0; i < shaderTextCount; ++i)
        s << "    REF "
          << (pieces.shaderTexts[i].empty() ? "0" : "ostrel_shader_text_" + std::to_string(i))
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
          << ", " << blockOffset[t] << ", " << pieces.trackKeys[t].size() << "\n";
    s << "    AT(OSTREL_OFFSET_SOUNDTRACK)\n"
         "    .incbin "
      << quoted(pieces.soundtrack)
      << "\n"
         "    .fill OSTREL_CONTENT_BYTES - (. - SYM(ostrelContent)), 1, 0\n"
         "    AT(OSTREL_CONTENT_BYTES)\n"
         "\n"
         "#ifdef __ELF__\n"
         "    .section .note.GNU-stack,\"\",@progbits\n"
         "#endif\n";
    if (!writeIfChanged(dir + "/content.S", s.str()))
        return fail(error, "cannot write " + dir + "/content.S");
    return true;
}
