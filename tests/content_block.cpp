// The linked content block: its arrangement, the texts and blobs inside it,
// the round trip from the text assets through the block to decoded tracks
// and tweak values, the show's fixed keys, and the inspector's output.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "content/builder/assets.h"
#include "render/frame.h"
#include "render/uniforms.h"
#include "sync/content.h"
#include "sync/show_tracks.h"
#include "sync/sync.h"
#include "sync/tracks.h"
#include "sync/tweak.h"
#include "sync/wave.h"
#include "tests/support/run_command.h"

namespace {

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<SourceKey> sourceKeys(Track t) {
    const std::string path =
        std::string(OSTREL_SOURCE_DIR) + "/content/tracks/" + trackNames[t] + ".track";
    std::vector<SourceKey> keys;
    std::string error;
    EXPECT_TRUE(parseTrackText(readText(path), path, keys, error)) << error;
    return keys;
}

// The 13 tracks of the linked block, through the show's own loader.
struct Decoded : ShowTracks {
    Decoded() {
        std::string error;
        EXPECT_TRUE(loadShowTracks(ostrelContent, *this, &error)) << error;
    }
};

bool isText(const char* text, std::size_t bytes) {
    return text[bytes - 1] == '\0' && std::strlen(text) == bytes - 1;
}

}  // namespace

TEST(ContentBlock, FixedHeadIsArrangedAsTheShowExpects) {
    // The head with 8-byte references; the builder's layout header is held
    // to the declaration at compile time, this holds both to these numbers.
    EXPECT_EQ(offsetof(EmbeddedContent, shaderTexts), 0u);
    EXPECT_EQ(offsetof(EmbeddedContent, renderWidth), 6 * sizeof(void*));
    EXPECT_EQ(offsetof(EmbeddedContent, renderHeight), 6 * sizeof(void*) + 4);
    EXPECT_EQ(offsetof(EmbeddedContent, trackKeyData), 6 * sizeof(void*) + 8);
    const std::size_t flags = 6 * sizeof(void*) + 8 + 13 * sizeof(void*);
    EXPECT_EQ(offsetof(EmbeddedContent, advanceTime), flags);
    EXPECT_EQ(offsetof(EmbeddedContent, dofEnabled), flags + 1);
    EXPECT_EQ(offsetof(EmbeddedContent, bloomPasses), flags + 4);
    EXPECT_EQ(offsetof(EmbeddedContent, luminance), flags + 8);
    EXPECT_EQ(offsetof(EmbeddedContent, tweakBlob), flags + 12);
    // The variable parts follow one another with no gaps.
    EXPECT_EQ(offsetof(EmbeddedContent, noiseShaderText),
              offsetof(EmbeddedContent, tweakBlob) + sizeof ostrelContent.tweakBlob);
    EXPECT_EQ(offsetof(EmbeddedContent, sceneShaderText),
              offsetof(EmbeddedContent, noiseShaderText) + sizeof ostrelContent.noiseShaderText);
    EXPECT_EQ(offsetof(EmbeddedContent, trackKeyBlocks),
              offsetof(EmbeddedContent, sceneShaderText) + sizeof ostrelContent.sceneShaderText);
    EXPECT_EQ(offsetof(EmbeddedContent, soundtrack),
              offsetof(EmbeddedContent, trackKeyBlocks) + sizeof ostrelContent.trackKeyBlocks);

    // Start values (this process never runs the tweak loader on the block).
    EXPECT_EQ(ostrelContent.renderWidth, 512.0f);
    EXPECT_EQ(ostrelContent.renderHeight, 384.0f);
    EXPECT_EQ(ostrelContent.advanceTime, 1);
    EXPECT_EQ(ostrelContent.dofEnabled, 1);
    EXPECT_EQ(ostrelContent.padding[0], 0);
    EXPECT_EQ(ostrelContent.padding[1], 0);
    EXPECT_EQ(ostrelContent.bloomPasses, 5);
    EXPECT_EQ(ostrelContent.luminance, 1.0f);
}

