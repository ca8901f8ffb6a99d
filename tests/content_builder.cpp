// The content builder: every refusal of a bad asset, the packed layouts, the
// soundtrack checks, and the program stopping the build with one
// "file:line: fault" line.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "content/builder/assets.h"
#include "content/builder/block.h"
#include "content/wav_writer.h"
#include "sync/tracks.h"
#include "sync/wave.h"
#include "tests/support/run_command.h"

namespace {

std::string trackRefusal(const std::string& text) {
    std::vector<SourceKey> keys;
    std::string error;
    EXPECT_FALSE(parseTrackText(text, "t.track", keys, error)) << text;
    return error;
}

std::string tweakRefusal(const std::string& text) {
    std::vector<SourceTweak> tweaks;
    std::string error;
    EXPECT_FALSE(parseTweakText(text, "tweaks.txt", tweaks, error)) << text;
    return error;
}

std::string keyLines(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += std::to_string(i * 2) + " 1.0 step\n";
    return text;
}

std::string tweakLines(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += "t" + std::to_string(i) + " 1.0\n";
    return text;
}

// A RIFF/WAVE image with the given format and a few frames of zeros.
std::vector<std::uint8_t> waveImage(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate,
                                    std::uint16_t bits) {
    std::vector<std::uint8_t> out;
    auto put = [&](std::uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) out.push_back(std::uint8_t(v >> (8 * i)));
    };
    auto tag4 = [&](const char* t) { out.insert(out.end(), t, t + 4); };
    const std::uint16_t align = std::uint16_t(channels * bits / 8);
    tag4("RIFF");
    put(4 + 24 + 8 + 16, 4);
    tag4("WAVE");
    tag4("fmt ");
    put(16, 4);
    put(tag, 2);
    put(channels, 2);
    put(rate, 4);
    put(rate * align, 4);
    put(align, 2);
    put(bits, 2);
    tag4("data");
    put(16, 4);
    out.insert(out.end(), 16, 0);
    return out;
}

bool showFormat(const std::vector<std::uint8_t>& image) {
    WaveFormat format;
    const char* error = nullptr;
    return readWave(image.data(), image.size(), format, &error) && isShowFormat(format);
}

}  // namespace

TEST(ContentTrackText, RefusesBadKeysNamingTheLine) {
    EXPECT_EQ(trackRefusal("# comment\n\n0 1.0 step\n40 2.0 linear\n40 3.0 step\n"),
              "t.track:5: rows not strictly increasing (40 after 40)");
    EXPECT_NE(trackRefusal("10 1.0 step\n5 2.0 step\n").find("t.track:2: rows not strictly"),
              std::string::npos);
    EXPECT_NE(trackRefusal("0 1.0 Linear\n").find("t.track:1: unknown interpolation \"Linear\""),
              std::string::npos);
    EXPECT_NE(trackRefusal("0 1.0 cubic\n").find("unknown interpolation"), std::string::npos);
    for (const char* value : {"nan", "inf", "-inf", "1e39", "1.0x", "abc"})
        EXPECT_NE(trackRefusal(std::string("0 ") + value + " step\n")
                      .find("t.track:1: value \"" + std::string(value) + "\" is not a finite float"),
                  std::string::npos)
            << value;
    EXPECT_NE(trackRefusal("0 1.0\n").find("t.track:1: expected three fields"), std::string::npos);
    EXPECT_NE(trackRefusal("1.5 1.0 step\n").find("is not a whole number"), std::string::npos);
    EXPECT_NE(trackRefusal("3000000000 1.0 step\n").find("is not a whole number"),
              std::string::npos);

    // 255 keys fit the count byte; the 256th is refused on its own line.
    std::vector<SourceKey> keys;
    std::string error;
    EXPECT_TRUE(parseTrackText(keyLines(255), "t.track", keys, error)) << error;
    EXPECT_EQ(keys.size(), 255u);
    EXPECT_EQ(trackRefusal(keyLines(256)), "t.track:256: more than 255 keys");
}

