// model.cpp: edits checked as a whole, kept as steps, saved through the writer.
#include "content/edit/model.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

#include "sync/pages.h"

namespace {

bool fail(std::string* error, const std::string& line) {
    if (error) *error = line;
    return false;
}

bool sameKeys(const std::vector<SourceKey>& a, const std::vector<SourceKey>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].row != b[i].row || a[i].type != b[i].type ||
            std::memcmp(&a[i].value, &b[i].value, sizeof(float)) != 0)
            return false;
    return true;
}

bool sameTweaks(const std::vector<SourceTweak>& a, const std::vector<SourceTweak>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].name != b[i].name || std::memcmp(&a[i].value, &b[i].value, sizeof(float)) != 0)
            return false;
    return true;
}

std::string keyText(const SourceKey& k) {
    const char* type = interpolationName(k.type);
    return std::to_string(k.row) + " " + formatValue(k.value) + " " + (type ? type : "?");
}

// One file's new keys or entries, with a line for each key changed.
struct Proposal {
    int file = 0;
    std::vector<SourceKey> keys;
    std::vector<SourceTweak> tweaks;
};

struct Change {
    std::vector<Proposal> files;
    std::vector<std::string> lines;
};

// The index of the key at `row`, or -1.
int keyAt(const std::vector<SourceKey>& keys, std::int32_t row) {
    for (std::size_t i = 0; i < keys.size(); ++i)
        if (keys[i].row == row) return int(i);
    return -1;
}

void sortKeys(std::vector<SourceKey>& keys) {
    std::stable_sort(keys.begin(), keys.end(),
                     [](const SourceKey& a, const SourceKey& b) { return a.row < b.row; });
}

bool checkTrack(int track, std::string* error) {
    if (track >= 0 && track < trackCount) return true;
    return fail(error, "there is no track " + std::to_string(track));
}

bool checkValue(int track, float value, std::string* error) {
    if (std::isfinite(value)) return true;
    return fail(error, std::string(trackNames[track]) + ": the value " + formatValue(value) +
                           " is not a finite number");
}

bool checkRow(int track, std::int32_t row, std::string* error) {
    if (row >= 0) return true;
    return fail(error, std::string(trackNames[track]) + ": row " + std::to_string(row) +
                           " lies before the show's start (row 0)");
}

bool checkType(int track, std::int32_t type, std::string* error) {
    if (interpolationName(type) != nullptr) return true;
    return fail(error, std::string(trackNames[track]) + ": unknown interpolation " +
                           std::to_string(type) + " (expected step, linear, smooth or ramp)");
}

// The interpolation a new key at `row` gets: that of the key in force.
std::int32_t typeInForce(const std::vector<SourceKey>& keys, std::int32_t row) {
    std::int32_t type = keys.empty() ? Linear : keys[0].type;
    for (const SourceKey& k : keys)
        if (k.row <= row) type = k.type;
    return type;
}

// The new text of a file, read back by the builder's parser and checks:
// the proposal stands only when that gives exactly its keys.
bool checkAsBuilt(const EditModel& m, const Proposal& p, std::string* error) {
    std::string why;
    const std::string& path = m.files[p.file].path;
    if (p.file == tweakFile) {
        std::vector<SourceTweak> read;
        const std::string text = rewriteTweakText(m.files[p.file].bytes, p.tweaks);
        if (!parseTweakText(text, path, read, why) || !checkTweakNames(read, path, why))
            return fail(error, why);
        if (!sameTweaks(read, p.tweaks))
            return fail(error, path + ": the edit would not read back as made (a fault of the "
                                      "writer); nothing was changed");
        return true;
    }
    if (int(p.keys.size()) > maxTrackKeys)
        return fail(error, std::string(trackNames[p.file]) + ": more than " +
                               std::to_string(maxTrackKeys) + " keys");
    for (std::size_t i = 1; i < p.keys.size(); ++i)
        if (p.keys[i].row == p.keys[i - 1].row)
            return fail(error, std::string(trackNames[p.file]) + ": two keys at row " +
                                   std::to_string(p.keys[i].row));
    std::vector<SourceKey> read;
    const std::string text = rewriteTrackText(m.files[p.file].bytes, p.keys);
    if (!parseTrackText(text, path, read, why) || !checkShowTrack(p.file, read, path, why))
        return fail(error, why);
    if (!sameKeys(read, p.keys))
        return fail(error, path + ": the edit would not read back as made (a fault of the "
                                  "writer); nothing was changed");
    return true;
}