TEST(ContentBlock, TextsAndBlobsAreStoredWhole) {
    EXPECT_EQ(ostrelContent.shaderTexts[reservedShaderText], nullptr);
    for (int i : {vertexShaderText, bloomBlurShaderText, compositeShaderText, tonemapShaderText,
                  depthOfFieldShaderText}) {
        const char* text = ostrelContent.shaderTexts[i];
        ASSERT_NE(text, nullptr) << "shader text " << i;
        EXPECT_EQ(std::strncmp(text, "#version ", 9), 0) << "shader text " << i;
        EXPECT_EQ(std::strchr(text, '\r'), nullptr) << "shader text " << i;
    }
    for (const auto& big : {std::make_pair(ostrelContent.noiseShaderText,
                                           sizeof ostrelContent.noiseShaderText),
                            std::make_pair(ostrelContent.sceneShaderText,
                                           sizeof ostrelContent.sceneShaderText)}) {
        ASSERT_TRUE(isText(big.first, big.second)) << "one NUL, at the end";
        EXPECT_EQ(std::strncmp(big.first, "#version ", 9), 0);
        for (std::size_t i = 0; i + 1 < big.second; ++i)
            if (big.first[i] == '\n') {
                ASSERT_TRUE(i > 0 && big.first[i - 1] == '\r') << "LF alone at " << i;
            }
    }
    // The tweak blob ends with the byte that ends the list inside it.
    EXPECT_EQ(ostrelContent.tweakBlob[sizeof ostrelContent.tweakBlob - 1], 0x00);

    // The key blocks lie back to back in their storage order, each 4 + 9 keys.
    const std::uint8_t* at = ostrelContent.trackKeyBlocks;
    for (Track t : trackBlockOrder) {
        EXPECT_EQ(ostrelContent.trackKeyData[t], at) << trackNames[t];
        at += 4 + 9 * std::size_t(at[0]);
    }
    EXPECT_EQ(at, ostrelContent.soundtrack);

    // The soundtrack: a complete image whose RIFF size covers it exactly.
    EXPECT_EQ(std::memcmp(ostrelContent.soundtrack, "RIFF", 4), 0);
    std::uint32_t riffSize;
    std::memcpy(&riffSize, ostrelContent.soundtrack + 4, 4);
    EXPECT_EQ(std::size_t(riffSize) + 8, sizeof ostrelContent.soundtrack);
    WaveFormat format;
    const char* error = nullptr;
    ASSERT_TRUE(readWave(ostrelContent.soundtrack, sizeof ostrelContent.soundtrack, format, &error))
        << error;
    EXPECT_TRUE(isShowFormat(format));
    EXPECT_EQ(format.sampleBytes, 29690092u);
}

// The 1024 x 768 build's block, linked beside this build's under another
// name: the build variants must carry the same content.
extern "C" EmbeddedContent ostrelContent1024;

TEST(ContentBlock, BuildVariantsDifferOnlyInTheStartRenderSize) {
    const EmbeddedContent& a = ostrelContent;
    const EmbeddedContent& b = ostrelContent1024;
    EXPECT_EQ(a.renderWidth, 512.0f);
    EXPECT_EQ(a.renderHeight, 384.0f);
    EXPECT_EQ(b.renderWidth, 1024.0f);
    EXPECT_EQ(b.renderHeight, 768.0f);
    // References point into each build's own read-only data: compare what
    // they refer to.
    for (int i = 0; i < shaderTextCount; ++i) {
        ASSERT_EQ(a.shaderTexts[i] == nullptr, b.shaderTexts[i] == nullptr) << i;
        if (a.shaderTexts[i]) {
            EXPECT_STREQ(a.shaderTexts[i], b.shaderTexts[i]) << i;
        }
    }
    for (int t = 0; t < trackCount; ++t) {
        const std::size_t bytes = 4 + 9 * std::size_t(a.trackKeyData[t][0]);
        EXPECT_EQ(std::memcmp(a.trackKeyData[t], b.trackKeyData[t], bytes), 0) << trackNames[t];
    }
    // Everything from the run flags to the end of the block, byte for byte.
    const std::size_t from = offsetof(EmbeddedContent, advanceTime);
    const auto* pa = reinterpret_cast<const unsigned char*>(&a);
    const auto* pb = reinterpret_cast<const unsigned char*>(&b);
    EXPECT_EQ(std::memcmp(pa + from, pb + from, sizeof(EmbeddedContent) - from), 0);
}

