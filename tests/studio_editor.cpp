// The studio's editing without a window: gestures fed as SDL events to
// the editor on the edit model of a copy of the sources; files changed on
// disk with and without unsaved edits; the journal read back by a new
// model on the same tree.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>

#include "content/builder/block.h"
#include "host/loop.h"
#include "host/moment.h"
#include "tests/support/source_copy.h"
#include "tools/studio/editor.h"
#include "tools/studio/input_clock.h"
#include "tools/studio/journal.h"

using namespace studio;

namespace {

score::Score theShippedScore() {
    std::ifstream in(OSTREL_SCORE, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    score::Score s;
    std::string error;
    EXPECT_TRUE(score::parseScore(text.str(), s, error)) << error;
    return s;
}

struct Desk {
    SourceCopy sources{OSTREL_SOURCE_DIR};
    EditModel model;
    Editor editor;
    double now = 1000;
    bool typing = false;  // a text field has the keyboard

    Desk() {
        std::string error;
        EXPECT_TRUE(openModel(model, sourceTree(sources.root.string(), ""), &error)) << error;
        startEditor(editor, model, theShippedScore());
        startTransport(editor.transport, 0, 100000);
        layoutTimeline(editor, 800, 600);
        // One second is 80 pixels.
        editor.view.start = 0;
        editor.view.msPerPixel = 12.5;
    }
    ~Desk() { closeModel(model); }

    void send(const SDL_Event& e, std::uint16_t mods = 0) {
        InputState in;
        in.now = (now += 20);
        in.mods = mods;
        in.keyboardTaken = typing;
        handleEvent(editor, e, in);
    }
    void key(SDL_Keycode sym, std::uint16_t mods = 0) {
        SDL_Event e{};
        e.type = SDL_KEYDOWN;
        e.key.keysym.sym = sym;
        e.key.keysym.mod = mods;
        send(e, mods);
        e.type = SDL_KEYUP;
        send(e, mods);
    }
    void button(Uint32 type, double x, double y, std::uint16_t mods = 0) {
        SDL_Event e{};
        e.type = type;
        e.button.button = SDL_BUTTON_LEFT;
        e.button.x = int(std::lround(x));
        e.button.y = int(std::lround(y));
        send(e, mods);
    }
    void motion(double x, double y, std::uint16_t mods = 0) {
        SDL_Event e{};
        e.type = SDL_MOUSEMOTION;
        e.motion.x = int(std::lround(x));
        e.motion.y = int(std::lround(y));
        send(e, mods);
    }
    // Where a key's mark is.
    double keyX(std::int32_t row) const { return pixelAt(editor.view, rowMilliseconds(row)); }
    double laneY(Track t) const {
        double top = 0, bottom = 0;
        laneSpan(editor.lanes, t, top, bottom);
        return (top + bottom) * 0.5;
    }
    std::vector<std::int32_t> rows(Track t) const {
        std::vector<std::int32_t> r;
        for (const SourceKey& k : model.keys[t]) r.push_back(k.row);
        return r;
    }
    std::string texts() const {
        std::string all;
        for (int f = 0; f < modelFileCount; ++f) all += fileText(model, f);
        return all;
    }
};

bool has(const std::vector<std::int32_t>& rows, std::int32_t row) {
    return std::find(rows.begin(), rows.end(), row) != rows.end();
}

}  // namespace

TEST(StudioEditing, AWholeDragIsOneUndoStepAndSnapsToBeats) {
    Desk d;
    const std::vector<std::int32_t> before = d.rows(camPosY);
    ASSERT_TRUE(has(before, 600));
    // A drag of the key at row 600 by 24 rows in many motions.
    d.button(SDL_MOUSEBUTTONDOWN, d.keyX(600), d.laneY(camPosY));
    ASSERT_EQ(d.editor.selection, (std::vector<KeyRef>{{camPosY, 600}}));
    for (int step = 1; step <= 16; ++step) d.motion(d.keyX(600) + 5.0 * step, d.laneY(camPosY));
    d.button(SDL_MOUSEBUTTONUP, d.keyX(600) + 80, d.laneY(camPosY));
    EXPECT_FALSE(has(d.rows(camPosY), 600));
    EXPECT_TRUE(has(d.rows(camPosY), 624));
    EXPECT_EQ(d.editor.selection, (std::vector<KeyRef>{{camPosY, 624}}));
    // What the show evaluates moved with it.
    EXPECT_FLOAT_EQ(float(getTrackValue(modelTracks(d.model).tracks[camPosY], 624)), 4.2f);
    EXPECT_EQ(d.model.done.size(), 1u);

    d.key(SDLK_z, KMOD_LCTRL);
    EXPECT_EQ(d.rows(camPosY), before);
    d.key(SDLK_z, KMOD_LCTRL | KMOD_LSHIFT);
    EXPECT_TRUE(has(d.rows(camPosY), 624));
    d.key(SDLK_z, KMOD_LCTRL);
    d.key(SDLK_y, KMOD_LCTRL);
    EXPECT_TRUE(has(d.rows(camPosY), 624));
    d.key(SDLK_z, KMOD_LCTRL);

    // With Ctrl the key lands on the nearest beat; Ctrl+S only asks for a
    // save and moves no camera; a click without a drag leaves no step.
    const MusicGrid grid = musicGrid(theShippedScore());
    d.button(SDL_MOUSEBUTTONDOWN, d.keyX(1424), d.laneY(camPosY));
    d.motion(d.keyX(1424) + 23, d.laneY(camPosY), KMOD_LCTRL);
    d.button(SDL_MOUSEBUTTONUP, d.keyX(1424) + 23, d.laneY(camPosY), KMOD_LCTRL);
    const std::int32_t onBeat = nearestRow(nextBeat(grid, rowMilliseconds(1424) + 100));
    EXPECT_TRUE(has(d.rows(camPosY), onBeat)) << onBeat;
    const std::size_t steps = d.model.done.size();
    d.button(SDL_MOUSEBUTTONDOWN, d.keyX(189), d.laneY(camPosY));
    d.button(SDL_MOUSEBUTTONUP, d.keyX(189), d.laneY(camPosY));
    EXPECT_EQ(d.model.done.size(), steps);
    d.key(SDLK_s, KMOD_LCTRL);
    EXPECT_TRUE(d.editor.saveRequested);

    // Saved and built as the build gathers the sources, the tracks give
    // every frame of the show the values the studio drew them with.
    std::vector<std::string> saved;
    std::string error;
    ASSERT_TRUE(saveModel(d.model, SaveMode::refuseChanged, &saved, &error)) << error;
    ASSERT_EQ(saved.size(), 1u);
    ContentPieces pieces;
    ASSERT_TRUE(gatherContent(sourceTree(d.sources.root.string(), OSTREL_SOUNDTRACK_IMAGE), pieces,
                              &error))
        << error;
    const std::uint8_t* data[trackCount];
    for (int t = 0; t < trackCount; ++t) data[t] = pieces.trackKeys[t].data();
    ShowTracks built{};
    ASSERT_TRUE(loadShowTracks(data, built, &error)) << error;
    int differing = 0;
    for (std::int32_t time = 0; time <= 101334; ++time) {
        const FrameValues a = frameValuesAt(built.tracks, time);
        const FrameValues b = frameValuesAt(modelTracks(d.model).tracks, time);
        differing += std::memcmp(&a.tracks, &b.tracks, sizeof a.tracks) != 0;
    }
    EXPECT_EQ(differing, 0);
    releaseShowTracks(built);
}

TEST(StudioEditing, CtrlKKeysTheSixCameraTracksInOneStep) {
    Desk d;
    seek(d.editor.transport, 30000);
    d.editor.transport.shown = 30000;
    d.key(SDLK_k, KMOD_LCTRL);  // no free camera: refused
    EXPECT_TRUE(d.model.done.empty());
    EXPECT_FALSE(d.editor.message.empty());
    d.key(SDLK_c);
    ASSERT_TRUE(d.editor.camera.on);
    d.editor.camera.position[1] = 7.25f;
    d.editor.camera.rotation[2] = -0.5f;
    d.key(SDLK_w, KMOD_LCTRL);  // Ctrl held: the camera does not fly
    EXPECT_FALSE(cameraFlying(d.editor.camera));
    const std::int32_t row = playheadRow(d.editor);
    d.key(SDLK_k, KMOD_LCTRL);
    ASSERT_EQ(d.model.done.size(), 1u);
    for (int t = camPosX; t <= camRotZ; ++t) EXPECT_TRUE(has(d.rows(Track(t)), row)) << t;
    EXPECT_FLOAT_EQ(float(getTrackValue(modelTracks(d.model).tracks[camPosY], row)), 7.25f);
    EXPECT_FLOAT_EQ(float(getTrackValue(modelTracks(d.model).tracks[camRotZ], row)), -0.5f);
    EXPECT_EQ(d.editor.selection.size(), 6u);
    d.key(SDLK_z, KMOD_LCTRL);
    for (int t = camPosX; t <= camRotZ; ++t) EXPECT_FALSE(has(d.rows(Track(t)), row)) << t;
}

TEST(StudioEditing, ATextFieldKeepsTheKeysButSaveAndQuit) {
    Desk d;
    d.typing = true;
    d.editor.selection = {{camPosY, 189}};
    const bool playing = d.editor.transport.command.playing;
    for (SDL_Keycode sym : {SDLK_DELETE, SDLK_i, SDLK_1, SDLK_SPACE, SDLK_RIGHT}) d.key(sym);
    for (SDL_Keycode sym : {SDLK_v, SDLK_z, SDLK_k}) d.key(sym, KMOD_LCTRL);
    EXPECT_TRUE(d.model.done.empty());
    EXPECT_EQ(d.editor.transport.command.playing, playing);
    EXPECT_EQ(d.editor.transport.shown, 0);
    EXPECT_FALSE(d.editor.saveRequested);
    d.key(SDLK_s, KMOD_LCTRL);
    EXPECT_TRUE(d.editor.saveRequested);
    d.key(SDLK_q, KMOD_LCTRL);
    EXPECT_TRUE(d.editor.quit);
}

TEST(StudioEditing, RefusedEditsChangeNothingAndSayWhy) {
    Desk d;
    const std::string before = d.texts();
    // A drag of camPosY's key at 1146 onto 1160's row is held back there.
    d.button(SDL_MOUSEBUTTONDOWN, d.keyX(1146), d.laneY(camPosY));
    d.motion(d.keyX(1160), d.laneY(camPosY));
    EXPECT_FALSE(d.editor.message.empty());
    d.button(SDL_MOUSEBUTTONUP, d.keyX(1160), d.laneY(camPosY));
    EXPECT_TRUE(has(d.rows(camPosY), 1146));
    EXPECT_EQ(d.texts(), before);
    // Values that are not finite numbers.
    d.editor.selection = {{camPosY, 189}};
    for (const char* text : {"nan", "inf", "1e39", "abc", "", "2,5"}) {
        d.editor.message.clear();
        EXPECT_FALSE(typeValue(d.editor, text)) << text;
        EXPECT_FALSE(d.editor.message.empty()) << text;
    }
    EXPECT_FALSE(typeTweak(d.editor, "lum", "x"));
    EXPECT_FALSE(typeTweak(d.editor, "nosuch", "1"));
    // A shift that would take row 0 below 0 keeps every key.
    EXPECT_FALSE(shiftAfterPlayhead(d.editor, -1));  // row 0 would go below 0
    EXPECT_EQ(d.texts(), before);
    EXPECT_TRUE(d.model.done.empty());
    EXPECT_FALSE(modelChanged(d.model));

    // What is accepted, typed: a value and a tweak, each one step.
    EXPECT_TRUE(typeValue(d.editor, "3.25"));
    EXPECT_TRUE(typeTweak(d.editor, "lum", "0.5"));
    EXPECT_EQ(d.model.done.size(), 2u);
    EXPECT_NE(fileText(d.model, camPosY).find("189   3.25"), std::string::npos);
}

TEST(StudioFiles, ChangedOnDiskWithAndWithoutUnsavedEditsAndTheJournal) {
    Desk d;
    const std::string root = d.sources.root.string();
    const std::string x = "content/tracks/camPosX.track", y = "content/tracks/camPosY.track";
    std::string error;
    // camPosX saved by someone else, no edits here: taken in.
    std::string xText = d.sources.read(x);
    xText.replace(xText.find("183   -2.5"), 10, "183   -3.5");
    d.sources.write(x, xText);
    EXPECT_EQ(fileOnDisk(d.model, camPosX, xText, &error), DiskNews::reloaded) << error;
    EXPECT_FLOAT_EQ(float(getTrackValue(modelTracks(d.model).tracks[camPosX], 183)), -3.5f);
    EXPECT_FALSE(fileChanged(d.model, camPosX));
    EXPECT_EQ(fileOnDisk(d.model, camPosX, xText, &error), DiskNews::same);
    EXPECT_EQ(fileOnDisk(d.model, camPosX, "garbage\n", &error), DiskNews::unreadable);
    EXPECT_FALSE(error.empty());

    // camPosY edited here and changed on disk: neither is lost.
    d.editor.selection = {{camPosY, 600}};
    ASSERT_TRUE(typeValue(d.editor, "9.5"));
    ASSERT_TRUE(writeJournal(root, d.model, &error)) << error;
    std::string yText = d.sources.read(y);
    const std::string yOriginal = yText;
    yText.replace(yText.find("1000  7.0"), 9, "1000  7.5");
    d.sources.write(y, yText);
    EXPECT_EQ(fileOnDisk(d.model, camPosY, yText, &error), DiskNews::conflict);
    EXPECT_FLOAT_EQ(d.model.keys[camPosY][2].value, 9.5f);
    std::vector<std::string> saved;
    EXPECT_FALSE(saveModel(d.model, SaveMode::refuseChanged, &saved, &error));
    EXPECT_EQ(d.sources.read(y), yText);

    // The journal, read by a new model on the tree: edits made on bytes
    // that changed since are not put back, and the journal stays.
    {
        EditModel again;
        ASSERT_TRUE(openModel(again, sourceTree(root, ""), &error)) << error;
        const Recovery r = recoverJournal(root, again);
        EXPECT_TRUE(r.found);
        EXPECT_FALSE(r.applied);
        EXPECT_NE(r.line.find("camPosY.track changed since"), std::string::npos) << r.line;
        EXPECT_FALSE(modelChanged(again));
        closeModel(again);
    }
    // With the file back as the edits were made on, they come back,
    // unsaved, as one step.
    d.sources.write(y, yOriginal);
    {
        EditModel again;
        ASSERT_TRUE(openModel(again, sourceTree(root, ""), &error)) << error;
        const Recovery r = recoverJournal(root, again);
        EXPECT_TRUE(r.applied) << r.line;
        EXPECT_EQ(r.keys, 1);
        EXPECT_NE(r.line.find("found 1 unsaved edit in 1 file"), std::string::npos) << r.line;
        EXPECT_TRUE(fileChanged(again, camPosY));
        EXPECT_EQ(fileText(again, camPosY), fileText(d.model, camPosY));
        EXPECT_EQ(again.done.size(), 1u);
        closeModel(again);
    }

    // Taking the file's version drops the edits to that track, undoably;
    // a save then clears the journal.
    d.sources.write(y, yText);
    ASSERT_TRUE(takeFileVersion(d.model, camPosY, yText, "took", &error)) << error;
    EXPECT_FALSE(fileChanged(d.model, camPosY));
    EXPECT_FLOAT_EQ(float(getTrackValue(modelTracks(d.model).tracks[camPosY], 1000)), 7.5f);
    undoStep(d.editor);
    EXPECT_FLOAT_EQ(d.model.keys[camPosY][2].value, 9.5f);
    ASSERT_TRUE(saveModel(d.model, SaveMode::refuseChanged, &saved, &error)) << error;
    ASSERT_TRUE(writeJournal(root, d.model, &error));
    EXPECT_FALSE(std::filesystem::exists(journalPath(root)));
}

TEST(StudioEditing, TheRulerScrubsInSlicesAndQuittingWithEditsAsksFirst) {
    Desk d;
    const double ruler = (d.editor.area.rulerTop + d.editor.area.rulerBottom) * 0.5;
    const double x20 = pixelAt(d.editor.view, 20000), x30 = pixelAt(d.editor.view, 30000);
    d.button(SDL_MOUSEBUTTONDOWN, x20, ruler);
    const double sliceStart = d.now;
    EXPECT_TRUE(d.editor.transport.command.playing);
    EXPECT_EQ(d.editor.transport.command.frame, frameOf(20000));
    d.motion(x30, ruler);  // during the slice: the next one starts there
    tickEditor(d.editor, sliceStart + 30);
    EXPECT_EQ(d.editor.transport.command.frame, frameOf(20000));
    tickEditor(d.editor, sliceStart + 61);  // at least 50 ms of sound, then the next
    EXPECT_TRUE(d.editor.transport.command.playing);
    EXPECT_EQ(d.editor.transport.command.frame, frameOf(30000));
    tickEditor(d.editor, sliceStart + 125);
    EXPECT_FALSE(d.editor.transport.command.playing);
    d.button(SDL_MOUSEBUTTONUP, x30, ruler);
    EXPECT_FALSE(d.editor.transport.command.playing);
    EXPECT_EQ(d.editor.transport.command.frame, frameOf(30000));

    // Without edits Escape quits; with them it asks, and the answer counts.
    d.key(SDLK_ESCAPE);
    EXPECT_TRUE(d.editor.quit);
    d.editor.quit = false;
    d.editor.selection = {{camPosY, 189}};
    ASSERT_TRUE(typeValue(d.editor, "2"));
    for (SDL_Keycode quitKey : {SDLK_ESCAPE, SDLK_q}) {
        d.key(quitKey, quitKey == SDLK_q ? KMOD_LCTRL : 0);
        EXPECT_FALSE(d.editor.quit);
        EXPECT_TRUE(d.editor.askingQuit);
        answerQuit(d.editor, QuitAnswer::stay);
        EXPECT_FALSE(d.editor.askingQuit || d.editor.quit);
    }
    answerQuit(d.editor, QuitAnswer::save);
    EXPECT_TRUE(d.editor.saveRequested && d.editor.quitAfterSave && !d.editor.quit);
    answerQuit(d.editor, QuitAnswer::discard);
    EXPECT_TRUE(d.editor.quit && d.editor.discarded);
}

TEST(StudioEditing, InsertDeleteCopyPasteAndInterpolationAreOneStepEach) {
    Desk d;
    seek(d.editor.transport, 25000);
    d.editor.transport.shown = 25000;
    const std::int32_t row = playheadRow(d.editor);  // 600
    const float there = float(getTrackValue(modelTracks(d.model).tracks[camPosZ], row + 0.5));
    d.editor.current = camPosZ;
    d.key(SDLK_i);  // a key with the value the track has there: the curve stays
    ASSERT_TRUE(has(d.rows(camPosZ), row));
    EXPECT_NEAR(getTrackValue(modelTracks(d.model).tracks[camPosZ], row + 0.5), there, 1e-4);
    d.key(SDLK_i);  // a second one on the same row is refused
    EXPECT_FALSE(d.editor.message.empty());
    EXPECT_EQ(d.model.done.size(), 1u);

    // Two keys of two tracks copied and pasted 48 rows on, then made steps
    // and deleted: one step each.
    d.editor.selection = {{camPosY, 189}, {camPosZ, row}};
    d.key(SDLK_c, KMOD_LCTRL);
    seek(d.editor.transport, keyTime(row + 48));
    d.editor.transport.shown = keyTime(row + 48);
    d.key(SDLK_v, KMOD_LCTRL);
    EXPECT_TRUE(has(d.rows(camPosY), 189 + (row + 48 - 189)));
    EXPECT_TRUE(has(d.rows(camPosZ), row + 48 + (row - 189)));
    ASSERT_EQ(d.editor.selection.size(), 2u);
    d.key(SDLK_1);
    for (const KeyRef& k : d.editor.selection)
        for (const SourceKey& key : d.model.keys[k.track])
            if (key.row == k.row) {
                EXPECT_EQ(key.type, Step);
            }
    d.key(SDLK_DELETE);
    EXPECT_FALSE(has(d.rows(camPosY), row + 48));
    EXPECT_EQ(d.model.done.size(), 4u);  // insert, paste, interpolation, delete
    for (int i = 0; i < 4; ++i) d.key(SDLK_z, KMOD_LCTRL);
    EXPECT_FALSE(modelChanged(d.model));
}

// An input's wait counts from when it was made: the X server's time of it
// (32 bits of milliseconds, wrapping) on the studio's clock.
TEST(StudioEditing, AnInputWaitsFromWhenItWasMadeNotFromItsReading) {
    EXPECT_DOUBLE_EQ(sentAt(0xFFFFFFF0u, 5000.0, 0x100000010ull), 5000.0 - 32);
    EXPECT_DOUBLE_EQ(sentAt(700, 9000.0, 1000), 8700.0);
    EXPECT_LT(sentAt(1200, 9000.0, 1000), 0) << "a time ahead of the clock is of another clock";
    EXPECT_LT(sentAt(1000, 90000.0, 90000), 0) << "older than a minute";

    Desk d;
    SDL_Event e{};
    e.type = SDL_KEYDOWN;
    e.key.keysym.sym = SDLK_RIGHT;
    InputState in;
    in.now = 5000;
    in.sentAt = 4700;
    handleEvent(d.editor, e, in);
    EXPECT_DOUBLE_EQ(d.editor.inputWaiting, 4700.0);
    // Read later, before its picture: the wait still starts at the first.
    in.now = 5100;
    in.sentAt = -1;
    handleEvent(d.editor, e, in);
    EXPECT_DOUBLE_EQ(d.editor.inputWaiting, 4700.0);
}