TEST(ContentTrackText, ReadsKeysAndPacksThemInTheKeyLayout) {
    std::vector<SourceKey> keys;
    std::string error;
    ASSERT_TRUE(parseTrackText("-5 -2.5 smooth # a comment\n  7\t0.1 ramp\n9 1e-3 linear\n", "t",
                               keys, error))
        << error;
    ASSERT_EQ(keys.size(), 3u);
    EXPECT_EQ(keys[0].row, -5);
    EXPECT_EQ(keys[0].value, -2.5f);
    EXPECT_EQ(keys[0].type, 2);
    EXPECT_EQ(keys[1].type, 3);
    EXPECT_EQ(keys[1].value, 0.1f);

    std::vector<std::uint8_t> packed = packTrackKeys(keys);
    ASSERT_EQ(packed.size(), 4u + 9u * 3u);
    const std::uint8_t head[] = {3, 0, 0, 0, 0xFB, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x20, 0xC0, 2};
    EXPECT_EQ(std::vector<std::uint8_t>(packed.begin(), packed.begin() + 13),
              std::vector<std::uint8_t>(head, head + 13));
    EXPECT_EQ(packed[4 + 9 + 8], 3);  // second key's type
    EXPECT_EQ(packTrackKeys({}), std::vector<std::uint8_t>({0, 0, 0, 0}));
}

TEST(ContentTweakText, RefusesLongNamesTooManyEntriesAndBadValues) {
    std::vector<SourceTweak> tweaks;
    std::string error;
    const std::string eighteen(18, 'a'), nineteen(19, 'a');
    EXPECT_TRUE(parseTweakText(eighteen + " 1.0\n", "tweaks.txt", tweaks, error)) << error;
    EXPECT_EQ(tweakRefusal("bloom 5\n" + nineteen + " 1.0\n"),
              "tweaks.txt:2: tweak name \"" + nineteen + "\" has 19 characters (at most 18)");

    EXPECT_TRUE(parseTweakText(tweakLines(16), "tweaks.txt", tweaks, error)) << error;
    EXPECT_EQ(tweaks.size(), 16u);
    EXPECT_EQ(tweakRefusal(tweakLines(17)), "tweaks.txt:17: more than 16 tweak entries");

    EXPECT_NE(tweakRefusal("lum nan\n").find("tweaks.txt:1: value \"nan\" is not a finite float"),
              std::string::npos);
    EXPECT_NE(tweakRefusal("lum\n").find("tweaks.txt:1: expected two fields"), std::string::npos);
    EXPECT_EQ(tweakRefusal("# c\nl" + std::string(1, '\0') + "m 1.0\n"),
              "tweaks.txt:2: tweak name contains a NUL byte");
}

TEST(ContentTweakText, PacksEntriesAndTheEndByte) {
    std::vector<std::uint8_t> blob = packTweaks({{"ab", 1.0f}, {"", -2.0f}});
    const std::uint8_t expected[] = {0x01, 'a',  'b',  0x00, 0x00, 0x00, 0x80, 0x3F,
                                     0x01, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00};
    EXPECT_EQ(blob, std::vector<std::uint8_t>(expected, expected + sizeof expected));
    EXPECT_EQ(packTweaks({}), std::vector<std::uint8_t>({0x00}));
}

TEST(ContentSoundtrack, OnlySixteenBitStereo44100PcmIsTheShowsFormat) {
    EXPECT_TRUE(showFormat(waveImage(1, 2, 44100, 16)));
    EXPECT_FALSE(showFormat(waveImage(1, 1, 44100, 16)));  // mono
    EXPECT_FALSE(showFormat(waveImage(1, 2, 48000, 16)));
    EXPECT_FALSE(showFormat(waveImage(1, 2, 44100, 8)));
    EXPECT_FALSE(showFormat(waveImage(1, 2, 44100, 24)));
    EXPECT_FALSE(showFormat(waveImage(3, 2, 44100, 32)));  // float samples

    // Images that are not well-formed RIFF/WAVE are refused with a reason.
    std::vector<std::uint8_t> good = waveImage(1, 2, 44100, 16);
    WaveFormat format;
    const char* error = nullptr;
    std::vector<std::uint8_t> notRiff = good;
    std::memcpy(notRiff.data(), "RIFX", 4);
    EXPECT_FALSE(readWave(notRiff.data(), notRiff.size(), format, &error));
    std::vector<std::uint8_t> truncated(good.begin(), good.end() - 5);  // data runs past the end
    EXPECT_FALSE(readWave(truncated.data(), truncated.size(), format, &error));
    EXPECT_NE(error, nullptr);
    EXPECT_FALSE(readWave(good.data(), 8, format, &error));
    std::vector<std::uint8_t> noData(good.begin(), good.begin() + 12 + 24);
    noData[4] = 4 + 24;
    EXPECT_FALSE(readWave(noData.data(), noData.size(), format, &error));
    EXPECT_STREQ(error, "no \"data\" chunk");
}