TEST(ContentRoundTrip, DecodedTracksEqualTheTextAssets) {
    Decoded d;
    ASSERT_NE(d.device, nullptr);
    ASSERT_EQ(d.device->trackCount, trackCount);
    for (int t = 0; t < trackCount; ++t) {
        SCOPED_TRACE(trackNames[t]);
        ASSERT_NE(d.tracks[t], nullptr);
        EXPECT_EQ(d.device->tracks[t], d.tracks[t]);
        std::vector<SourceKey> source = sourceKeys(Track(t));
        ASSERT_EQ(d.tracks[t]->keyCount, int(source.size()));
        for (std::size_t k = 0; k < source.size(); ++k) {
            const TrackKey& key = d.tracks[t]->keys[k];
            EXPECT_EQ(key.row, source[k].row);
            EXPECT_EQ(std::memcmp(&key.value, &source[k].value, 4), 0) << "key " << k;
            EXPECT_EQ(key.type, source[k].type);
        }
    }
}

TEST(ContentRoundTrip, TweakValuesEqualTheTextAndReachTheirTargets) {
    const std::string path = std::string(OSTREL_SOURCE_DIR) + "/content/tweaks.txt";
    std::vector<SourceTweak> source;
    std::string error;
    ASSERT_TRUE(parseTweakText(readText(path), path, source, error)) << error;
    TweakSettings table;
    ASSERT_TRUE(parseTweakSettings(ostrelContent.tweakBlob,
                                   std::uint32_t(sizeof ostrelContent.tweakBlob), table));
    ASSERT_EQ(table.count, int(source.size()));
    for (std::size_t i = 0; i < source.size(); ++i) {
        EXPECT_EQ(std::string(table.entries[i].name), source[i].name);
        EXPECT_EQ(table.entries[i].value, source[i].value) << source[i].name;
    }

    // The loader on a copy of the block, so this process's block keeps its
    // start values.
    auto copy = std::make_unique<EmbeddedContent>(ostrelContent);
    FD fd{};
    fd.F0 = 1.0f;
    FocusData focus{0.0f, 1.0f};
    loadTweakSettings(*copy, fd, focus);
    EXPECT_EQ(copy->bloomPasses, 5);
    EXPECT_EQ(copy->luminance, 0.53f);
    EXPECT_EQ(copy->dofEnabled, 1);
    EXPECT_EQ(focus.fp, 41.2f);
    EXPECT_EQ(focus.fs, 122.8f);
    const float m0[4] = {0, 0, 0, 1.3207935f}, cp[4] = {-4.34f, 1.83f, -1.63f, 0},
                cr[4] = {1.17f, -0.606f, 0.0f, 0};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(fd.M0[i], m0[i]);
        EXPECT_EQ(fd.CP[i], cp[i]);
        EXPECT_EQ(fd.CR[i], cr[i]);
    }
    EXPECT_EQ(fd.F0, 1.0f);
}

