// What the studio shows is the show's own picture, on headless moments:
// the full picture after low ones and after a full one given up for input
// equals the show's frame, and so does the low one at its size; an edit,
// saved and built as the build packs the sources, draws what the studio
// drew before the save.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "content/builder/block.h"
#include "content/edit/model.h"
#include "host/headless.h"
#include "host/moment.h"
#include "sync/content.h"
#include "tests/support/source_copy.h"
#include "tools/studio/pictures.h"
#include "tools/studio/reload.h"
#include "tools/studio/transport.h"

using namespace studio;

namespace {

void* headlessLookupFor(const char* name, void*) { return headlessGlFunction(name); }

// Each moment draws from a block of its own: opening one and drawing
// rewrite the block's render size and tweak fields.
std::unique_ptr<EmbeddedContent> blockCopy() {
    return std::make_unique<EmbeddedContent>(ostrelContent);
}

std::vector<float> showFrame(EmbeddedContent& content, int width, int height, std::int32_t time,
                             std::int32_t clock) {
    ShowMoment m{};
    MomentOptions options;
    options.width = width;
    options.height = height;
    std::string error;
    EXPECT_TRUE(openMoment(m, content, options, &error)) << error;
    renderMoment(m, time, clock);
    std::vector<float> rgba;
    readMoment(m, rgba);
    return rgba;
}

std::vector<float> read(const ShowMoment& m, const Picture& p) {
    ShowMoment view = m;
    view.output = p.output;
    view.width = p.width;
    view.height = p.height;
    std::vector<float> rgba;
    readMoment(view, rgba);
    return rgba;
}

// Input waits after this many more bands (never while negative).
int bandsUntilInput = -1;
bool inputAfterBands() { return bandsUntilInput >= 0 && bandsUntilInput-- == 0; }

// The block the builder would write from `pieces`, on the built show's
// layout (the edits below keep every piece's size).
std::unique_ptr<EmbeddedContent> builtBlock(const ContentPieces& pieces) {
    auto c = blockCopy();
    for (int t = 0; t < trackCount; ++t) c->trackKeyData[t] = pieces.trackKeys[t].data();
    EXPECT_EQ(pieces.tweakBlob.size(), sizeof c->tweakBlob);
    std::memcpy(c->tweakBlob, pieces.tweakBlob.data(),
                std::min(pieces.tweakBlob.size(), sizeof c->tweakBlob));
    for (int s = 0; s < shaderTextCount; ++s)
        if (!pieces.shaderTexts[s].empty()) c->shaderTexts[s] = pieces.shaderTexts[s].c_str();
    EXPECT_LT(pieces.noise.size(), sizeof c->noiseShaderText);
    EXPECT_LT(pieces.scene.size(), sizeof c->sceneShaderText);
    std::memset(c->noiseShaderText, 0, sizeof c->noiseShaderText);
    std::memset(c->sceneShaderText, 0, sizeof c->sceneShaderText);
    std::memcpy(c->noiseShaderText, pieces.noise.data(),
                std::min(pieces.noise.size(), sizeof c->noiseShaderText - 1));
    std::memcpy(c->sceneShaderText, pieces.scene.data(),
                std::min(pieces.scene.size(), sizeof c->sceneShaderText - 1));
    return c;
}

}  // namespace

