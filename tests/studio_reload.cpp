// The studio's reload, on a copy of the sources and a headless moment: a
// saved track changes the frame, twenty saves in a row all take effect, a
// shader error or a missing file keeps the last good picture and names the
// file and line as the build would; and the watcher, on real inotify, sees
// saves written in place, saves that rename a new file over the old one,
// deletions, a folder that is replaced, a parent folder replaced around it,
// and a folder replaced while the event queue overflows.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "content/builder/block.h"
#include "host/headless.h"
#include "host/moment.h"
#include "sync/content.h"
#include "sync/sync.h"
#include "tests/support/fake_pages.h"
#include "tests/support/source_copy.h"
#include "tools/studio/reload.h"
#include "tools/studio/sources.h"
#include "tools/studio/transport.h"

using namespace studio;
namespace fs = std::filesystem;

namespace {

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

void* lookup(const char* name, void*) { return headlessGlFunction(name); }

class StudioReload : public ::testing::Test {
protected:
    void SetUp() override {
        MomentOptions options;
        options.width = 64;
        options.height = 48;
        std::string error;
        ASSERT_TRUE(openMoment(moment, ostrelContent, options, &error)) << error;
        ASSERT_TRUE(startStudio(studio, moment, sources.root.string(), std::string(), lookup,
                                nullptr, &error))
            << error;
        const Reload first = reloadAll(studio);
        EXPECT_TRUE(first.failures.empty()) << first.failures.front();
        EXPECT_TRUE(first.rebuilt.empty()) << "the copy is the built show: nothing to rebuild";
    }
    std::vector<float> frame(std::int32_t time) {
        renderMoment(moment, time, time);
        std::vector<float> rgba;
        readMoment(moment, rgba);
        return rgba;
    }
    // A track's value at a whole row, where its keys lie.
    float value(Track track, std::int32_t row) {
        return float(getTrackValue(moment.tracks.tracks[track], double(row)));
    }
    Reload save(const std::string& relative, const std::string& text) {
        sources.write(relative, text);
        return reloadFiles(studio, {sources.path(relative)});
    }

    SourceCopy sources{OSTREL_SOURCE_DIR};
    ShowMoment moment{};
    Studio studio;
    const std::string camPosYFile = "content/tracks/camPosY.track";
};

}  // namespace

TEST_F(StudioReload, ASavedTrackChangesTheFrame) {
    const std::int32_t cut = rowStart(1160);
    const std::vector<float> before = frame(cut);
    EXPECT_EQ(value(Track::camPosY, 1160), 5.0f);
    const Reload r = save(camPosYFile, replaced(sources.read(camPosYFile), "1160  5.0 ", "1160  9.0 "));
    EXPECT_TRUE(r.tracks);
    EXPECT_EQ(r.applied, std::vector<std::string>{camPosYFile});
    EXPECT_EQ(value(Track::camPosY, 1160), 9.0f);
    EXPECT_NE(frame(cut), before);
}

TEST_F(StudioReload, TwentySavesInARowAllTakeEffect) {
    const std::string original = sources.read(camPosYFile);
    const std::vector<float> first = frame(rowStart(1160));
    const int pages = fakePages::live();
    for (int i = 0; i < 20; ++i) {
        const std::string key = "1160  " + std::to_string(6 + i) + ".0 ";
        const Reload r = save(camPosYFile, replaced(original, "1160  5.0 ", key));
        ASSERT_TRUE(r.tracks && r.failures.empty()) << "save " << i;
        ASSERT_EQ(value(Track::camPosY, 1160), float(6 + i)) << "save " << i;
    }
    EXPECT_NE(frame(rowStart(1160)), first);
    // Each save's tracks took the last ones' place, pages and all.
    EXPECT_EQ(fakePages::live(), pages);
    EXPECT_EQ(fakePages::badReleases(), 0);
}