bool loadTracks(EditModel& m, std::string* error) {
    const std::uint8_t* data[trackCount];
    for (int t = 0; t < trackCount; ++t) {
        m.packed[t] = packTrackKeys(m.keys[t]);
        data[t] = m.packed[t].data();
    }
    ShowTracks fresh{};
    std::string why;
    if (!loadShowTracks(data, fresh, &why)) {
        releaseShowTracks(fresh);
        return fail(error, why);
    }
    if (m.loaded) releaseShowTracks(m.shown);
    m.shown = fresh;
    m.loaded = true;
    return true;
}

// The tracks of `files` decoded again from their keys, all or none: each
// one's new key data is decoded by the show's decoder into a key array of
// its own, which takes the old one's place in the track's record only when
// every one decoded.
bool reloadTracks(EditModel& m, const std::vector<int>& files, std::string* error) {
    struct Fresh {
        int track;
        std::vector<std::uint8_t> packed;
        SyncTrack decoded;
    };
    std::vector<Fresh> fresh;
    for (int f : files) {
        if (f == tweakFile) continue;
        fresh.push_back(Fresh{f, packTrackKeys(m.keys[f]), SyncTrack{}});
    }
    for (Fresh& n : fresh) {
        n.decoded = SyncTrack{n.packed.data(), nullptr, 0};
        loadTrackKeys(m.shown.device, &n.decoded);
        if (n.decoded.keyCount != n.packed[0]) {
            for (Fresh& r : fresh) releasePages(r.decoded.keys);
            return fail(error, std::string("sync: no memory for the keys of track ") +
                                   trackNames[n.track]);
        }
    }
    for (Fresh& n : fresh) {
        SyncTrack* track = m.shown.tracks[n.track];
        releasePages(track->keys);
        m.packed[n.track] = std::move(n.packed);
        track->keyData = m.packed[n.track].data();
        track->keys = n.decoded.keys;
        track->keyCount = n.decoded.keyCount;
    }
    return true;
}

std::vector<int> filesOf(const std::vector<Proposal>& proposals) {
    std::vector<int> files;
    for (const Proposal& p : proposals) files.push_back(p.file);
    return files;
}

FileChange* changeOf(EditStep& step, int file) {
    for (FileChange& c : step.files)
        if (c.file == file) return &c;
    return nullptr;
}

// Applies a checked change: records it in the open step (or a step of
// its own) and loads the tracks again.
bool commit(EditModel& m, const std::string& what, Change& change, std::string* error) {
    for (const Proposal& p : change.files)
        if (!checkAsBuilt(m, p, error)) return false;
    // Keep the old keys, so a failed load can put them back.
    std::vector<SourceKey> oldKeys[trackCount];
    std::vector<SourceTweak> oldTweaks = m.tweaks;
    for (int t = 0; t < trackCount; ++t) oldKeys[t] = m.keys[t];
    for (const Proposal& p : change.files) {
        if (p.file == tweakFile)
            m.tweaks = p.tweaks;
        else
            m.keys[p.file] = p.keys;
    }
    if (!reloadTracks(m, filesOf(change.files), error)) {
        for (int t = 0; t < trackCount; ++t) m.keys[t] = oldKeys[t];
        m.tweaks = oldTweaks;
        return false;
    }
    beginStep(m, what);
    for (const Proposal& p : change.files) {
        FileChange* c = changeOf(m.open, p.file);
        if (c == nullptr) {
            m.open.files.push_back(FileChange{});
            c = &m.open.files.back();
            c->file = p.file;
            if (p.file == tweakFile)
                c->tweaksBefore = oldTweaks;
            else
                c->keysBefore = oldKeys[p.file];
        }
        c->keysAfter = p.keys;
        c->tweaksAfter = p.tweaks;
    }
    m.open.lines.insert(m.open.lines.end(), change.lines.begin(), change.lines.end());
    ++m.revision;
    endStep(m);
    return true;
}

// Puts the keys of one side of a step in place.
void restore(EditModel& m, const EditStep& step, bool before) {
    std::vector<int> files;
    for (const FileChange& c : step.files) {
        if (c.file == tweakFile)
            m.tweaks = before ? c.tweaksBefore : c.tweaksAfter;
        else
            m.keys[c.file] = before ? c.keysBefore : c.keysAfter;
        files.push_back(c.file);
    }
    std::string ignored;
    if (!reloadTracks(m, files, &ignored)) loadTracks(m, &ignored);
    ++m.revision;
}

