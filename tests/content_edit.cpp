// The edit model and the writer (content/edit/): edits and their refusals,
// steps, the tracks handed back against what the build packs, lines kept
// byte for byte, the value formatter, and saves that fail part way.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <random>

#include "content/edit/model.h"
#include "tests/support/fake_pages.h"
#include "tests/support/source_copy.h"

namespace {

struct EditTree {
    SourceCopy copy{OSTREL_SOURCE_DIR};
    EditModel m;
    std::string error;
    EditTree() {
        fakePages::reset();
        EXPECT_TRUE(openModel(m, sources(), &error)) << error;
    }
    ~EditTree() { closeModel(m); }
    ContentSources sources() const { return sourceTree(copy.root.string(), OSTREL_SOUNDTRACK_IMAGE); }
    std::string track(int t) const { return copy.read("content/tracks/" + std::string(trackNames[t]) + ".track"); }
};

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> out;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        end = end == std::string::npos ? text.size() : end + 1;
        out.push_back(text.substr(at, end - at));
        at = end;
    }
    return out;
}

// The lines of `after` that are not lines of `before` at the same place,
// for texts of equal line counts.
std::vector<std::string> changedLines(const std::string& before, const std::string& after) {
    const std::vector<std::string> a = linesOf(before), b = linesOf(after);
    EXPECT_EQ(a.size(), b.size());
    std::vector<std::string> out;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
        if (a[i] != b[i]) out.push_back(b[i]);
    return out;
}

std::vector<std::int32_t> rowsOf(const std::vector<SourceKey>& keys) {
    std::vector<std::int32_t> rows;
    for (const SourceKey& k : keys) rows.push_back(k.row);
    return rows;
}

int renameFailingOnCamPosY(const char* from, const char* to) {
    if (std::strstr(to, "camPosY.track") != nullptr) {
        errno = EXDEV;
        return -1;
    }
    return ::rename(from, to);
}

bool crashBeforeRenames() { return false; }

}  // namespace

TEST(ValueText, ShortestPlainDecimalThatReadsBackAsTheSameFloat) {
    EXPECT_EQ(formatValue(180.0f), "180");
    EXPECT_EQ(formatValue(4.25f), "4.25");
    EXPECT_EQ(formatValue(0.1f), "0.1");
    EXPECT_EQ(formatValue(0.6f), "0.6");
    EXPECT_EQ(formatValue(-10.021938f), "-10.021938");
    EXPECT_EQ(formatValue(1e-7f), "0.0000001");
    EXPECT_EQ(formatValue(3e10f), "30000000000");
    EXPECT_EQ(formatValue(0.0f), "0");
    EXPECT_EQ(formatValue(-0.0f), "-0");
    std::mt19937 random(18);
    for (int i = 0; i < 200000; ++i) {
        std::uint32_t bits = random();
        float f;
        std::memcpy(&f, &bits, 4);
        if (!std::isfinite(f)) continue;
        const std::string text = formatValue(f);
        ASSERT_EQ(text.find_first_of("eE"), std::string::npos) << text;
        const float back = std::strtof(text.c_str(), nullptr);
        ASSERT_EQ(std::memcmp(&back, &f, 4), 0) << text;
        // One significant digit fewer does not read back.
        std::string digits;
        for (char c : text)
            if (c >= '0' && c <= '9' && !(digits.empty() && c == '0')) digits += c;
        while (!digits.empty() && digits.back() == '0') digits.pop_back();
        if (digits.size() > 1) {
            char shorter[64];
            std::snprintf(shorter, sizeof shorter, "%.*e", int(digits.size()) - 2, double(f));
            ASSERT_NE(std::strtof(shorter, nullptr), f) << text << " vs " << shorter;
        }
    }
}