TEST(ContentTracks, TheShowsFixedKeysAreInPlace) {
    // Key counts, row ranges, the types each track uses and the keys that
    // the rest of the show depends on. The other keys are choreography.
    struct Fixed {
        Track track;
        int keys;
        int first, last;
        const char* types;  // S step, L linear, M smooth
        std::vector<SourceKey> telling;
    };
    const std::vector<Fixed> fixed = {
        {dofFocusPoint, 24, 0, 2350, "SLM",
         {{0, 1.0f, 1}, {79, 15.0f, 1}, {227, 200.0f, 2}, {778, 500.0f, 1}, {1674, 180.0f, 1}}},
        {dofFocusScale, 23, 0, 2350, "SLM",
         {{0, 20.0f, 2}, {64, 5.0f, 1}, {610, 200.0f, 1}, {1146, 1.0f, 0}, {1160, 50.0f, 0}}},
        {bloomLuminance, 6, 0, 2350, "S", {{0, 0.6f, 0}, {802, 0.0f, 0}}},
        {camPosX, 7, 0, 2350, "SL", {{0, 0.0f, 1}, {183, -2.5f, 0}, {189, 0.0f, 0}}},
        {camPosY, 11, 0, 2350, "SL",
         {{0, 0.5f, 1}, {189, 3.0f, 1}, {802, 5.0f, 1}, {1146, 10.0f, 0}, {1160, 5.0f, 1}}},
        {camPosZ, 11, 0, 2350, "SL",
         {{0, -1.0f, 0}, {189, 2.0f, 1}, {722, 6.0f, 0}, {1160, -15.0f, 1}, {1424, -8.0f, 0}}},
        {camRotX, 8, 0, 2350, "SL",
         {{0, 1.3f, 1}, {184, 1.5f, 0}, {189, 3.14f, 0}, {802, 0.0f, 1}, {1146, 1.28f, 0}}},
        {camRotY, 12, 0, 2350, "SL",
         {{0, -0.8f, 0}, {482, -0.05f, 1}, {802, -1.28f, 0}, {1160, -0.25f, 1}, {2219, 0.1f, 0}}},
        {camRotZ, 6, 0, 2350, "S", {}},
        {viggnet, 16, 0, 2350, "SL",
         {{0, 0.0f, 1}, {80, 2.0f, 1}, {728, 4.0f, 1}, {788, 0.0f, 0}, {802, 4.0f, 0}}},
        {scene, 6, 0, 2432, "S",
         {{0, 0.0f, 0}, {1160, 2.5f, 0}, {1674, 3.5f, 0}, {2350, 0.0f, 0}, {2408, -1.0f, 0},
          {2432, -3.0f, 0}}},
        {blobPos, 6, 1160, 2350, "SLM",
         {{1160, -2.0f, 1}, {1184, -1.9f, 1}, {1208, -2.0f, 2}, {1288, 1.0f, 0}}},
        {blobEffect, 7, 1160, 2350, "SL",
         {{1160, 0.0f, 1}, {1246, 0.0f, 1}, {1315, 1.0f, 0}, {2054, 0.0f, 1}, {2191, 1.0f, 0}}},
    };
    int total = 0;
    for (const Fixed& f : fixed) {
        SCOPED_TRACE(trackNames[f.track]);
        std::vector<SourceKey> keys = sourceKeys(f.track);
        total += int(keys.size());
        ASSERT_EQ(int(keys.size()), f.keys);
        EXPECT_EQ(keys.front().row, f.first);
        EXPECT_EQ(keys.back().row, f.last);
        const char kinds[] = "SLMR";  // in type order
        std::string types;
        for (int type = 0; type < 4; ++type)
            for (const SourceKey& k : keys)
                if (k.type == type && types.find(kinds[type]) == std::string::npos)
                    types += kinds[type];
        EXPECT_EQ(types, f.types);
        for (const SourceKey& want : f.telling) {
            bool found = false;
            for (const SourceKey& k : keys)
                if (k.row == want.row) {
                    found = true;
                    EXPECT_EQ(k.value, want.value) << "row " << want.row;
                    EXPECT_EQ(k.type, want.type) << "row " << want.row;
                }
            EXPECT_TRUE(found) << "no key at row " << want.row;
        }
        // A key at 2350 with value 0.0; the last key of every track but scene.
        bool at2350 = false;
        for (const SourceKey& k : keys) at2350 = at2350 || (k.row == 2350 && k.value == 0.0f);
        EXPECT_TRUE(at2350);
        if (f.track != scene) {
            EXPECT_EQ(keys.back().value, 0.0f);
        }
        // camRotZ is 0 throughout; bloomLuminance after 802 and camPosX after
        // 189 too ("later keys 0.0").
        for (const SourceKey& k : keys) {
            if (f.track == camRotZ || (f.track == bloomLuminance && k.row > 802) ||
                (f.track == camPosX && k.row > 189)) {
                EXPECT_EQ(k.value, 0.0f) << "row " << k.row;
            }
        }
    }
    EXPECT_EQ(total, 143);
}