// The keys of track t with the key at `row` set (inserted or replaced).
bool proposeSet(const EditModel& m, int track, std::int32_t row, float value, std::int32_t type,
                bool mayReplace, Change& change, std::string* error) {
    if (!checkTrack(track, error) || !checkRow(track, row, error) ||
        !checkValue(track, value, error))
        return false;
    if (type != -1 && !checkType(track, type, error)) return false;
    Proposal p{track, m.keys[track], {}};
    const int at = keyAt(p.keys, row);
    const std::string name = trackNames[track];
    if (at >= 0) {
        if (!mayReplace)
            return fail(error, name + ": a key already lies at row " + std::to_string(row));
        const SourceKey was = p.keys[std::size_t(at)];
        p.keys[std::size_t(at)].value = value;
        if (type != -1) p.keys[std::size_t(at)].type = type;
        change.lines.push_back(name + " " + keyText(was) + " -> " +
                               keyText(p.keys[std::size_t(at)]));
    } else {
        SourceKey k{row, value, type == -1 ? typeInForce(p.keys, row) : type, 0};
        p.keys.push_back(k);
        sortKeys(p.keys);
        change.lines.push_back(name + " + " + keyText(k));
    }
    change.files.push_back(p);
    return true;
}

bool needKeys(const EditModel& m, int track, const std::vector<std::int32_t>& rows,
              std::string* error) {
    if (!checkTrack(track, error)) return false;
    if (rows.empty()) return fail(error, std::string(trackNames[track]) + ": no keys given");
    for (std::int32_t row : rows)
        if (keyAt(m.keys[track], row) < 0)
            return fail(error, std::string(trackNames[track]) + ": no key at row " +
                                   std::to_string(row));
    return true;
}

// Moves the keys of `track` whose rows `moved` says by `by`; a moved key
// may not land on a key that stays, nor before row 0, nor (with
// `keepOrder`) on or past a key that stays below it.
bool proposeMove(const EditModel& m, int track, const std::vector<bool>& moved, std::int32_t by,
                 bool keepOrder, Change& change, std::string* error) {
    const std::string name = trackNames[track];
    Proposal p{track, m.keys[track], {}};
    for (std::size_t i = 0; i < p.keys.size(); ++i) {
        if (!moved[i]) continue;
        const std::int64_t to = std::int64_t(p.keys[i].row) + by;
        if (to < 0)
            return fail(error, name + ": moving the key at row " + std::to_string(p.keys[i].row) +
                                   " by " + std::to_string(by) +
                                   " would put it before the show's start (row 0)");
        if (to > INT32_MAX)
            return fail(error, name + ": row " + std::to_string(to) + " is out of range");
        for (std::size_t j = 0; j < p.keys.size(); ++j)
            if (!moved[j] && p.keys[j].row == to)
                return fail(error, name + ": moving the key at row " +
                                       std::to_string(p.keys[i].row) + " by " + std::to_string(by) +
                                       " would put it on the key at row " + std::to_string(to));
        if (keepOrder)
            for (std::size_t j = 0; j < p.keys.size(); ++j)
                if (!moved[j] && p.keys[j].row < p.keys[i].row && to < p.keys[j].row)
                    return fail(error, name + ": moving the key at row " +
                                           std::to_string(p.keys[i].row) + " by " +
                                           std::to_string(by) + " would pass the key at row " +
                                           std::to_string(p.keys[j].row));
    }
    for (std::size_t i = 0; i < p.keys.size(); ++i) {
        if (!moved[i]) continue;
        const SourceKey was = p.keys[i];
        p.keys[i].row += by;
        change.lines.push_back(name + " " + keyText(was) + " -> " + keyText(p.keys[i]));
    }
    sortKeys(p.keys);
    change.files.push_back(p);
    return true;
}

std::string rowsText(const std::vector<std::int32_t>& rows) {
    std::string s;
    for (std::int32_t r : rows) s += (s.empty() ? "" : ",") + std::to_string(r);
    return s;
}

void remapLines(std::vector<SourceKey>& keys, const std::map<int, int>& to) {
    for (SourceKey& k : keys) {
        auto i = to.find(k.line);
        k.line = i == to.end() ? 0 : i->second;
    }
}