TEST_F(StudioReload, ABrokenOrMissingFileKeepsTheLastGoodVersionUntilASaveMendsIt) {
    const std::string original = sources.read(camPosYFile);
    // Rows out of order: the builder's own message, which the build gives.
    const std::string unordered = replaced(original, "1160  5.0 ", "1100  5.0 ");
    sources.write(camPosYFile, unordered);
    ContentPieces pieces;
    std::string buildError;
    EXPECT_FALSE(gatherContent(sourceTree(sources.root.string(), "none"), pieces, &buildError));
    Reload r = reloadFiles(studio, {sources.path(camPosYFile)});
    ASSERT_EQ(r.failures, std::vector<std::string>{buildError});
    EXPECT_NE(buildError.find("camPosY.track:9: rows not strictly increasing"), std::string::npos)
        << buildError;
    EXPECT_EQ(value(Track::camPosY, 1160), 5.0f);
    EXPECT_EQ(errors(studio), std::vector<std::string>{buildError});

    fs::remove(sources.path(camPosYFile));
    r = reloadFiles(studio, {sources.path(camPosYFile)});
    EXPECT_EQ(r.failures,
              std::vector<std::string>{sources.path(camPosYFile) + ": cannot read the track file"});
    EXPECT_EQ(value(Track::camPosY, 1160), 5.0f);

    r = save(camPosYFile, replaced(original, "1160  5.0 ", "1160  7.5 "));
    EXPECT_TRUE(r.failures.empty());
    EXPECT_TRUE(errors(studio).empty());
    EXPECT_EQ(value(Track::camPosY, 1160), 7.5f);

    // A scene part that goes away: the scene keeps drawing as it was.
    const std::vector<float> before = frame(8000);
    const std::string part = "shaders/scene/noise.glsl";
    const std::string text = sources.read(part);
    fs::remove(sources.path(part));
    r = reloadFiles(studio, {sources.path(part)});
    EXPECT_EQ(r.failures, std::vector<std::string>{sources.path(part) + ": cannot read the shader"});
    EXPECT_EQ(frame(8000), before);
    r = save(part, text);
    EXPECT_TRUE(r.failures.empty() && r.rebuilt.empty()) << "back to the program drawn with";
    EXPECT_TRUE(errors(studio).empty());
}

TEST_F(StudioReload, AShaderErrorKeepsThePictureAndNamesTheFileAndLine) {
    const std::vector<float> before = frame(8000);
    // Line 10 of the last scene part: its place in the joined scene text
    // is over 1000 lines further down.
    const std::string part = "shaders/scene/scenes.glsl";
    const std::string scenes = sources.read(part);
    std::string broken = scenes;
    std::size_t at = 0;
    for (int line = 1; line < 10; ++line) at = broken.find('\n', at) + 1;
    broken.insert(at, "float broken = ;\n");
    Reload r = save(part, broken);
    ASSERT_EQ(r.failures.size(), 1u);
    EXPECT_EQ(r.failures[0].rfind(sources.path(part) + ":10: error", 0), 0u) << r.failures[0];
    EXPECT_EQ(frame(8000), before);

    // A minified pass shader: the line of the file, not of the packed text.
    const std::string tonemap = sources.read("shaders/tonemap.frag");
    const std::string typo = replaced(tonemap, "vec3(1.0 / 2.2)", "vec3(1.0 / gamma)");
    const int line = 1 + int(std::count(typo.begin(), typo.begin() + typo.find("1.0 / gamma"), '\n'));
    r = save("shaders/tonemap.frag", typo);
    ASSERT_EQ(r.failures.size(), 1u);
    const std::string where =
        sources.path("shaders/tonemap.frag") + ":" + std::to_string(line) + ": error";
    EXPECT_EQ(r.failures[0].rfind(where, 0), 0u) << r.failures[0];
    EXPECT_EQ(errors(studio).size(), 2u);
    EXPECT_EQ(frame(8000), before);

    // Mended, each error goes; a real change rebuilds its program alone.
    r = save(part, scenes);
    EXPECT_TRUE(r.rebuilt.empty());
    r = save("shaders/tonemap.frag", replaced(tonemap, "color = vec4(c, 1.0);", "color = vec4(c.bgr, 1.0);"));
    EXPECT_TRUE(r.failures.empty());
    ASSERT_EQ(r.rebuilt.size(), 1u);
    EXPECT_EQ(r.rebuilt[0].rfind("tonemap program rebuilt", 0), 0u) << r.rebuilt[0];
    EXPECT_TRUE(errors(studio).empty());
    EXPECT_NE(frame(8000), before);
}

TEST(StudioShaderLog, CompilerLinesMapToThePartsTheyPointInto) {
    const std::vector<TextPart> parts = {{"a.glsl", 3}, {"b.glsl", 5}};
    EXPECT_EQ(mapShaderLog("0:4(2): error: x", parts), "b.glsl:1: error: x");
    EXPECT_EQ(mapShaderLog("0(8) : error C1: y\n\n", parts), "b.glsl:5: error C1: y");
    EXPECT_EQ(mapShaderLog("ERROR: 0:2: 'z' : undeclared", parts), "a.glsl:2: error: 'z' : undeclared");
    EXPECT_EQ(mapShaderLog("0:9(1): error: past the end\nlink: w", parts),
              "a.glsl: 0:9(1): error: past the end\na.glsl: link: w");
}