namespace {

int runInspect(const std::string& arguments, std::string& output) {
    return runCommand(std::string(OSTREL_INSPECT) + " " + arguments, output);
}

}  // namespace

TEST(ContentInspector, RowsGiveTheValuesTheFrameLoopSees) {
    std::string output;
    // The rows on stdout (row 3000, past the show's end, is said on stderr).
    ASSERT_EQ(runCommand("{ " + std::string(OSTREL_INSPECT) +
                             " --at 39.5 32 100 1159.99 1160 3000 2>/dev/null; }",
                         output),
              0)
        << output;
    std::istringstream lines(output);
    std::vector<std::vector<float>> rows;
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::vector<float> values;
        std::string field;
        while (fields >> field) values.push_back(std::strtof(field.c_str(), nullptr));
        ASSERT_EQ(values.size(), 14u) << line;
        rows.push_back(values);
    }
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[0][0], 39.5f);
    EXPECT_EQ(rows[0][1 + dofFocusPoint], 8.0f);
    EXPECT_EQ(rows[1][1 + dofFocusScale], 12.5f);
    EXPECT_EQ(rows[2][1 + blobPos], -2.0f);
    EXPECT_EQ(rows[3][0], 1159.99f);
    EXPECT_EQ(rows[3][1 + scene], 0.0f);
    EXPECT_EQ(rows[4][1 + scene], 2.5f);
    for (int t = 0; t < trackCount; ++t)
        EXPECT_EQ(rows[5][1 + t], t == scene ? -3.0f : 0.0f) << trackNames[t];

    // Every printed value is, to the bit, what the frame loop computes here.
    Decoded d;
    for (const std::vector<float>& row : rows)
        for (int t = 0; t < trackCount; ++t)
            EXPECT_EQ(row[1 + t], float(getTrackValue(d.tracks[t], double(row[0]))))
                << trackNames[t] << " at " << row[0];
}

TEST(ContentInspector, ListsTracksTweaksAndSoundtrack) {
    std::string output;
    ASSERT_EQ(runInspect("", output), 0) << output;
    EXPECT_NE(output.find("tracks: 13, 143 keys"), std::string::npos) << output;
    EXPECT_NE(output.find(" scene              6      0   2432"), std::string::npos) << output;
    EXPECT_NE(output.find("tweak settings: 12 entries"), std::string::npos) << output;
    EXPECT_NE(output.find("-> bloomPasses = 5\n"), std::string::npos) << output;
    EXPECT_NE(output.find("-> dofEnabled = 1\n"), std::string::npos) << output;
    // Values as the tweak file writes them, not 0.529999971.
    EXPECT_NE(output.find("-> FD.M0.w = 1.3207935\n"), std::string::npos) << output;
    EXPECT_NE(output.find("  lum    0.53         -> luminance = 0.53\n"), std::string::npos)
        << output;
    EXPECT_NE(output.find("44100 Hz, 16 bits"), std::string::npos) << output;
    EXPECT_NE(output.find("7422523 frames, 168.311 s"), std::string::npos) << output;

    EXPECT_EQ(runInspect("--at", output), 2);
    EXPECT_EQ(runInspect("--at 12 twelve", output), 2);
    EXPECT_NE(output.find("row \"twelve\" is not a finite number"), std::string::npos) << output;
    EXPECT_EQ(runInspect("--at nan", output), 2);
    EXPECT_EQ(runInspect("--what", output), 2);
}