TEST(ContentSoundtrack, TheWriterLaysOutTheShowsChunks) {
    const std::int16_t samples[6] = {1, -1, 2, -2, 3, -3};
    std::vector<std::uint8_t> image = buildWaveImage(samples, 3);
    ASSERT_EQ(image.size(), 12u + 36u + 24u + 8u + 12u + 8u + soundtrackIxmlBytes);
    EXPECT_EQ(std::memcmp(image.data() + 12, "JUNK\x1c\0\0\0", 8), 0);
    EXPECT_EQ(std::memcmp(image.data() + 48, "fmt \x10\0\0\0", 8), 0);
    EXPECT_EQ(std::memcmp(image.data() + 72, "data\x0c\0\0\0", 8), 0);
    EXPECT_EQ(std::memcmp(image.data() + 92, "iXML", 4), 0);
    std::uint32_t riffSize;
    std::memcpy(&riffSize, image.data() + 4, 4);
    EXPECT_EQ(riffSize + 8, image.size());
    WaveFormat format;
    const char* error = nullptr;
    ASSERT_TRUE(readWave(image.data(), image.size(), format, &error)) << error;
    EXPECT_TRUE(isShowFormat(format));
    EXPECT_EQ(format.sampleBytes, 12u);
    EXPECT_EQ(format.samples, image.data() + 80);
}

namespace {

// A copy of the source tree's tracks beside the real shaders and tweaks.
struct BuilderRun {
    std::string dir;
    BuilderRun() {
        char pattern[] = "/tmp/ostrel-builder-XXXXXX";
        dir = mkdtemp(pattern);
        std::system(("mkdir -p " + dir + "/tracks " + dir + "/out && cp " OSTREL_SOURCE_DIR
                     "/content/tracks/*.track " + dir + "/tracks/")
                        .c_str());
    }
    ~BuilderRun() { std::system(("rm -rf " + dir).c_str()); }
    void write(const std::string& name, const std::string& text) {
        std::ofstream(dir + "/" + name, std::ios::binary) << text;
    }
    ContentSources sources(const std::string& soundtrack) const {
        ContentSources s = sourceTree(OSTREL_SOURCE_DIR, soundtrack);
        s.tracks = dir + "/tracks";
        return s;
    }
    // The block writer called directly: the refusal line, or "" when built.
    std::string build(const std::string& soundtrack) {
        ContentPieces pieces;
        std::string error;
        if (gatherContent(sources(soundtrack), pieces, &error) &&
            writeContentBlock(dir + "/out", pieces, &error))
            return "";
        return error.empty() ? "(failed without a line)" : error;
    }
};

std::string smallShowWave(const std::string& path, std::uint16_t channels) {
    std::vector<std::uint8_t> image = waveImage(1, channels, 44100, 16);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
    return path;
}

}  // namespace

TEST(ContentBuilderProgram, ABadAssetStopsTheBuildWithOneLine) {
    BuilderRun b;
    const std::string stereo = smallShowWave(b.dir + "/stereo.wav", 2);
    ASSERT_EQ(b.build(stereo), "");  // the shipped assets build

    b.write("tracks/camPosX.track", "0 0.0 linear\n# cut\n40 1.0 step\n40 2.0 step\n");
    EXPECT_EQ(b.build(stereo),
              b.dir + "/tracks/camPosX.track:4: rows not strictly increasing (40 after 40)");
    std::remove((b.dir + "/tracks/camPosX.track").c_str());
    EXPECT_EQ(b.build(stereo), b.dir + "/tracks/camPosX.track: cannot read the track file");

    std::system(("cp " OSTREL_SOURCE_DIR "/content/tracks/camPosX.track " + b.dir + "/tracks/")
                    .c_str());
    const std::string mono = smallShowWave(b.dir + "/mono.wav", 1);
    EXPECT_EQ(b.build(mono), mono + ":1: the soundtrack is not 16-bit stereo 44100 Hz PCM RIFF/WAVE");

    // The program: one line and a failing status for a bad asset, and the
    // files it read in its dependency file once it builds.
    std::string output;
    b.write("tracks/scene.track", "0 0.0 step\n5 1.0 wobble\n");
    const std::string command = std::string(OSTREL_BUILDER) + " --out " + b.dir +
                                "/out --tracks " + b.dir + "/tracks --tweaks " OSTREL_SOURCE_DIR
                                "/content/tweaks.txt --shaders " OSTREL_SOURCE_DIR
                                "/shaders --depfile " + b.dir + "/out/content.d --soundtrack ";
    EXPECT_EQ(runCommand(command + stereo, output), 1);
    EXPECT_EQ(output, "ostrel-content-builder: " + b.dir +
                          "/tracks/scene.track:2: unknown interpolation \"wobble\" (expected "
                          "step, linear, smooth or ramp)\n");
    std::system(("cp " OSTREL_SOURCE_DIR "/content/tracks/scene.track " + b.dir + "/tracks/")
                    .c_str());
    ASSERT_EQ(runCommand(command + stereo, output), 0) << output;
    EXPECT_NE(output.find("ostrel-content-builder: 13 tracks (143 keys), 12 tweak settings"), std::string::npos)
        << output;
    std::ifstream depfile(b.dir + "/out/content.d");
    const std::string deps((std::istreambuf_iterator<char>(depfile)),
                           std::istreambuf_iterator<char>());
    for (const char* input : {"/tracks/blobEffect.track", "/content/tweaks.txt",
                              "/shaders/scene/scenes.glsl", "/shaders/fullscreen.vert", "/stereo.wav"})
        EXPECT_NE(deps.find(input), std::string::npos) << input << " in\n" << deps;
}