TEST(EditModel, EditsApplyAndRefusalsChangeNothing) {
    EditTree e;
    EditModel& m = e.m;
    std::string error;
    ASSERT_TRUE(setKey(m, camPosX, 500, 180.0f, -1, &error)) << error;  // step in force at 500
    EXPECT_EQ(m.keys[camPosX][3].row, 500);
    EXPECT_EQ(m.keys[camPosX][3].type, Step);
    ASSERT_TRUE(setKey(m, camPosX, 500, 2.5f, Smooth, &error)) << error;  // replaced
    ASSERT_TRUE(setValue(m, camPosX, 183, -3.0f, &error));
    ASSERT_TRUE(setInterpolation(m, camPosX, 183, Ramp, &error));
    ASSERT_TRUE(moveKey(m, camPosX, 500, 700, &error)) << error;
    ASSERT_TRUE(deleteKeys(m, camPosX, {189, 802}, &error)) << error;
    EXPECT_EQ(rowsOf(m.keys[camPosX]), (std::vector<std::int32_t>{0, 183, 700, 1160, 1674, 2350}));
    EXPECT_EQ(m.keys[camPosX][1].value, -3.0f);
    EXPECT_EQ(m.keys[camPosX][1].type, Ramp);
    ASSERT_TRUE(setTweak(m, "lum", 0.25f, &error)) << error;
    EXPECT_EQ(m.tweaks[1].value, 0.25f);

    // Each refusal: one line saying why, and the model as it was.
    const float nan = std::nanf(""), inf = INFINITY;
    const std::uint64_t revision = m.revision;
    const std::vector<SourceKey> keys = m.keys[camPosX];
    const std::vector<std::pair<std::function<bool()>, const char*>> refusals = {
        {[&] { return insertKey(m, camPosX, 700, 1.0f, -1, &error); }, "a key already lies at row 700"},
        {[&] { return moveKey(m, camPosX, 700, 1160, &error); }, "would put it on the key at row 1160"},
        {[&] { return moveKey(m, camPosX, 183, -1, &error); }, "before the show's start"},
        {[&] { return setKey(m, camPosX, -4, 1.0f, -1, &error); }, "before the show's start"},
        {[&] { return setKey(m, camPosX, 10, nan, -1, &error); }, "not a finite number"},
        {[&] { return setValue(m, camPosX, 0, inf, &error); }, "not a finite number"},
        {[&] { return setKey(m, trackCount, 10, 1.0f, -1, &error); }, "no track"},
        {[&] { return setInterpolation(m, camPosX, 0, 7, &error); }, "unknown interpolation"},
        {[&] { return deleteKeys(m, camPosX, {0, 5}, &error); }, "no key at row 5"},
        {[&] { return setTweak(m, "bogus", 1.0f, &error); }, "no tweak named \"bogus\""},
        {[&] { return setTweak(m, "lum", nan, &error); }, "not a finite number"},
        // The builder's own check of what the show makes of the scene track.
        {[&] { return deleteKeys(m, scene, {2432}, &error); }, "the show would never end"},
    };
    for (const auto& r : refusals) {
        error.clear();
        EXPECT_FALSE(r.first()) << r.second;
        EXPECT_NE(error.find(r.second), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos);
    }
    EXPECT_EQ(m.revision, revision);
    EXPECT_EQ(rowsOf(m.keys[camPosX]), rowsOf(keys));
    EXPECT_EQ(m.keys[scene].size(), 6u);

    // The key limit of the show's loader.
    for (std::int32_t row = 3000; int(m.keys[blobPos].size()) < maxTrackKeys; ++row)
        ASSERT_TRUE(insertKey(m, blobPos, row, 1.0f, Step, &error)) << error;
    EXPECT_FALSE(insertKey(m, blobPos, 9000, 1.0f, Step, &error));
    EXPECT_NE(error.find("more than 255 keys"), std::string::npos) << error;
}