void remapLines(std::vector<SourceTweak>& tweaks, const std::map<int, int>& to) {
    for (SourceTweak& t : tweaks) {
        auto i = to.find(t.line);
        t.line = i == to.end() ? 0 : i->second;
    }
}

// After a save, the lines every key of the file and of its history came
// from are those of the text saved.
void remapFile(EditModel& m, int file, const std::string& saved) {
    std::map<int, int> to;
    std::string ignored;
    auto remapHistory = [&](EditStep& step) {
        for (FileChange& c : step.files)
            if (c.file == file) {
                remapLines(c.keysBefore, to);
                remapLines(c.keysAfter, to);
                remapLines(c.tweaksBefore, to);
                remapLines(c.tweaksAfter, to);
            }
    };
    if (file == tweakFile) {
        std::vector<SourceTweak> read;
        parseTweakText(saved, "", read, ignored);
        for (std::size_t i = 0; i < read.size() && i < m.tweaks.size(); ++i)
            if (m.tweaks[i].line > 0) to[m.tweaks[i].line] = read[i].line;
        for (std::size_t i = 0; i < read.size() && i < m.tweaks.size(); ++i)
            m.tweaks[i].line = read[i].line;
    } else {
        std::vector<SourceKey> read;
        parseTrackText(saved, "", read, ignored);
        std::vector<SourceKey>& keys = m.keys[file];
        for (std::size_t i = 0; i < read.size() && i < keys.size(); ++i)
            if (keys[i].line > 0) to[keys[i].line] = read[i].line;
        for (std::size_t i = 0; i < read.size() && i < keys.size(); ++i)
            keys[i].line = read[i].line;
    }
    for (EditStep& s : m.done) remapHistory(s);
    for (EditStep& s : m.undone) remapHistory(s);
    remapHistory(m.open);
}

}  // namespace

int trackByName(const std::string& name) {
    for (int t = 0; t < trackCount; ++t)
        if (name == trackNames[t]) return t;
    return -1;
}

std::int32_t interpolationByName(const std::string& word) { return interpolationType(word); }

bool openModelTexts(EditModel& m, const std::string paths[modelFileCount],
                    const std::string texts[modelFileCount], std::string* error) {
    closeModel(m);
    std::string why;
    for (int t = 0; t < trackCount; ++t) {
        m.files[t] = ModelFile{paths[t], texts[t]};
        if (!parseTrackText(texts[t], paths[t], m.keys[t], why) ||
            !checkShowTrack(t, m.keys[t], paths[t], why))
            return fail(error, why);
    }
    m.files[tweakFile] = ModelFile{paths[tweakFile], texts[tweakFile]};
    if (!parseTweakText(texts[tweakFile], paths[tweakFile], m.tweaks, why) ||
        !checkTweakNames(m.tweaks, paths[tweakFile], why))
        return fail(error, why);
    return loadTracks(m, error);
}

bool openModel(EditModel& m, const ContentSources& sources, std::string* error,
               std::vector<std::string>* notes) {
    std::string paths[modelFileCount], texts[modelFileCount];
    for (int t = 0; t < trackCount; ++t) {
        paths[t] = sources.tracks + "/" + trackNames[t] + ".track";
        if (!readFile(paths[t], texts[t])) return fail(error, paths[t] + ": cannot read the track file");
    }
    paths[tweakFile] = sources.tweaks;
    if (!readFile(paths[tweakFile], texts[tweakFile]))
        return fail(error, paths[tweakFile] + ": cannot read the tweak file");
    if (!openModelTexts(m, paths, texts, error)) return false;
    if (notes != nullptr)
        for (const std::string& left :
             leftoverSaves(std::vector<std::string>(paths, paths + modelFileCount)))
            notes->push_back(left + ": left by a save that did not finish: it holds the new text "
                                    "of " + left.substr(0, left.size() - std::strlen(saveSuffix)) +
                             " (rename it over that file to finish the save, or delete it)");
    return true;
}

void closeModel(EditModel& m) {
    if (m.loaded) releaseShowTracks(m.shown);
    const WriteHooks hooks = m.hooks;
    m = EditModel{};
    m.hooks = hooks;
}