TEST(StudioWatcher, SavesInPlaceByRenameAndDeletionsAreSeenOnceEach) {
    SourceCopy sources{OSTREL_SOURCE_DIR};
    const SourceTree tree = sourceTreeAt(sources.root.string());
    Watcher w;
    std::string error;
    ASSERT_TRUE(openWatcher(w, tree, &error)) << error;
    bool everything = false;
    auto changes = [&](double now) { return takeChanges(w, tree, now, 30.0, everything); };

    sources.write("content/tracks/camPosX.track", "0 1.0 step\n");  // in place
    // A new file renamed over the old one, as many editors save.
    sources.write("content/tweaks.txt.new", "bloom 3\n");
    fs::rename(sources.path("content/tweaks.txt.new"), sources.path("content/tweaks.txt"));
    fs::remove(sources.path("shaders/scene/pixel.glsl"));
    sources.write("shaders/.tonemap.frag.swp", "an editor's own file");
    EXPECT_TRUE(changes(1000.0).empty()) << "handed out before the save settled";
    std::vector<std::string> seen = changes(1040.0);
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, (std::vector<std::string>{sources.path("content/tracks/camPosX.track"),
                                              sources.path("content/tweaks.txt"),
                                              sources.path("shaders/scene/pixel.glsl")}));
    EXPECT_TRUE(changes(2000.0).empty());
    EXPECT_FALSE(everything);

    // The scene's folder replaced by a new one: watched again, and every
    // part in it counts as changed.
    fs::rename(sources.path("shaders/scene"), sources.path("shaders/old-scene"));
    changes(3000.0);
    fs::rename(sources.path("shaders/old-scene"), sources.path("shaders/scene"));
    changes(4000.0);
    seen = changes(4100.0);
    EXPECT_EQ(seen.size(), std::size_t(scenePartCount));
    sources.write("shaders/scene/header.glsl", "// later saves are seen too\n");
    changes(5000.0);
    EXPECT_EQ(changes(5100.0), std::vector<std::string>{sources.path("shaders/scene/header.glsl")});
    closeWatcher(w);
}

TEST(StudioWatcher, AFolderReplacedAroundItOrDuringAnOverflowIsWatchedAgain) {
    SourceCopy sources{OSTREL_SOURCE_DIR};
    const SourceTree tree = sourceTreeAt(sources.root.string());
    Watcher w;
    std::string error;
    ASSERT_TRUE(openWatcher(w, tree, &error)) << error;
    bool everything = false;
    double now = 1000.0;
    // What two reads 100 ms apart hand out (the second after the files
    // settle), and whether either said everything.
    auto settled = [&] {
        bool first = false;
        std::vector<std::string> seen = takeChanges(w, tree, now += 100.0, 30.0, first);
        const std::vector<std::string> more = takeChanges(w, tree, now += 100.0, 30.0, everything);
        everything = everything || first;
        seen.insert(seen.end(), more.begin(), more.end());
        return seen;
    };
    const std::string track = "content/tracks/camPosX.track";

    // The parent moved away and copied back: content/tracks is a new folder,
    // and the watch that followed the old one had no event to say so.
    fs::rename(sources.path("content"), sources.path("content.old"));
    fs::copy(sources.path("content.old"), sources.path("content"), fs::copy_options::recursive);
    settled();
    sources.write(track, "0 2.0 step\n");
    EXPECT_EQ(settled(), std::vector<std::string>{sources.path(track)});

    // More events than the kernel queues, and meanwhile the scene's folder
    // replaced: the events that would have told are lost.
    std::ifstream limit("/proc/sys/fs/inotify/max_queued_events");
    int queued = 16384;
    limit >> queued;
    for (int i = 0; i * 2 <= queued; ++i) {
        const std::string name = "shaders/flood-" + std::to_string(i);
        sources.write(name, "");
        fs::remove(sources.path(name));
    }
    fs::rename(sources.path("shaders/scene"), sources.path("shaders/old-scene"));
    fs::copy(sources.path("shaders/old-scene"), sources.path("shaders/scene"));
    settled();
    EXPECT_TRUE(everything) << "the overflow must say that anything may have changed";
    sources.write("shaders/scene/header.glsl", "// seen after the overflow\n");
    EXPECT_EQ(settled(), std::vector<std::string>{sources.path("shaders/scene/header.glsl")});
    closeWatcher(w);
}
