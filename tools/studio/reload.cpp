// reload.cpp: sources read, checked, packed and swapped into the moment.
#include "tools/studio/reload.h"

#include <chrono>
#include <cstdio>

#include "content/builder/assets.h"
#include "sync/content.h"
#include "sync/show_tracks.h"
#include "sync/tweak.h"

namespace studio {

namespace {

enum class ProgramKind { noise, pass, scene };

struct ProgramSource {
    const char* name;
    GLuint RenderResources::*program;  // null for the scene: its builds are scenePrograms
    ProgramKind kind;
    ShaderText fragment;  // a pass program's fragment text
};

// In start-up order, named as start-up names them.
const ProgramSource programSources[programCount] = {
    {"noise", &RenderResources::noiseProgram, ProgramKind::noise, reservedShaderText},
    {"tonemap", &RenderResources::tonemapProgram, ProgramKind::pass, tonemapShaderText},
    {"scene", nullptr, ProgramKind::scene, reservedShaderText},
    {"bloom", &RenderResources::bloomProgram, ProgramKind::pass, bloomBlurShaderText},
    {"composite", &RenderResources::compositeProgram, ProgramKind::pass, compositeShaderText},
    {"depth-of-field", &RenderResources::dofProgram, ProgramKind::pass, depthOfFieldShaderText},
};

const SmallShader& smallShader(ShaderText entry) {
    for (const SmallShader& shader : smallShaders)
        if (shader.entry == entry) return shader;
    return smallShaders[0];
}

std::string pathOf(const Studio& s, SourceKind kind, int index) {
    for (const SourceFile& f : s.tree.files)
        if (f.kind == kind && f.index == index) return f.path;
    return std::string();
}

std::string programKey(int p) { return std::string(programSources[p].name) + " program"; }

std::string trackKey(int t) { return std::string("track ") + trackNames[t]; }

void fail(Studio& s, Reload& out, const std::string& key, const std::string& message) {
    s.errors[key] = message;
    for (const std::string& seen : out.failures)
        if (seen == message) return;
    out.failures.push_back(message);
}

int lineCount(const std::string& text) {
    int lines = 0;
    for (char c : text) lines += c == '\n';
    return lines + (!text.empty() && text.back() != '\n');
}

// Where a compiler log line points: Mesa's "0:12(5): error: ...", or
// "0(12) : error ..." and "ERROR: 0:12: ..." of other drivers. The line
// number, and where the message starts; `error` when the driver's prefix
// said so and the message does not.
bool logLine(const std::string& line, int& number, int& message, bool& error) {
    int source = 0, column = 0;
    message = -1;
    error = false;
    const char* text = line.c_str();
    if (std::sscanf(text, "%d:%d(%d): %n", &source, &number, &column, &message) == 3 &&
        message > 0)
        return true;
    if (std::sscanf(text, "%d(%d) : %n", &source, &number, &message) == 2 && message > 0)
        return true;
    error = std::sscanf(text, "ERROR: %d:%d: %n", &source, &number, &message) == 2 && message > 0;
    return error;
}

double millisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// The texts of one program: packed as the build packs them (what is
// compiled), readable with the source's line numbers (for finding a
// fault in a minified text), and the files each stage joins.
struct ProgramTexts {
    std::string packed[2], readable[2];
    std::vector<TextPart> parts[2];
    std::string missing;  // the error when a file cannot be read
};

const std::string* sourceText(const Studio& s, const std::string& path, ProgramTexts& t) {
    const auto it = s.texts.find(path);
    if (it != s.texts.end() && it->second) return &*it->second;
    if (t.missing.empty()) t.missing = path + ": cannot read the shader";
    return nullptr;
}

bool programTexts(const Studio& s, int p, ProgramTexts& t) {
    const ProgramSource& program = programSources[p];
    if (program.kind == ProgramKind::noise) {
        const std::string path = pathOf(s, SourceKind::noise, 0);
        const std::string* text = sourceText(s, path, t);
        if (text == nullptr) return false;
        t.packed[0] = t.readable[0] = packLargeShader(*text, false);
        t.parts[0] = {TextPart{path, lineCount(*text)}};
        return true;
    }
    const std::string vertexPath = pathOf(s, SourceKind::vertex, vertexShaderText);
    const std::string* vertex = sourceText(s, vertexPath, t);
    if (vertex) {
        t.packed[0] = packSmallShader(*vertex, smallShader(vertexShaderText).sharedBlocks);
        t.readable[0] = *vertex;
        t.parts[0] = {TextPart{vertexPath, lineCount(*vertex)}};
    }
    if (program.kind == ProgramKind::pass) {
        const SmallShader& shader = smallShader(program.fragment);
        const std::string path = pathOf(s, SourceKind::pass, shader.entry);
        const std::string* text = sourceText(s, path, t);
        if (text == nullptr) return false;
        t.packed[1] = packSmallShader(*text, shader.sharedBlocks);
        t.readable[1] = shader.sharedBlocks ? withSharedBlocks(*text, true) : *text;
        t.parts[1] = {TextPart{path, lineCount(*text)}};
        return vertex != nullptr;
    }
    std::vector<std::string> parts;
    for (int i = 0; i < scenePartCount; ++i) {
        const std::string path = pathOf(s, SourceKind::scenePart, i);
        const std::string* text = sourceText(s, path, t);
        if (text == nullptr) return false;
        parts.push_back(*text);
        t.parts[1].push_back(TextPart{path, lineCount(*text)});
    }
    t.packed[1] = t.readable[1] = packLargeShader(joinSceneParts(parts), true);
    return vertex != nullptr;
}

// The error of a program that did not build, in the sources' terms.
std::string describeFailure(Studio& s, int p, const ProgramTexts& t, const std::string& error) {
    const ProgramSource& program = programSources[p];
    const std::size_t newline = error.find('\n');
    const std::string head = error.substr(0, newline);
    std::string log = newline == std::string::npos ? std::string() : error.substr(newline + 1);
    const bool firstStage = head.find("vertex shader") != std::string::npos ||
                            head.find("compute shader") != std::string::npos;
    if (head.find("does not compile") == std::string::npos) {
        const std::vector<TextPart>& main = t.parts[1].empty() ? t.parts[0] : t.parts[1];
        return main.front().path + ": the " + program.name + " program does not link" +
               (log.empty() ? std::string() : "\n" + log);
    }
    const int stage = firstStage ? 0 : 1;
    if (program.kind == ProgramKind::pass) {
        // Compiled minified, the log's lines are the packed text's; the
        // readable text, compiled for the log alone, has the source's.
        GLuint probe = 0;
        std::string readableError;
        if (!buildPassProgram(s.moment->gl, program.name, t.readable[0].c_str(),
                              t.readable[1].c_str(), probe, &readableError) &&
            readableError.compare(0, head.size(), head) == 0) {
            const std::size_t at = readableError.find('\n');
            if (at != std::string::npos) log = readableError.substr(at + 1);
        }
        releaseProgram(s.moment->gl, s.release, probe);
    }
    if (log.empty()) return t.parts[stage].front().path + ": " + head;
    return mapShaderLog(log, t.parts[stage]);
}

void rebuildProgram(Studio& s, int p, Reload& out) {
    const ProgramSource& program = programSources[p];
    const std::string key = programKey(p);
    ProgramTexts t;
    if (!programTexts(s, p, t)) return fail(s, out, key, t.missing);
    if (t.packed[0] == s.built[p][0] && t.packed[1] == s.built[p][1]) {
        // Back to the texts drawn with: nothing to build, but a fault shown
        // till now is mended.
        if (s.errors.erase(key) > 0)
            out.mended.push_back(std::string(program.name) +
                                 " program mended: the saved text is the one drawing");
        return;
    }
    if (!s.failure[p].empty() && t.packed[0] == s.failed[p][0] && t.packed[1] == s.failed[p][1])
        return fail(s, out, key, s.failure[p]);  // the same fault saved again

    const auto start = std::chrono::steady_clock::now();
    const GlFunctions& gl = s.moment->gl;
    // The scene's builds, or the one program in built[0].
    GLuint built[sceneBuildCount] = {};
    std::string error;
    bool ok = false;
    if (program.kind == ProgramKind::noise)
        ok = buildNoiseProgram(gl, t.packed[0].c_str(), built[0], &error);
    else if (program.kind == ProgramKind::pass)
        ok = buildPassProgram(gl, program.name, t.packed[0].c_str(), t.packed[1].c_str(), built[0],
                              &error);
    else
        ok = buildScenePrograms(gl, t.packed[0].c_str(), t.packed[1].c_str(), built, &error);
    if (!ok) {
        for (GLuint b : built) releaseProgram(gl, s.release, b);
        s.failed[p][0] = t.packed[0];
        s.failed[p][1] = t.packed[1];
        s.failure[p] = describeFailure(s, p, t, error);
        return fail(s, out, key, s.failure[p]);
    }
    RenderResources& r = s.moment->resources;
    if (program.kind == ProgramKind::scene) {
        for (int b = 0; b < sceneBuildCount; ++b) {
            releaseProgram(gl, s.release, r.scenePrograms[b]);
            r.scenePrograms[b] = built[b];
        }
    } else {
        releaseProgram(gl, s.release, r.*program.program);
        r.*program.program = built[0];
    }
    if (program.kind == ProgramKind::noise) {
        const TextureBinding old = r.noiseTexture;
        r.noiseTexture = createNoiseTexture(gl, built[0]);
        s.release.deleteTextures(1, &old.texture);
    }
    s.built[p][0] = t.packed[0];
    s.built[p][1] = t.packed[1];
    s.failed[p][0].clear();
    s.failed[p][1].clear();
    s.failure[p].clear();
    s.errors.erase(key);
    char line[96];
    std::snprintf(line, sizeof line, "%s program rebuilt in %.0f ms", program.name,
                  millisecondsSince(start));
    out.rebuilt.push_back(line);
}

void reloadTracks(Studio& s, const bool changed[trackCount], Reload& out) {
    std::vector<std::uint8_t> fresh[trackCount];
    bool any = false;
    for (int t = 0; t < trackCount; ++t) {
        fresh[t] = s.keys[t];
        if (!changed[t]) continue;
        const std::string path = pathOf(s, SourceKind::track, t);
        const std::optional<std::string>& text = s.texts[path];
        if (!text) {
            fail(s, out, trackKey(t), path + ": cannot read the track file");
            continue;
        }
        std::vector<SourceKey> keys;
        std::string why;
        if (!parseTrackText(*text, path, keys, why)) {
            fail(s, out, trackKey(t), why);
            continue;
        }
        fresh[t] = packTrackKeys(keys);
        s.errors.erase(trackKey(t));
        out.applied.push_back(shortPath(s.tree, path));
        any = true;
    }
    if (!any) return;
    // New buffers for all 13: the device tells tracks apart by address.
    const std::uint8_t* data[trackCount];
    for (int t = 0; t < trackCount; ++t) data[t] = fresh[t].data();
    ShowTracks tracks;
    std::string error;
    if (!loadShowTracks(data, tracks, &error)) return fail(s, out, "tracks", error);
    s.errors.erase("tracks");
    releaseShowTracks(s.moment->tracks);
    s.moment->tracks = tracks;
    for (int t = 0; t < trackCount; ++t) s.keys[t].swap(fresh[t]);
    out.tracks = true;
}

void reloadTweaks(Studio& s, Reload& out) {
    const std::string& path = s.tree.content.tweaks;
    const std::optional<std::string>& text = s.texts[path];
    if (!text) return fail(s, out, "tweaks", path + ": cannot read the tweak file");
    std::vector<SourceTweak> tweaks;
    std::string why;
    if (!parseTweakText(*text, path, tweaks, why)) return fail(s, out, "tweaks", why);
    if (!applyTweaks(s, tweaks)) return fail(s, out, "tweaks", std::string(s.errors["tweaks"]));
    out.applied.push_back(shortPath(s.tree, path));
    out.tweaks = true;
}

void reloadScore(Studio& s, Reload& out) {
    const std::string& path = s.tree.score;
    const std::optional<std::string>& text = s.texts[path];
    if (!text) return fail(s, out, "score", path + ": cannot read the score");
    if (*text == s.scoreText) {
        s.errors.erase("score");
        return;
    }
    score::Score parsed;
    std::string why;
    if (!score::parseScore(*text, parsed, why)) return fail(s, out, "score", path + ":" + why);
    s.scoreText = *text;
    s.score = std::move(parsed);
    s.errors.erase("score");
    out.applied.push_back(shortPath(s.tree, path) + " (the sound follows once rendered)");
    out.score = true;
}

}  // namespace

bool applyTweaks(Studio& s, const std::vector<SourceTweak>& tweaks) {
    const std::vector<std::uint8_t> blob = packTweaks(tweaks);
    TweakValues values;
    if (!loadTweakBlob(blob.data(), std::uint32_t(blob.size()), values)) {
        s.errors["tweaks"] = s.tree.content.tweaks + ": the packed tweak settings do not parse";
        return false;
    }
    RenderResources& r = s.moment->resources;
    placeTweaks(values, *s.moment->content, r.fd, r.focus);
    s.errors.erase("tweaks");
    return true;
}

void showModel(Studio& s, const EditModel& m) {
    s.moment->tracks = modelTracks(m);
    applyTweaks(s, m.tweaks);
}

bool loadReleaseFunctions(ReleaseFunctions& r, GlLookup lookup, void* context) {
    r.deleteShader = reinterpret_cast<decltype(r.deleteShader)>(lookup("glDeleteShader", context));
    r.getAttachedShaders = reinterpret_cast<decltype(r.getAttachedShaders)>(
        lookup("glGetAttachedShaders", context));
    r.deleteTextures =
        reinterpret_cast<decltype(r.deleteTextures)>(lookup("glDeleteTextures", context));
    r.deleteFramebuffers =
        reinterpret_cast<decltype(r.deleteFramebuffers)>(lookup("glDeleteFramebuffers", context));
    return r.deleteShader && r.getAttachedShaders && r.deleteTextures && r.deleteFramebuffers;
}

void releaseProgram(const GlFunctions& gl, const ReleaseFunctions& r, GLuint program) {
    if (program == 0) return;
    GLuint shaders[4];
    GLsizei count = 0;
    r.getAttachedShaders(program, 4, &count, shaders);
    gl.glDeleteProgram(program);
    for (GLsizei i = 0; i < count; ++i) r.deleteShader(shaders[i]);
}

void releaseTarget(const ReleaseFunctions& r, RenderTarget& target) {
    if (target.framebuffer != 0) r.deleteFramebuffers(1, &target.framebuffer);
    for (GLuint i = 0; i < target.count && i < 4; ++i)
        r.deleteTextures(1, &target.attachments[i].texture);
    target = RenderTarget{};
}

bool startStudio(Studio& s, ShowMoment& moment, const std::string& root,
                 const std::string& builtScore, GlLookup lookup, void* context,
                 std::string* error) {
    s = Studio{};
    if (!loadReleaseFunctions(s.release, lookup, context)) {
        if (error) *error = "studio: the GL context lacks the entry points for releasing objects";
        return false;
    }
    s.moment = &moment;
    s.tree = sourceTreeAt(root);
    const EmbeddedContent& c = *moment.content;
    for (int t = 0; t < trackCount; ++t) {
        const std::uint8_t* data = c.trackKeyData[t];
        s.keys[t].assign(data, data + 4 + 9 * std::size_t(data[0]));
    }
    for (int p = 0; p < programCount; ++p) {
        const ProgramSource& program = programSources[p];
        if (program.kind == ProgramKind::noise) {
            s.built[p][0] = c.noiseShaderText;
            continue;
        }
        s.built[p][0] = c.shaderTexts[vertexShaderText];
        s.built[p][1] = program.kind == ProgramKind::scene ? c.sceneShaderText
                                                           : c.shaderTexts[program.fragment];
    }
    s.scoreText = builtScore;
    return true;
}

Reload reloadAll(Studio& s) {
    s.texts.clear();
    std::vector<std::string> paths;
    for (const SourceFile& f : s.tree.files) paths.push_back(f.path);
    return reloadFiles(s, paths);
}

Reload reloadFiles(Studio& s, const std::vector<std::string>& paths) {
    Reload out;
    bool tracks[trackCount] = {};
    bool tweaks = false, programs[programCount] = {}, score = false;
    for (const std::string& path : paths) {
        const SourceFile* file = nullptr;
        for (const SourceFile& f : s.tree.files)
            if (f.path == path) file = &f;
        if (file == nullptr) continue;
        if (s.edited && (file->kind == SourceKind::track || file->kind == SourceKind::tweaks))
            continue;
        std::optional<std::string> text;
        std::string bytes;
        if (readFile(path, bytes)) text = std::move(bytes);
        const auto known = s.texts.find(path);
        if (known != s.texts.end() && known->second == text) continue;  // nothing new
        s.texts[path] = std::move(text);
        switch (file->kind) {
            case SourceKind::track: tracks[file->index] = true; break;
            case SourceKind::tweaks: tweaks = true; break;
            case SourceKind::vertex:
                for (int p = 0; p < programCount; ++p)
                    programs[p] = programs[p] || programSources[p].kind != ProgramKind::noise;
                break;
            case SourceKind::pass:
                for (int p = 0; p < programCount; ++p)
                    programs[p] = programs[p] || (programSources[p].kind == ProgramKind::pass &&
                                                  programSources[p].fragment == file->index);
                break;
            case SourceKind::noise: programs[0] = true; break;
            case SourceKind::scenePart: programs[2] = true; break;
            case SourceKind::score: score = true; break;
        }
    }
    reloadTracks(s, tracks, out);
    if (tweaks) reloadTweaks(s, out);
    for (int p = 0; p < programCount; ++p)
        if (programs[p]) rebuildProgram(s, p, out);
    if (score) reloadScore(s, out);
    return out;
}

std::vector<std::string> errors(const Studio& s) {
    std::vector<std::string> keys;
    for (int t = 0; t < trackCount; ++t) keys.push_back(trackKey(t));
    keys.push_back("tracks");
    keys.push_back("tweaks");
    for (int p = 0; p < programCount; ++p) keys.push_back(programKey(p));
    keys.push_back("score");
    std::vector<std::string> list;
    for (const std::string& key : keys) {
        const auto it = s.errors.find(key);
        if (it == s.errors.end()) continue;
        bool seen = false;
        for (const std::string& message : list) seen = seen || message == it->second;
        if (!seen) list.push_back(it->second);
    }
    return list;
}

std::string mapShaderLog(const std::string& log, const std::vector<TextPart>& parts) {
    std::string out;
    std::size_t at = 0;
    while (at < log.size()) {
        std::size_t end = log.find('\n', at);
        if (end == std::string::npos) end = log.size();
        const std::string line = log.substr(at, end - at);
        at = end + 1;
        if (line.find_first_not_of(" \t\r") == std::string::npos) continue;

        std::string mapped;
        int number = 0, message = 0;
        bool error = false;
        if (logLine(line, number, message, error)) {
            int start = 1;
            for (const TextPart& part : parts) {
                if (number >= start && number < start + part.lines) {
                    mapped = part.path + ":" + std::to_string(number - start + 1) + ": " +
                             (error ? "error: " : "") + line.substr(std::size_t(message));
                    break;
                }
                start += part.lines;
            }
        }
        if (mapped.empty()) mapped = parts.front().path + ": " + line;
        if (!out.empty()) out += '\n';
        out += mapped;
    }
    return out;
}

}  // namespace studio