TEST(ContentBuilderProgram, SharedBlocksGoInAfterTheVersionLineKeepingLineNumbers) {
    const std::string packed = packLargeShader("#version 430\nvoid main()\n{\n    x;\n}\n", true);
    // The version line stays first; the declarations follow it, then a
    // "#line 2" so that "void main()" is still line 2 for the compiler.
    EXPECT_EQ(packed.compare(0, 14, "#version 430\r\n"), 0) << packed;
    const std::size_t fd = packed.find("uniform FD"), tracks = packed.find("uniform TrackData");
    const std::size_t line = packed.find("#line 2\r\nvoid main()");
    ASSERT_NE(fd, std::string::npos);
    ASSERT_NE(tracks, std::string::npos);
    ASSERT_NE(line, std::string::npos);
    EXPECT_LT(fd, tracks);
    EXPECT_LT(tracks, line);
    EXPECT_NE(packed.find("float viggnet;"), std::string::npos);
    // The small texts are minified with them; the vertex text gets none.
    const std::string small = packSmallShader("#version 420\nvoid main() { }\n", true);
    EXPECT_EQ(small.compare(0, 13, "#version 420\n"), 0) << small;
    EXPECT_NE(small.find("uniform TrackData{float dofFocusPoint;"), std::string::npos) << small;
    EXPECT_EQ(packSmallShader("#version 430\nvoid main() { }\n", false),
              "#version 430\nvoid main(){}");
}

TEST(ContentBuilderProgram, NamesContentTheShowWouldGetWrong) {
    BuilderRun b;
    const std::string stereo = smallShowWave(b.dir + "/stereo.wav", 2);
    ContentPieces pieces;
    std::string error;
    // A misspelt tweak name would leave its setting at 0: refused at its line.
    b.write("tweaks.txt", "# tuned\nbloom 5\nbogus 1\n");
    ContentSources s = b.sources(stereo);
    s.tweaks = b.dir + "/tweaks.txt";
    EXPECT_FALSE(gatherContent(s, pieces, &error));
    EXPECT_EQ(error.rfind(b.dir + "/tweaks.txt:3: the show reads no tweak named \"bogus\"", 0), 0u)
        << error;
    // A scene track that never goes below -2 never ends the show: empty, or
    // only dipping below -2 before row 0; one that gets there between keys
    // at row 0 or on a key after it ends it.
    for (const std::string& scene : {std::string(""), std::string("-10 -3 step\n0 0 step\n"),
                                     std::string("0 0 step\n100 -1 step\n")}) {
        b.write("tracks/scene.track", scene);
        EXPECT_FALSE(gatherContent(b.sources(stereo), pieces, &error)) << scene;
        EXPECT_NE(error.find("scene.track:"), std::string::npos) << error;
        EXPECT_NE(error.find("the show would never end"), std::string::npos) << error;
    }
    for (const std::string& scene : {std::string("-10 -3 linear\n30 0 step\n"),
                                     std::string("0 0 step\n100 -3 step\n200 0 step\n")}) {
        b.write("tracks/scene.track", scene);
        EXPECT_TRUE(gatherContent(b.sources(stereo), pieces, &error)) << scene << error;
    }
    // A file that is none of the 13 tracks: the program builds and warns.
    b.write("tracks/extra.track", "0 1 step\n");
    std::string output;
    const std::string command = std::string(OSTREL_BUILDER) + " --out " + b.dir + "/out --tracks " +
                                b.dir + "/tracks --tweaks " OSTREL_SOURCE_DIR
                                "/content/tweaks.txt --shaders " OSTREL_SOURCE_DIR
                                "/shaders --soundtrack " + stereo;
    EXPECT_EQ(runCommand(command, output), 0) << output;
    EXPECT_NE(output.find("content: warning: " + b.dir +
                          "/tracks/extra.track:1: not one of the show's 13 tracks; the build "
                          "ignores it\n"),
              std::string::npos)
        << output;
}