bool setKey(EditModel& m, int track, std::int32_t row, float value, std::int32_t type,
            std::string* error) {
    Change c;
    if (!proposeSet(m, track, row, value, type, true, c, error)) return false;
    return commit(m, "set " + std::string(trackNames[track]) + " at row " + std::to_string(row), c,
                  error);
}

bool insertKey(EditModel& m, int track, std::int32_t row, float value, std::int32_t type,
               std::string* error) {
    Change c;
    if (!proposeSet(m, track, row, value, type, false, c, error)) return false;
    return commit(m, "insert a key in " + std::string(trackNames[track]) + " at row " +
                         std::to_string(row),
                  c, error);
}

bool deleteKeys(EditModel& m, int track, const std::vector<std::int32_t>& rows,
                std::string* error) {
    if (!needKeys(m, track, rows, error)) return false;
    Change c;
    Proposal p{track, {}, {}};
    for (const SourceKey& k : m.keys[track]) {
        if (std::find(rows.begin(), rows.end(), k.row) == rows.end())
            p.keys.push_back(k);
        else
            c.lines.push_back(std::string(trackNames[track]) + " - " + keyText(k));
    }
    c.files.push_back(p);
    return commit(m, "delete " + std::string(trackNames[track]) + " at " + rowsText(rows), c,
                  error);
}

bool moveKeys(EditModel& m, int track, const std::vector<std::int32_t>& rows, std::int32_t by,
              std::string* error) {
    if (!needKeys(m, track, rows, error)) return false;
    if (by == 0) return true;
    std::vector<bool> moved;
    for (const SourceKey& k : m.keys[track])
        moved.push_back(std::find(rows.begin(), rows.end(), k.row) != rows.end());
    Change c;
    if (!proposeMove(m, track, moved, by, false, c, error)) return false;
    return commit(m, "move " + std::string(trackNames[track]) + " " + rowsText(rows) + " by " +
                         std::to_string(by),
                  c, error);
}

bool moveKey(EditModel& m, int track, std::int32_t row, std::int32_t newRow, std::string* error) {
    return moveKeys(m, track, {row}, std::int32_t(std::int64_t(newRow) - row), error);
}

bool setValue(EditModel& m, int track, std::int32_t row, float value, std::string* error) {
    if (!needKeys(m, track, {row}, error)) return false;
    return setKey(m, track, row, value, -1, error);
}

bool setInterpolation(EditModel& m, int track, std::int32_t row, std::int32_t type,
                      std::string* error) {
    if (!needKeys(m, track, {row}, error) || !checkType(track, type, error)) return false;
    const SourceKey& k = m.keys[track][std::size_t(keyAt(m.keys[track], row))];
    return setKey(m, track, row, k.value, type, error);
}

bool shiftKeys(EditModel& m, std::int32_t from, std::int32_t by, const std::vector<int>& tracks,
               std::string* error) {
    std::vector<int> which = tracks;
    if (which.empty())
        for (int t = 0; t < trackCount; ++t) which.push_back(t);
    for (int t : which)
        if (!checkTrack(t, error)) return false;
    if (by == 0) return true;
    Change c;
    for (int t : which) {
        std::vector<bool> moved;
        bool any = false;
        for (const SourceKey& k : m.keys[t]) {
            moved.push_back(k.row >= from);
            any = any || k.row >= from;
        }
        if (any && !proposeMove(m, t, moved, by, true, c, error)) return false;
    }
    if (c.files.empty()) return true;
    return commit(m, "shift " + std::to_string(by) + " rows from row " + std::to_string(from), c,
                  error);
}

bool setTweak(EditModel& m, const std::string& name, float value, std::string* error) {
    bool known = false;
    for (const char* n : tweakNames) known = known || name == n;
    if (!known) {
        std::string why;
        checkTweakNames({SourceTweak{name, value, 0}}, "", why);
        return fail(error, why.substr(why.find(' ') + 1));  // without the empty "file:line:"
    }
    if (!std::isfinite(value))
        return fail(error, "tweak " + name + ": the value " + formatValue(value) +
                               " is not a finite number");
    Change c;
    Proposal p{tweakFile, {}, m.tweaks};
    bool found = false;
    for (SourceTweak& t : p.tweaks)
        if (t.name == name && !found) {
            c.lines.push_back("tweak " + name + " " + formatValue(t.value) + " -> " +
                              formatValue(value));
            t.value = value;
            found = true;
        }
    if (!found) {
        p.tweaks.push_back(SourceTweak{name, value, 0});
        c.lines.push_back("tweak + " + name + " " + formatValue(value));
    }
    c.files.push_back(p);
    return commit(m, "set tweak " + name, c, error);
}