TEST(EditModel, StepsUndoAndRedoWholeActions) {
    EditTree e;
    EditModel& m = e.m;
    std::string error;
    std::vector<std::vector<SourceKey>> before(m.keys, m.keys + trackCount);

    ASSERT_TRUE(shiftKeys(m, 1160, 48, {}, &error)) << error;
    EXPECT_EQ(m.done.size(), 1u);  // 69 keys in 13 tracks: one step
    EXPECT_EQ(lastStep(m)->lines.size(), 69u);
    EXPECT_EQ(m.keys[scene].back().row, 2432 + 48);
    EXPECT_EQ(m.keys[camPosX][4].row, 1208);
    EXPECT_EQ(m.keys[camPosX][3].row, 802);  // before the row: stays

    // A drag: many moves, one step; a drag back where it began: no step.
    beginStep(m, "drag");
    ASSERT_TRUE(moveKeys(m, camPosY, {189, 802}, 3, &error)) << error;
    ASSERT_TRUE(moveKeys(m, camPosY, {192, 805}, 2, &error)) << error;
    endStep(m);
    EXPECT_EQ(m.done.size(), 2u);
    beginStep(m, "drag");
    ASSERT_TRUE(moveKeys(m, camPosZ, {189}, 5, &error));
    ASSERT_TRUE(moveKeys(m, camPosZ, {194}, -5, &error));
    endStep(m);
    EXPECT_EQ(m.done.size(), 2u);
    beginStep(m, "drag");
    ASSERT_TRUE(moveKeys(m, camPosZ, {189}, 5, &error));
    cancelStep(m);
    EXPECT_EQ(m.keys[camPosZ][2].row, 189);

    std::string what;
    ASSERT_TRUE(undo(m, &what));
    EXPECT_EQ(what, "drag");
    EXPECT_EQ(rowsOf(m.keys[camPosY]).at(1), 189);
    ASSERT_TRUE(undo(m, &what));
    for (int t = 0; t < trackCount; ++t) EXPECT_EQ(rowsOf(m.keys[t]), rowsOf(before[t])) << t;
    EXPECT_FALSE(undo(m));
    EXPECT_FALSE(modelChanged(m));
    ASSERT_TRUE(redo(m));
    EXPECT_EQ(m.keys[scene].back().row, 2480);
    // A new edit ends what could be redone.
    ASSERT_TRUE(setKey(m, viggnet, 5, 1.0f, -1, &error));
    EXPECT_FALSE(redo(m));

    // A shift that would collide anywhere changes no track: camPosY's key
    // at 1208 would pass the one at 1146 that stays.
    const std::uint64_t revision = m.revision;
    EXPECT_FALSE(shiftKeys(m, 1160, -70, {}, &error));
    EXPECT_NE(error.find("would pass the key at row 1146"), std::string::npos) << error;
    EXPECT_EQ(m.revision, revision);
    EXPECT_EQ(m.keys[dofFocusPoint][15].row, 1208);
    // Only the tracks asked for.
    ASSERT_TRUE(shiftKeys(m, 0, 10, {blobPos, blobEffect}, &error)) << error;
    EXPECT_EQ(m.keys[blobPos][0].row, 1218);
    EXPECT_EQ(m.keys[camPosX][0].row, 0);
}

TEST(EditModel, SavedFilesBuildIntoTheTracksTheModelHandedBack) {
    EditTree e;
    EditModel& m = e.m;
    std::string error;
    const float camera[6] = {1.5f, 2.0f, -3.25f, 0.1f, 0.2f, 0.0f};
    ASSERT_TRUE(shiftKeys(m, 1160, 48, {}, &error)) << error;
    ASSERT_TRUE(keyCamera(m, 1000, camera, &error)) << error;
    ASSERT_TRUE(moveKey(m, dofFocusPoint, 79, 600, &error)) << error;  // past four keys
    ASSERT_TRUE(setKey(m, blobEffect, 1300, 0.75f, Smooth, &error)) << error;
    ASSERT_TRUE(setTweak(m, "fp", 41.5f, &error));
    std::vector<std::string> saved;
    ASSERT_TRUE(saveModel(m, SaveMode::refuseChanged, &saved, &error)) << error;
    EXPECT_EQ(saved.size(), 14u);

    ContentPieces pieces;
    ASSERT_TRUE(gatherContent(e.sources(), pieces, &error)) << error;
    ShowTracks built{};
    const std::uint8_t* data[trackCount];
    for (int t = 0; t < trackCount; ++t) {
        EXPECT_EQ(pieces.trackKeys[t], modelKeyData(m, t)) << trackNames[t];
        data[t] = pieces.trackKeys[t].data();
    }
    ASSERT_TRUE(loadShowTracks(data, built, &error)) << error;
    for (int t = 0; t < trackCount; ++t)
        for (double row = 0.0; row < 2600.0; row += 0.75)
            ASSERT_EQ(getTrackValue(built.tracks[t], row),
                      getTrackValue(modelTracks(m).tracks[t], row))
                << trackNames[t] << " at " << row;
    releaseShowTracks(built);

    // Saved twice: nothing left to write. Undone after the save, every key
    // goes back on its own line (the lines moved with the save): the lines
    // no edit touched are the shipped ones again.
    ASSERT_TRUE(saveModel(m, SaveMode::refuseChanged, &saved, &error));
    EXPECT_TRUE(saved.empty());
    while (undo(m)) {
    }
    ASSERT_TRUE(saveModel(m, SaveMode::refuseChanged, &saved, &error)) << error;
    SourceCopy original(OSTREL_SOURCE_DIR);
    for (int t = 0; t < trackCount; ++t) {
        const std::string shipped =
            original.read("content/tracks/" + std::string(trackNames[t]) + ".track");
        if (t == dofFocusPoint || (t >= camPosX && t <= camRotZ)) {
            // 79 moved and back gets a new line; the camera's 1000 had
            // another value in between: they read back, "15.0" as "15".
            std::vector<std::string> lines = changedLines(shipped, e.track(t));
            EXPECT_LE(lines.size(), 1u) << trackNames[t];
        } else {
            EXPECT_EQ(e.track(t), shipped) << trackNames[t];
        }
    }
    EXPECT_EQ(e.copy.read("content/tweaks.txt"), original.read("content/tweaks.txt"));
}