TEST(StudioPictures, TheFullPictureAfterLowOnesAndOneGivenUpIsTheShowsFrame) {
    const std::int32_t time = 30000;
    auto reference = blockCopy(), low = blockCopy(), studio = blockCopy();
    const std::vector<float> frame = showFrame(*reference, 96, 72, time, time);
    // Moving on, the shaders see the clock of the frame before, as in the show.
    const std::vector<float> lowFrame = showFrame(*low, 24, 18, time, time - 200);

    ShowMoment m{};
    MomentOptions options;
    options.width = 96;
    options.height = 72;
    std::string error;
    ASSERT_TRUE(openMoment(m, *studio, options, &error)) << error;
    Pictures p;
    ASSERT_TRUE(loadReleaseFunctions(p.release, headlessLookupFor, nullptr));
    ASSERT_TRUE(startBanding(m.gl, headlessLookupFor, nullptr, inputAfterBands));
    ASSERT_TRUE(makePictures(p, m, 96, 72, &error)) << error;

    // A drag: low pictures, moving on; a full one that input stops after
    // three bands; a low one again (drawn after the given-up picture's
    // passes), and the full one at rest.
    for (std::int32_t t = time - 600; t <= time - 200; t += 200)
        ASSERT_TRUE(drawPicture(p, m, frameValuesAt(m.tracks.tracks, t).tracks, t, false, &error))
            << error;
    ASSERT_EQ(p.low.width, 24);
    bandsUntilInput = 2;
    EXPECT_FALSE(drawPicture(p, m, frameValuesAt(m.tracks.tracks, time).tracks, time, true,
                             &error));
    EXPECT_EQ(p.givenUp, 3);
    EXPECT_FALSE(p.shownFull) << "a given-up picture is never shown";
    ASSERT_TRUE(drawPicture(p, m, frameValuesAt(m.tracks.tracks, time).tracks, time, false,
                            &error));
    EXPECT_EQ(read(m, p.low), lowFrame) << "the low picture is the show's frame at its size";
    bandsUntilInput = -1;
    ASSERT_TRUE(drawPicture(p, m, frameValuesAt(m.tracks.tracks, time).tracks, time, true,
                            &error));
    EXPECT_TRUE(p.shownFull);
    EXPECT_EQ(p.givenUp, 0);
    const std::vector<float> full = read(m, shownPicture(p));
    ASSERT_EQ(full.size(), frame.size());
    int differing = 0;
    for (std::size_t i = 0; i < full.size(); ++i) differing += full[i] != frame[i];
    EXPECT_EQ(differing, 0) << "of " << full.size() << " channel values";
    releasePictures(p);
}

TEST(StudioPictures, AnEditSavedAndBuiltDrawsWhatTheStudioDrewBeforeTheSave) {
    SourceCopy sources{OSTREL_SOURCE_DIR};
    EditModel model;
    std::string error;
    ASSERT_TRUE(openModel(model, sourceTree(sources.root.string(), ""), &error)) << error;
    auto block = blockCopy();
    ShowMoment m{};
    MomentOptions options;
    options.width = 64;
    options.height = 48;
    ASSERT_TRUE(openMoment(m, *block, options, &error)) << error;
    Studio s;
    ASSERT_TRUE(startStudio(s, m, sources.root.string(), std::string(), headlessLookupFor, nullptr, &error))
        << error;
    reloadAll(s);
    Pictures p;
    p.release = s.release;
    ASSERT_TRUE(makePictures(p, m, 64, 48, &error)) << error;
    const std::int32_t time = rowStart(1400);
    auto picture = [&] {
        showModel(s, model);
        p.lastDrawn = -1;
        EXPECT_TRUE(drawPicture(p, m, frameValuesAt(m.tracks.tracks, time).tracks, time, true,
                                &error));
        return read(m, p.full);
    };
    const std::vector<float> before = picture();

    // The bloom passes typed in the tweak panel, then camPosY's key at row
    // 1424 dragged on 24 rows: each changes the picture at row 1400.
    ASSERT_TRUE(setTweak(model, "bloom", 1.0f, &error)) << error;
    const std::vector<float> refocused = picture();
    EXPECT_NE(refocused, before);
    ASSERT_TRUE(moveKey(model, camPosY, 1424, 1448, &error)) << error;
    const std::vector<float> edited = picture();
    EXPECT_NE(edited, refocused);

    std::vector<std::string> saved;
    ASSERT_TRUE(saveModel(model, SaveMode::refuseChanged, &saved, &error)) << error;
    EXPECT_EQ(saved.size(), 2u);
    ContentPieces pieces;
    ASSERT_TRUE(gatherContent(sourceTree(sources.root.string(), OSTREL_SOUNDTRACK_IMAGE), pieces,
                              &error))
        << error;
    auto built = builtBlock(pieces);
    EXPECT_EQ(showFrame(*built, 64, 48, time, time), edited);
    releasePictures(p);
    closeModel(model);
}
