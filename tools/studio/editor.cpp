// editor.cpp: keys, pointer gestures and edits, fed as events.
#include "tools/studio/editor.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "host/moment.h"
#include "tools/studio/hud.h"

namespace studio {

namespace {

constexpr double sliceMilliseconds = 60.0;
constexpr double keyRadius = 5.0;
constexpr double rulerHeight = 16.0, waveHeight = 28.0, lineHeight = 16.0, namesWidth = 112.0;

bool ctrl(const InputState& in) { return (in.mods & KMOD_CTRL) != 0; }
bool shift(const InputState& in) { return (in.mods & KMOD_SHIFT) != 0; }
bool alt(const InputState& in) { return (in.mods & KMOD_ALT) != 0; }

const ShowTracks& tracksOf(const Editor& e) { return modelTracks(*e.model); }

double showEnd(const Editor& e) { return std::max(1, e.transport.end); }

void say(Editor& e, const std::string& line) { e.said.push_back(line); }

void moved(Editor& e, const char* what) {
    say(e, std::string(what) + " " + clockText(e.transport.shown) + " (row " +
               std::to_string(int(std::floor(rowAt(e.transport.shown)))) + ")");
    e.dirty = true;
}

void seekTo(Editor& e, std::int32_t time) {
    seek(e.transport, time);
    moved(e, "at");
}

void changed(Editor& e, double now) {
    e.dirty = true;
    e.lastInput = now;
    if (e.inputWaiting < 0) e.inputWaiting = e.eventSentAt >= 0 ? std::min(now, e.eventSentAt) : now;
}

const SourceKey* keyAt(const Editor& e, Track track, std::int32_t row) {
    for (const SourceKey& k : e.model->keys[track])
        if (k.row == row) return &k;
    return nullptr;
}

void keyRows(const Editor& e, KeyRows& rows) {
    for (int t = 0; t < trackCount; ++t) {
        rows[t].clear();
        for (const SourceKey& k : e.model->keys[t]) rows[t].push_back(k.row);
    }
}

// The selection without keys that are gone (after an undo, say).
void pruneSelection(Editor& e) {
    std::vector<KeyRef> kept;
    for (const KeyRef& k : e.selection)
        if (keyAt(e, k.track, k.row)) kept.push_back(k);
    e.selection.swap(kept);
}

void select(Editor& e, std::vector<KeyRef> keys, bool add) {
    if (add) {
        for (const KeyRef& k : keys) {
            auto at = std::find(e.selection.begin(), e.selection.end(), k);
            if (keys.size() == 1 && at != e.selection.end())
                e.selection.erase(at);  // Shift+click on a selected key takes it away
            else if (at == e.selection.end())
                e.selection.push_back(k);
        }
    } else {
        e.selection = std::move(keys);
    }
    std::sort(e.selection.begin(), e.selection.end());
}

std::map<int, std::vector<std::int32_t>> rowsByTrack(const std::vector<KeyRef>& keys,
                                                     std::int32_t by) {
    std::map<int, std::vector<std::int32_t>> rows;
    for (const KeyRef& k : keys) rows[k.track].push_back(k.row + by);
    return rows;
}

void printTracks(Editor& e) {
    const std::int32_t row = playheadRow(e);
    TrackData values;
    evaluateTracks(tracksOf(e).tracks, float(row), values);
    say(e, "the tracks at row " + std::to_string(row) + " (" + clockText(e.transport.shown) + ")");
    for (int t = 0; t < trackCount; ++t)
        e.said.push_back("\t" + trackLine(tracksOf(e).tracks[t], trackNames[t], row,
                                          values.value[t]));
}

void printCamera(Editor& e) {
    const std::int32_t row = playheadRow(e);
    TrackData values;
    evaluateTracks(tracksOf(e).tracks, float(row), values);
    if (e.camera.on) applyCamera(e.camera, values);
    say(e, std::string("the ") + (e.camera.on ? "free" : "tracks'") + " camera at row " +
               std::to_string(row) + " (" + clockText(e.transport.shown) + ")");
    for (int t = camPosX; t <= camRotZ; ++t)
        e.said.push_back("\t" + trackLine(tracksOf(e).tracks[t], trackNames[t], row,
                                          values.value[t]));
}

bool cameraKey(SDL_Keycode key, CameraKey& which) {
    switch (key) {
        case SDLK_w: which = moveForward; return true;
        case SDLK_s: which = moveBack; return true;
        case SDLK_a: which = moveLeft; return true;
        case SDLK_d: which = moveRight; return true;
        case SDLK_q: which = moveDown; return true;
        case SDLK_e: which = moveUp; return true;
        case SDLK_LEFT: which = turnLeft; return true;
        case SDLK_RIGHT: which = turnRight; return true;
        case SDLK_UP: which = tiltUp; return true;
        case SDLK_DOWN: which = tiltDown; return true;
        default: return false;
    }
}

void keyCameraHere(Editor& e, double now) {
    if (!e.camera.on) return refuse(e, "Ctrl+K keys the free camera: C turns it on first");
    const float values[6] = {e.camera.position[0], e.camera.position[1], e.camera.position[2],
                             e.camera.rotation[0], e.camera.rotation[1], e.camera.rotation[2]};
    std::string error;
    if (!keyCamera(*e.model, playheadRow(e), values, &error)) return refuse(e, error);
    std::vector<KeyRef> keyed;
    for (int t = camPosX; t <= camRotZ; ++t) keyed.push_back({Track(t), playheadRow(e)});
    select(e, keyed, false);
    say(e, "keyed the camera at row " + std::to_string(playheadRow(e)));
    changed(e, now);
}

void copySelection(Editor& e) {
    if (e.selection.empty()) return refuse(e, "nothing selected to copy");
    std::int32_t first = e.selection.front().row;
    for (const KeyRef& k : e.selection) first = std::min(first, k.row);
    e.clipboard.clear();
    for (const KeyRef& k : e.selection)
        if (const SourceKey* key = keyAt(e, k.track, k.row))
            e.clipboard.push_back({k.track, k.row - first, key->value, key->type});
    say(e, "copied " + std::to_string(e.clipboard.size()) + " keys");
}

void paste(Editor& e, double now) {
    if (e.clipboard.empty()) return refuse(e, "nothing copied to paste");
    const std::int32_t at = playheadRow(e);
    beginStep(*e.model, "paste at row " + std::to_string(at));
    std::vector<KeyRef> pasted;
    for (const CopiedKey& c : e.clipboard) {
        std::string error;
        if (!setKey(*e.model, c.track, at + c.offset, c.value, c.type, &error)) {
            cancelStep(*e.model);
            return refuse(e, error);
        }
        pasted.push_back({c.track, at + c.offset});
    }
    endStep(*e.model);
    select(e, pasted, false);
    changed(e, now);
}

void insertAtPlayhead(Editor& e, double now) {
    const std::int32_t row = playheadRow(e);
    const float value = float(getTrackValue(tracksOf(e).tracks[e.current], row));
    std::string error;
    if (!insertKey(*e.model, e.current, row, value, -1, &error)) return refuse(e, error);
    select(e, {{Track(e.current), row}}, false);
    changed(e, now);
}

void deleteSelection(Editor& e, double now) {
    if (e.selection.empty()) return refuse(e, "nothing selected to delete");
    beginStep(*e.model, "delete " + std::to_string(e.selection.size()) + " keys");
    for (const auto& [track, rows] : rowsByTrack(e.selection, 0)) {
        std::string error;
        if (!deleteKeys(*e.model, track, rows, &error)) {
            cancelStep(*e.model);
            return refuse(e, error);
        }
    }
    endStep(*e.model);
    e.selection.clear();
    changed(e, now);
}

void ctrlKey(Editor& e, const SDL_KeyboardEvent& k, const InputState& in) {
    switch (k.keysym.sym) {
        case SDLK_z:
            if (shift(in)) redoStep(e); else undoStep(e);
            changed(e, in.now);
            break;
        case SDLK_y: redoStep(e); changed(e, in.now); break;
        case SDLK_s: e.saveRequested = true; break;
        case SDLK_k: keyCameraHere(e, in.now); break;
        case SDLK_c: copySelection(e); break;
        case SDLK_v: paste(e, in.now); break;
        case SDLK_q:
            if (modelChanged(*e.model)) e.askingQuit = true; else e.quit = true;
            break;
        default: break;
    }
}

void keyDown(Editor& e, const SDL_KeyboardEvent& k, const InputState& in) {
    // A text field keeps every key but Ctrl+S and Ctrl+Q, which it has no
    // use for: a save or a quit right after typing is not dropped.
    const bool saveOrQuit = ctrl(in) && (k.keysym.sym == SDLK_s || k.keysym.sym == SDLK_q);
    if ((in.keyboardTaken && !saveOrQuit) || e.gesture == Gesture::moveKeys) return;
    if (ctrl(in)) {
        if (!k.repeat) ctrlKey(e, k, in);
        return;
    }
    Transport& t = e.transport;
    CameraKey which;
    if (e.camera.on && cameraKey(k.keysym.sym, which)) {
        pressCameraKey(e.camera, which, in.now);
        changed(e, in.now);
        return;
    }
    if (k.repeat && k.keysym.sym != SDLK_LEFT && k.keysym.sym != SDLK_RIGHT) return;
    const bool seeking = k.keysym.sym == SDLK_LEFT || k.keysym.sym == SDLK_RIGHT ||
                         k.keysym.sym == SDLK_PAGEUP || k.keysym.sym == SDLK_PAGEDOWN ||
                         k.keysym.sym == SDLK_HOME || k.keysym.sym == SDLK_COMMA ||
                         k.keysym.sym == SDLK_PERIOD;
    if (seeking) {
        changed(e, in.now);
        e.seekByKey = true;
    }
    switch (k.keysym.sym) {
        case SDLK_ESCAPE:
            if (modelChanged(*e.model)) e.askingQuit = true; else e.quit = true;
            break;
        case SDLK_SPACE:
            setPlaying(t, !t.command.playing);
            moved(e, t.command.playing ? "playing from" : "paused at");
            break;
        case SDLK_LEFT: seekTo(e, shift(in) ? rowStep(t.shown, -1) : t.shown - 1000); break;
        case SDLK_RIGHT: seekTo(e, shift(in) ? rowStep(t.shown, +1) : t.shown + 1000); break;
        case SDLK_PAGEUP: seekTo(e, previousCut(t, t.shown)); break;
        case SDLK_PAGEDOWN: seekTo(e, nextCut(t, t.shown)); break;
        case SDLK_HOME: seekTo(e, 0); break;
        case SDLK_COMMA:
            seekTo(e, std::int32_t(std::ceil(shift(in) ? previousSection(e.grid, t.shown)
                                                      : previousBeat(e.grid, t.shown))));
            break;
        case SDLK_PERIOD:
            seekTo(e, std::int32_t(std::ceil(shift(in) ? nextSection(e.grid, t.shown + 1)
                                                      : nextBeat(e.grid, t.shown + 1))));
            break;
        case SDLK_LEFTBRACKET: markLoopStart(t); moved(e, "loop start"); break;
        case SDLK_RIGHTBRACKET: markLoopEnd(t); moved(e, "loop end"); break;
        case SDLK_l: {
            setLooping(t, !t.looping);
            std::int32_t a = 0, b = 0;
            if (loopRange(t, a, b))
                say(e, "looping " + clockText(a) + " to " + clockText(b));
            else
                say(e, t.looping ? "looping, once the marks enclose a time" : "looping off");
            e.dirty = true;
            break;
        }
        case SDLK_h: e.headsUp = !e.headsUp; e.dirty = true; break;
        case SDLK_TAB: e.timeline = !e.timeline; e.dirty = true; break;
        case SDLK_t: printTracks(e); break;
        case SDLK_p: printCamera(e); break;
        case SDLK_c:
            if (e.camera.on) {
                e.camera.on = false;
                say(e, "camera: back to the tracks");
            } else {
                startCamera(e.camera, frameValuesAt(tracksOf(e).tracks, t.shown).tracks);
                say(e, "camera: free (W A S D Q E, arrows or drag; P prints it, Ctrl+K keys it)");
            }
            changed(e, in.now);
            break;
        case SDLK_r:
            e.sceneScale = e.sceneScale == 1.0f ? 0.25f : 1.0f;
            e.remakeTargets = true;
            say(e, e.sceneScale == 1.0f ? "scene scale 1" : "scene scale 0.25");
            break;
        case SDLK_f: fitAll(e.view, showEnd(e)); break;
        case SDLK_i: insertAtPlayhead(e, in.now); break;
        case SDLK_DELETE:
        case SDLK_BACKSPACE: deleteSelection(e, in.now); break;
        case SDLK_1: case SDLK_2: case SDLK_3: case SDLK_4:
            setSelectionInterpolation(e, std::int32_t(k.keysym.sym - SDLK_1));
            changed(e, in.now);
            break;
        case SDLK_RETURN:
        case SDLK_KP_ENTER:
            e.lanes.open = e.lanes.open == e.current ? -1 : e.current;
            layoutTimeline(e, e.width, e.height);
            break;
        default: break;
    }
}

bool onTimeline(const Editor& e, double y) {
    return e.timeline && e.area.shown && y >= e.area.top && y < e.area.bottom;
}

Snap snapFor(const InputState& in) {
    if (alt(in)) return Snap::keys;
    if (ctrl(in)) return shift(in) ? Snap::sections : Snap::beats;
    return Snap::rows;
}

void scrubAt(Editor& e, double x, double now) {
    const std::int32_t time = std::int32_t(std::clamp(timeAtPixel(e.view, x), 0.0, showEnd(e)));
    if (now < e.sliceEnds) {
        e.scrubTo = time;  // after the slice playing
        return;
    }
    seek(e.transport, time);
    setPlaying(e.transport, true);
    e.sliceEnds = now + sliceMilliseconds;
    e.scrubTo = -1;
    changed(e, now);
}

void pressKeys(Editor& e, const KeyRef& hit, const InputState& in) {
    const bool selected =
        std::find(e.selection.begin(), e.selection.end(), hit) != e.selection.end();
    if (shift(in))
        select(e, {hit}, true);
    else if (!selected)
        select(e, {hit}, false);
    if (std::find(e.selection.begin(), e.selection.end(), hit) == e.selection.end()) return;
    e.gesture = Gesture::moveKeys;
    e.anchor = hit;
    e.moving = e.selection;
    e.movedBy = 0;
    e.changedInGesture = false;
    e.startValues.clear();
    for (const KeyRef& k : e.moving) e.startValues.push_back(keyAt(e, k.track, k.row)->value);
    std::vector<float> values;
    for (const SourceKey& k : e.model->keys[hit.track]) values.push_back(k.value);
    valueRange(values, e.valueLow, e.valueHigh);
    beginStep(*e.model, "drag " + std::to_string(e.moving.size()) + " keys");
}

// The drag so far, applied to the keys as they were when it began: moved
// by whole rows (in each track together), and in the open lane to the
// values under the pointer.
void dragKeys(Editor& e, double x, double y, const InputState& in) {
    KeyRows rows;
    keyRows(e, rows);
    std::vector<std::int32_t> others;
    for (std::int32_t row : rows[e.anchor.track])
        if (std::find(e.moving.begin(), e.moving.end(), KeyRef{e.anchor.track, row - e.movedBy}) ==
            e.moving.end())
            others.push_back(row);
    const double anchorMs = rowMilliseconds(e.anchor.row) + (x - e.pressX) * e.view.msPerPixel;
    const std::int32_t target = snapRow(anchorMs, snapFor(in), e.grid, others);
    const std::int32_t by = target - e.anchor.row;
    if (by != e.movedBy) {
        std::string error;
        // Every track's keys move together; one that is refused moves the
        // others of this motion back (the drag stays where it was).
        std::vector<int> done;
        const auto tracks = rowsByTrack(e.moving, e.movedBy);
        for (const auto& [track, current] : tracks) {
            if (!moveKeys(*e.model, track, current, by - e.movedBy, &error)) break;
            done.push_back(track);
        }
        if (done.size() == tracks.size()) {
            e.movedBy = by;
            e.changedInGesture = true;
            e.message.clear();
        } else {
            for (int track : done) {
                std::vector<std::int32_t> rows = tracks.at(track);
                for (std::int32_t& row : rows) row += by - e.movedBy;
                std::string ignored;
                moveKeys(*e.model, track, rows, e.movedBy - by, &ignored);
            }
            refuse(e, error);
        }
    }
    if (e.lanes.open == int(e.anchor.track) && std::fabs(y - e.pressY) >= 2.0) {
        double top = 0, bottom = 0;
        laneSpan(e.lanes, e.anchor.track, top, bottom);
        const double dv = yValue(y, e.valueLow, e.valueHigh, top, bottom) -
                          yValue(e.pressY, e.valueLow, e.valueHigh, top, bottom);
        for (std::size_t i = 0; i < e.moving.size(); ++i) {
            if (e.moving[i].track != e.anchor.track) continue;
            std::string error;
            if (setValue(*e.model, e.moving[i].track, e.moving[i].row + e.movedBy,
                         float(e.startValues[i] + dv), &error))
                e.changedInGesture = true;
            else
                refuse(e, error);
        }
    }
    e.selection.clear();
    for (const KeyRef& k : e.moving) e.selection.push_back({k.track, k.row + e.movedBy});
    std::sort(e.selection.begin(), e.selection.end());
    changed(e, in.now);
}

void pointerDown(Editor& e, const SDL_MouseButtonEvent& b, const InputState& in) {
    e.pressX = e.pointerX = b.x;
    e.pressY = e.pointerY = b.y;
    if (!onTimeline(e, b.y)) {
        if (b.button == SDL_BUTTON_LEFT && e.camera.on) e.gesture = Gesture::camera;
        return;
    }
    if (b.button != SDL_BUTTON_LEFT) {
        e.gesture = Gesture::pan;
        return;
    }
    if (b.x < e.area.namesRight) {  // a lane's name: it becomes the current track
        const int track = trackAtY(e.lanes, b.y);
        if (track >= 0) e.current = track;
        return;
    }
    if (b.y >= e.area.rulerTop && b.y < e.area.rulerBottom) {
        e.gesture = Gesture::scrub;
        e.sliceEnds = 0;
        scrubAt(e, b.x, in.now);
        return;
    }
    const int track = trackAtY(e.lanes, b.y);
    if (track < 0) return;
    e.current = track;
    KeyRows rows;
    keyRows(e, rows);
    KeyRef hit{};
    if (hitKey(e.view, e.lanes, rows, b.x, b.y, keyRadius, hit)) {
        pressKeys(e, hit, in);
    } else {
        e.gesture = Gesture::box;
    }
    e.dirty = true;
}

void pointerUp(Editor& e, const SDL_MouseButtonEvent& b, const InputState& in) {
    switch (e.gesture) {
        case Gesture::moveKeys:
            if (e.changedInGesture)
                endStep(*e.model);
            else
                cancelStep(*e.model);
            changed(e, in.now);
            break;
        case Gesture::box: {
            KeyRows rows;
            keyRows(e, rows);
            select(e, keysInBox(e.view, e.lanes, rows, e.pressX, e.pressY, b.x, b.y), shift(in));
            e.dirty = true;
            break;
        }
        case Gesture::scrub:
            setPlaying(e.transport, false);
            seekTo(e, std::int32_t(std::clamp(timeAtPixel(e.view, b.x), 0.0, showEnd(e))));
            e.sliceEnds = 0;
            e.scrubTo = -1;
            break;
        default: break;
    }
    e.gesture = Gesture::none;
}

void pointerMoved(Editor& e, const SDL_MouseMotionEvent& m, const InputState& in) {
    const double dx = m.x - e.pointerX;
    e.pointerX = m.x;
    e.pointerY = m.y;
    switch (e.gesture) {
        case Gesture::scrub: scrubAt(e, m.x, in.now); break;
        case Gesture::moveKeys: dragKeys(e, m.x, m.y, in); break;
        case Gesture::pan: panBy(e.view, -dx, showEnd(e)); break;
        case Gesture::box: e.dirty = true; break;
        case Gesture::camera:
            dragCamera(e.camera, m.xrel, m.yrel);
            changed(e, in.now);
            break;
        default: break;
    }
}

}  // namespace

void refuse(Editor& e, const std::string& why) {
    e.message = why;
    std::fprintf(stderr, "ostrel-studio: %s\n", why.c_str());
    std::fflush(stderr);
}

std::int32_t playheadRow(const Editor& e) {
    return std::int32_t(std::floor(rowAt(e.transport.shown)));
}

void startEditor(Editor& e, EditModel& model, const score::Score& score) {
    e.model = &model;
    e.grid = musicGrid(score);
}

void layoutTimeline(Editor& e, int width, int height) {
    e.width = width;
    e.height = height;
    TimelineArea& a = e.area;
    a.shown = e.timeline;
    // The panel takes what its lanes need, up to half the window; the
    // lanes share what is left.
    const double fixed = rulerHeight + waveHeight + lineHeight;
    const double wanted = fixed + 14.0 * (trackCount - 1) + (e.lanes.open >= 0 ? 120.0 : 14.0);
    const double panel = std::min(wanted, std::max(fixed + 4.0 * trackCount, height * 0.5));
    a.bottom = height;
    a.top = height - panel;
    a.rulerTop = a.top;
    a.rulerBottom = a.top + rulerHeight;
    a.lineTop = height - lineHeight;
    a.waveBottom = a.lineTop;
    a.waveTop = a.waveBottom - waveHeight;
    a.namesRight = std::min(namesWidth, width * 0.25);
    a.right = width;
    const double lanes = a.waveTop - a.rulerBottom;
    e.lanes.top = a.rulerBottom;
    if (e.lanes.open >= 0) {
        e.lanes.laneHeight = std::max(4.0, std::min(14.0, lanes * 0.5 / (trackCount - 1)));
        e.lanes.openHeight = lanes - e.lanes.laneHeight * (trackCount - 1);
    } else {
        e.lanes.laneHeight = lanes / trackCount;
    }
    const bool first = e.view.width <= 1.0;
    e.view.left = a.namesRight;
    e.view.width = std::max(1.0, a.right - a.namesRight);
    if (first) fitAll(e.view, showEnd(e));
}

void handleEvent(Editor& e, const SDL_Event& ev, const InputState& in) {
    e.eventSentAt = in.sentAt;
    switch (ev.type) {
        case SDL_QUIT:
            if (modelChanged(*e.model)) e.askingQuit = true; else e.quit = true;
            break;
        case SDL_KEYDOWN: keyDown(e, ev.key, in); break;
        case SDL_KEYUP: {
            CameraKey which;
            if (cameraKey(ev.key.keysym.sym, which)) releaseCameraKey(e.camera, which, in.now);
            break;
        }
        case SDL_MOUSEBUTTONDOWN:
            if (!in.pointerTaken && e.gesture == Gesture::none) pointerDown(e, ev.button, in);
            break;
        case SDL_MOUSEBUTTONUP: pointerUp(e, ev.button, in); break;
        case SDL_MOUSEMOTION: pointerMoved(e, ev.motion, in); break;
        case SDL_MOUSEWHEEL: {
            if (in.pointerTaken || !onTimeline(e, e.pointerY)) break;
            if (ctrl(in))
                zoomAbout(e.view, e.pointerX, std::pow(1.25, ev.wheel.y), showEnd(e));
            else
                panBy(e.view, -40.0 * (ev.wheel.y + ev.wheel.x), showEnd(e));
            e.dirty = true;
            break;
        }
        case SDL_WINDOWEVENT:
            if (ev.window.event == SDL_WINDOWEVENT_EXPOSED) e.dirty = true;
            break;
        default: break;
    }
}

void tickEditor(Editor& e, double now) {
    if (e.gesture == Gesture::scrub && e.sliceEnds > 0 && now >= e.sliceEnds) {
        setPlaying(e.transport, false);
        e.sliceEnds = 0;
        if (e.scrubTo >= 0) {
            const std::int32_t to = e.scrubTo;
            e.scrubTo = -1;
            seek(e.transport, to);
            setPlaying(e.transport, true);
            e.sliceEnds = now + sliceMilliseconds;
        }
    }
    if (e.gesture == Gesture::none && e.transport.command.playing)
        follow(e.view, e.transport.shown, showEnd(e));
    pruneSelection(e);
}

bool interacting(const Editor& e, double now, double quiet) {
    return e.gesture == Gesture::moveKeys || e.gesture == Gesture::scrub ||
           e.gesture == Gesture::camera || cameraFlying(e.camera) || now - e.lastInput < quiet;
}

namespace {

// One edit applied to every selected key as one step; the first refusal
// takes the whole step back and says why.
template <typename Edit>
bool editSelection(Editor& e, const std::string& label, Edit edit) {
    beginStep(*e.model, label);
    for (const KeyRef& k : e.selection) {
        std::string error;
        if (!edit(k, &error)) {
            cancelStep(*e.model);
            refuse(e, error);
            return false;
        }
    }
    endStep(*e.model);
    e.dirty = true;
    return true;
}

}  // namespace

bool typeValue(Editor& e, const std::string& text) {
    char* end = nullptr;
    const float value = std::strtof(text.c_str(), &end);
    if (text.empty() || end == text.c_str() || *end != '\0' || !std::isfinite(value)) {
        refuse(e, "'" + text + "' is not a finite number: the value stays");
        return false;
    }
    if (e.selection.empty()) {
        refuse(e, "no key selected to set");
        return false;
    }
    return editSelection(e, "set " + std::to_string(e.selection.size()) + " values",
                         [&](const KeyRef& k, std::string* error) {
                             return setValue(*e.model, k.track, k.row, value, error);
                         });
}

bool typeTweak(Editor& e, const std::string& name, const std::string& text) {
    char* end = nullptr;
    const float value = std::strtof(text.c_str(), &end);
    std::string error;
    if (text.empty() || end == text.c_str() || *end != '\0') {
        refuse(e, name + ": '" + text + "' is not a number: the tweak stays");
        return false;
    }
    if (!setTweak(*e.model, name, value, &error)) {
        refuse(e, error);
        return false;
    }
    e.dirty = true;
    return true;
}

bool shiftAfterPlayhead(Editor& e, std::int32_t rows) {
    std::string error;
    if (!shiftKeys(*e.model, playheadRow(e), rows, {}, &error)) {
        refuse(e, error);
        return false;
    }
    e.selection.clear();
    e.dirty = true;
    return true;
}

bool setSelectionInterpolation(Editor& e, std::int32_t type) {
    if (e.selection.empty()) {
        refuse(e, "no key selected");
        return false;
    }
    return editSelection(e, std::string("interpolation ") + interpolationName(type),
                         [&](const KeyRef& k, std::string* error) {
                             return setInterpolation(*e.model, k.track, k.row, type, error);
                         });
}

void undoStep(Editor& e) {
    std::string what;
    if (undo(*e.model, &what)) say(e, "undid " + what); else refuse(e, "nothing to undo");
    pruneSelection(e);
}

void redoStep(Editor& e) {
    std::string what;
    if (redo(*e.model, &what)) say(e, "redid " + what); else refuse(e, "nothing to redo");
    pruneSelection(e);
}

void answerQuit(Editor& e, QuitAnswer answer) {
    switch (answer) {
        case QuitAnswer::save: e.saveRequested = e.quitAfterSave = true; break;
        case QuitAnswer::discard: e.quit = e.discarded = true; break;
        case QuitAnswer::stay: break;
    }
    e.askingQuit = false;
}

}  // namespace studio