TEST(TrackWriter, UntouchedLinesStayAndNewLinesFollowTheirNeighbours) {
    EditTree e;
    EditModel& m = e.m;
    std::string error;
    // One value in every shipped file: that line alone changes, its
    // columns kept; the other fields keep their text ("0.0" stays).
    for (int t = 0; t < trackCount; ++t) {
        const std::string was = fileText(m, t);
        ASSERT_EQ(was, e.track(t));
        ASSERT_TRUE(setValue(m, t, m.keys[t].back().row, -10.021938f, &error)) << error;
        const std::vector<std::string> changed = changedLines(was, fileText(m, t));
        ASSERT_EQ(changed.size(), 1u) << trackNames[t];
        EXPECT_EQ(changed[0].substr(6), "-10.021938 step\n") << trackNames[t];
    }
    const std::string tweaks = e.copy.read("content/tweaks.txt");
    ASSERT_TRUE(setTweak(m, "lum", 180.0f, &error));
    EXPECT_EQ(changedLines(tweaks, fileText(m, tweakFile)),
              std::vector<std::string>{"lum    180        # BloomData luminance\n"});

    // A new key follows the line before it; a key moved past others goes
    // to its place in row order; a deleted key takes its line with it.
    ASSERT_TRUE(insertKey(m, dofFocusPoint, 80, 4.25f, Linear, &error));
    ASSERT_TRUE(moveKey(m, camPosY, 0, 200, &error)) << error;
    ASSERT_TRUE(deleteKeys(m, camRotZ, {189}, &error));
    std::string text = fileText(m, dofFocusPoint);
    EXPECT_NE(text.find("79    15.0   linear\n80    4.25   linear\n"), std::string::npos) << text;
    text = fileText(m, camPosY);
    EXPECT_NE(text.find("189   3.0    linear\n200   0.5    linear\n"), std::string::npos) << text;
    EXPECT_EQ(linesOf(text).size(), linesOf(e.track(camPosY)).size());
    EXPECT_EQ(linesOf(fileText(m, camRotZ)).size() + 1, linesOf(e.track(camRotZ)).size());

    // Line ends, tabs and comments of a hand-made file stay as they were.
    const std::string crlf = "# made on Windows\r\n0\t1.0\tlinear # start\r\n\r\n10  2  step\r\n";
    std::vector<SourceKey> keys;
    ASSERT_TRUE(parseTrackText(crlf, "", keys, error));
    keys[0].value = 0.5f;
    keys.push_back(SourceKey{20, 3.0f, Step, 0});
    EXPECT_EQ(rewriteTrackText(crlf, keys),
              "# made on Windows\r\n0\t0.5\tlinear # start\r\n\r\n10  2  step\r\n20  3  step\r\n");
    keys.erase(keys.begin());
    EXPECT_EQ(rewriteTrackText("0 1 step\n10 2 step", keys), "10 2 step\n20 3 step\n");
}