bool keyCamera(EditModel& m, std::int32_t row, const float values[6], std::string* error) {
    Change c;
    for (int i = 0; i < 6; ++i) {
        // Each track proposed from the model's keys: they are distinct files.
        if (!proposeSet(m, camPosX + i, row, values[i], -1, true, c, error)) return false;
    }
    return commit(m, "key the camera at row " + std::to_string(row), c, error);
}

void beginStep(EditModel& m, const std::string& what) {
    if (m.stepDepth++ == 0) m.open = EditStep{what, {}, {}};
}

void endStep(EditModel& m) {
    if (m.stepDepth == 0) return;
    if (--m.stepDepth > 0) return;
    // A step that changed nothing in the end (a drag back to where it
    // began) is no step.
    bool changed = false;
    for (const FileChange& c : m.open.files)
        changed = changed || !sameKeys(c.keysBefore, c.keysAfter) ||
                  !sameTweaks(c.tweaksBefore, c.tweaksAfter);
    if (changed) {
        m.done.push_back(m.open);
        m.undone.clear();
    }
    m.open = EditStep{};
}

void cancelStep(EditModel& m) {
    if (m.stepDepth == 0) return;
    if (!m.open.files.empty()) restore(m, m.open, true);
    m.open = EditStep{};
    m.stepDepth = 0;
}

bool undo(EditModel& m, std::string* what) {
    while (m.stepDepth > 0) endStep(m);
    if (m.done.empty()) return false;
    EditStep step = m.done.back();
    m.done.pop_back();
    restore(m, step, true);
    if (what) *what = step.what;
    m.undone.push_back(step);
    return true;
}

bool redo(EditModel& m, std::string* what) {
    while (m.stepDepth > 0) endStep(m);
    if (m.undone.empty()) return false;
    EditStep step = m.undone.back();
    m.undone.pop_back();
    restore(m, step, false);
    if (what) *what = step.what;
    m.done.push_back(step);
    return true;
}

const EditStep* lastStep(const EditModel& m) { return m.done.empty() ? nullptr : &m.done.back(); }

const ShowTracks& modelTracks(const EditModel& m) { return m.shown; }

const std::vector<std::uint8_t>& modelKeyData(const EditModel& m, int track) {
    return m.packed[track];
}

bool fileChanged(const EditModel& m, int file) {
    std::string ignored;
    if (file == tweakFile) {
        std::vector<SourceTweak> read;
        return !parseTweakText(m.files[file].bytes, "", read, ignored) || !sameTweaks(read, m.tweaks);
    }
    std::vector<SourceKey> read;
    return !parseTrackText(m.files[file].bytes, "", read, ignored) || !sameKeys(read, m.keys[file]);
}

bool modelChanged(const EditModel& m) {
    for (int f = 0; f < modelFileCount; ++f)
        if (fileChanged(m, f)) return true;
    return false;
}

std::string fileText(const EditModel& m, int file) {
    if (file == tweakFile) return rewriteTweakText(m.files[file].bytes, m.tweaks);
    return rewriteTrackText(m.files[file].bytes, m.keys[file]);
}

bool saveModel(EditModel& m, SaveMode mode, std::vector<std::string>* saved, std::string* error) {
    std::vector<FileWrite> writes;
    std::vector<int> which;
    for (int f = 0; f < modelFileCount; ++f) {
        if (!fileChanged(m, f)) continue;
        std::string onDisk;
        if (mode == SaveMode::refuseChanged && readFile(m.files[f].path, onDisk) &&
            onDisk != m.files[f].bytes)
            return fail(error, m.files[f].path +
                                   ": changed on disk since it was read; not saved (nothing "
                                   "was written; overwrite it to replace those changes)");
        writes.push_back(FileWrite{m.files[f].path, fileText(m, f)});
        which.push_back(f);
    }
    if (saved) saved->clear();
    if (writes.empty()) return true;
    if (!writeFiles(writes, error, m.hooks)) return false;
    for (std::size_t i = 0; i < which.size(); ++i) {
        remapFile(m, which[i], writes[i].bytes);
        m.files[which[i]].bytes = writes[i].bytes;
        if (saved) saved->push_back(writes[i].path);
    }
    return true;
}