TEST(SafeSave, AFailedOrInterruptedSaveLeavesTheOriginalsAndKeepsTheEdits) {
    EditTree e;
    EditModel& m = e.m;
    std::string error;
    ASSERT_TRUE(shiftKeys(m, 1160, 48, {}, &error)) << error;
    std::vector<std::string> before;
    for (int t = 0; t < trackCount; ++t) before.push_back(e.track(t));
    auto untouched = [&] {
        for (int t = 0; t < trackCount; ++t)
            if (e.track(t) != before[std::size_t(t)]) return false;
        return modelChanged(m) && m.keys[scene].back().row == 2480;
    };
    std::vector<std::string> saved;

    // The rename of the fifth file fails: the four renamed are put back.
    m.hooks.rename = renameFailingOnCamPosY;
    EXPECT_FALSE(saveModel(m, SaveMode::refuseChanged, &saved, &error));
    EXPECT_NE(error.find("camPosY.track: cannot save: cannot rename"), std::string::npos) << error;
    EXPECT_TRUE(untouched());
    EXPECT_TRUE(leftoverSaves({m.files[dofFocusPoint].path, m.files[camPosY].path}).empty());

    // A crash after the temporaries are written: originals intact, and the
    // next start says what was left.
    m.hooks = WriteHooks{};
    m.hooks.beforeRenames = crashBeforeRenames;
    EXPECT_FALSE(saveModel(m, SaveMode::refuseChanged, &saved, &error));
    EXPECT_TRUE(untouched());
    EditModel again;
    std::vector<std::string> notes;
    ASSERT_TRUE(openModel(again, e.sources(), &error, &notes)) << error;
    closeModel(again);
    ASSERT_EQ(notes.size(), 13u);
    EXPECT_NE(notes[0].find("dofFocusPoint.track.ostrel-save: left by a save that did not finish"),
              std::string::npos)
        << notes[0];
    m.hooks = WriteHooks{};

    // A read-only file (root too): refused by its mode, naming it.
    chmod(m.files[scene].path.c_str(), 0444);
    EXPECT_FALSE(saveModel(m, SaveMode::refuseChanged, &saved, &error));
    EXPECT_EQ(error, m.files[scene].path + ": cannot save: the file is read-only (mode 0444)");
    EXPECT_TRUE(untouched());
    chmod(m.files[scene].path.c_str(), 0644);

    // Changed by someone else since it was read: refused unless overwritten.
    e.copy.write("content/tracks/blobPos.track", before[blobPos] + "# theirs\n");
    before[blobPos] += "# theirs\n";
    EXPECT_FALSE(saveModel(m, SaveMode::refuseChanged, &saved, &error));
    EXPECT_EQ(error.rfind(m.files[blobPos].path + ": changed on disk since it was read", 0), 0u);
    EXPECT_TRUE(untouched());
    ASSERT_TRUE(saveModel(m, SaveMode::overwrite, &saved, &error)) << error;
    EXPECT_EQ(saved.size(), 13u);
    EXPECT_EQ(e.track(blobPos).find("# theirs"), std::string::npos);
    EXPECT_TRUE(leftoverSaves({m.files[dofFocusPoint].path}).empty());  // replaced by the save
    struct stat s;
    ASSERT_EQ(stat(m.files[scene].path.c_str(), &s), 0);
    EXPECT_EQ(s.st_mode & 07777, 0644u);

    // A file behind a symbolic link: saved where it points, the link kept.
    const std::string link = m.files[camRotZ].path, target = link + ".real";
    ASSERT_EQ(rename(link.c_str(), target.c_str()), 0);
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    ASSERT_TRUE(setKey(m, camRotZ, 10, 1.0f, -1, &error));
    ASSERT_TRUE(saveModel(m, SaveMode::refuseChanged, &saved, &error)) << error;
    ASSERT_EQ(lstat(link.c_str(), &s), 0);
    EXPECT_TRUE(S_ISLNK(s.st_mode));
    EXPECT_NE(e.copy.read("content/tracks/camRotZ.track.real").find("\n10    1      step\n"),
              std::string::npos);

    // The folder gone: one line naming the file; the edits stay.
    ASSERT_TRUE(setKey(m, scene, 10, 1.0f, -1, &error));
    std::filesystem::remove_all(e.copy.root / "content/tracks");
    EXPECT_FALSE(saveModel(m, SaveMode::refuseChanged, &saved, &error));
    EXPECT_EQ(error, m.files[scene].path + ": cannot save: No such file or directory");
    EXPECT_TRUE(modelChanged(m));
}
