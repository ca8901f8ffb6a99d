// ostrel-tracks: the show's keys and tweaks from the command line, for
// scripts, batch changes and merges, on the edit model and writer the
// studio uses (content/edit/).
//
//   ostrel-tracks list [TRACK...]                 keys as track file lines
//   ostrel-tracks at TIME|rROW                    the 13 values at a show time (ms) or row
//   ostrel-tracks set TRACK ROW VALUE [INTERP]    insert or replace a key
//   ostrel-tracks delete TRACK ROW
//   ostrel-tracks move TRACK ROW NEWROW
//   ostrel-tracks shift --from ROW --by N [--tracks A,B,...]
//   ostrel-tracks key-camera ROW X Y Z RX RY RZ   the six camera tracks at one row
//   ostrel-tracks tweak NAME VALUE                set a tweak value
//
// A command that changes something prints one line per key changed and
// saves the changed files (atomically, all or none); with --dry-run it only
// prints. A refused edit, a file changed on disk since it was read (unless
// --overwrite) or a file that cannot be written: one line, status 1, no
// file written. A bad option or command line: status 2.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "content/edit/model.h"
#include "host/loop.h"
#include "tools/common/options.h"

namespace {

const char* const program = "ostrel-tracks";

int failed(const std::string& line) {
    std::fprintf(stderr, "%s: %s\n", program, line.c_str());
    return 1;
}

struct Words {
    const OptionParser& parser;
    const std::vector<std::string>& w;
    std::string command;

    int refuse(const std::string& why) const { return parser.refuse(command + ": " + why); }

    bool count(std::size_t min, std::size_t max, int& status) const {
        if (w.size() - 1 >= min && w.size() - 1 <= max) return true;
        status = refuse(min == max ? "takes " + std::to_string(min) + " arguments (see --help)"
                                   : "takes " + std::to_string(min) + " to " +
                                         std::to_string(max) + " arguments (see --help)");
        return false;
    }
    bool track(std::size_t i, int& t, int& status) const {
        t = trackByName(w[i]);
        if (t >= 0) return true;
        std::string names;
        for (const char* n : trackNames) names += std::string(names.empty() ? "" : " ") + n;
        status = refuse("no track named \"" + w[i] + "\" (the tracks: " + names + ")");
        return false;
    }
    bool row(std::size_t i, std::int32_t& r, int& status) const {
        std::int64_t v;
        std::string why;
        if (parseWhole(w[i], INT32_MIN, INT32_MAX, &v, &why)) {
            r = std::int32_t(v);
            return true;
        }
        status = refuse("row " + why);
        return false;
    }
    bool value(std::size_t i, float& f, int& status) const {
        double v;
        std::string why;
        if (parseNumber(w[i], -3.4e38, 3.4e38, false, &v, &why)) {
            f = float(v);
            return true;
        }
        status = refuse("value " + why);
        return false;
    }
    bool interpolation(std::size_t i, std::int32_t& type, int& status) const {
        type = interpolationByName(w[i]);
        if (type >= 0) return true;
        status = refuse("unknown interpolation \"" + w[i] +
                        "\" (expected step, linear, smooth or ramp)");
        return false;
    }
};

std::string keyLine(const SourceKey& k) {
    const char* type = interpolationName(k.type);
    return std::to_string(k.row) + " " + formatValue(k.value) + " " + (type ? type : "?");
}

int list(const EditModel& m, const std::vector<int>& tracks) {
    for (int t : tracks) {
        std::printf("# %s\n", trackNames[t]);
        for (const SourceKey& k : m.keys[t]) std::printf("%s\n", keyLine(k).c_str());
    }
    return 0;
}

int at(const EditModel& m, const std::string& when, const Words& words) {
    int status = 0;
    TrackData values{};
    std::string where;
    bool ended = false;
    if (!when.empty() && when[0] == 'r') {
        double row;
        std::string why;
        if (!parseNumber(when.substr(1), 0.0, 1e9, false, &row, &why))
            return words.refuse("row " + why);
        evaluateTracks(modelTracks(m).tracks, float(row), values);
        ended = endOfShow(values.value[scene]).quit;
        where = "row " + when.substr(1);
    } else {
        std::int64_t ms;
        std::string why;
        if (!parseWhole(when, 0, INT32_MAX, &ms, &why))
            return words.refuse("show time " + why + " (milliseconds, or rROW for a row)");
        const FrameValues frame = frameValuesAt(modelTracks(m).tracks, std::int32_t(ms));
        values = frame.tracks;
        ended = frame.end.quit;
        where = std::to_string(ms) + " ms (row " + formatValue(rowAt(std::int32_t(ms))) + ")";
    }
    (void)status;
    std::printf("# the tracks at %s%s\n", where.c_str(),
                ended ? "; the show ends with this frame" : "");
    for (int t = 0; t < trackCount; ++t)
        std::printf("%-15s %s\n", trackNames[t], formatValue(values.value[t]).c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string source = OSTREL_SOURCE_DIR, trackList;
    bool dryRun = false, overwrite = false;
    std::int64_t from = INT64_MIN, by = INT64_MIN;
    std::vector<std::string> words;
    OptionParser parser(
        program, "COMMAND [ARGUMENTS] [options]",
        "Lists and edits the show's track keys and tweak values in a source tree, through the\n"
        "studio's edit model. Commands:\n"
        "  list [TRACK...]                 the keys as track file lines (every track by default)\n"
        "  at TIME|rROW                    the 13 values at a show time (ms) or a row (r1160.5)\n"
        "  set TRACK ROW VALUE [INTERP]    insert or replace a key (INTERP: step, linear, smooth\n"
        "                                  or ramp; default: the key's own, or the one in force)\n"
        "  delete TRACK ROW                delete a key\n"
        "  move TRACK ROW NEWROW           move a key\n"
        "  shift --from ROW --by N         move every key at or after ROW by N rows (24 a second)\n"
        "        [--tracks A,B,...]        in these tracks only\n"
        "  key-camera ROW X Y Z RX RY RZ   key the six camera tracks at one row\n"
        "  tweak NAME VALUE                set a tweak value\n"
        "A change prints one line per key and saves the changed files atomically, all or none.\n"
        "Status: 0 done, 1 an edit refused or a file not written (nothing written), 2 a bad\n"
        "command line.");
    parser.text("--source", "DIR",
                &source, "the source tree (content/tracks, content/tweaks.txt); default: the "
                         "tree this program was built from");
    parser.flag("--dry-run", &dryRun, "print what would change; write nothing");
    parser.flag("--overwrite", &overwrite,
                "save even over a file changed on disk since it was read");
    parser.integer("--from", "ROW", 0, INT32_MAX, &from, "shift: the first row moved (0 or more)");
    parser.integer("--by", "N", INT32_MIN, INT32_MAX, &by,
                   "shift: rows to move by (negative: earlier)");
    parser.text("--tracks", "A,B,...", &trackList, "shift: only these tracks (default: all 13)");
    parser.positional("COMMAND [ARGUMENTS]", 1, 64, &words, "the command and its arguments");
    const int status = parser.parse(argc, argv);
    if (status >= 0) return status;

    Words w{parser, words, words[0]};
    const std::string& command = words[0];
    const bool known = command == "list" || command == "at" || command == "set" ||
                       command == "delete" || command == "move" || command == "shift" ||
                       command == "key-camera" || command == "tweak";
    if (!known)
        return parser.refuse("unknown command \"" + command +
                             "\" (list, at, set, delete, move, shift, key-camera or tweak)");
    if (command != "shift" && (from != INT64_MIN || by != INT64_MIN || !trackList.empty()))
        return parser.refuse("--from, --by and --tracks belong to shift");

    // The command line is checked whole before the tree is read.
    int bad = 0;
    int track = 0;
    std::int32_t row = 0, other = 0, type = -1;
    float value = 0.0f, camera[6];
    std::vector<int> tracks;
    if (command == "list") {
        for (std::size_t i = 1; i < words.size(); ++i) {
            if (!w.track(i, track, bad)) return bad;
            tracks.push_back(track);
        }
        if (tracks.empty())
            for (int t = 0; t < trackCount; ++t) tracks.push_back(t);
    } else if (command == "at") {
        if (!w.count(1, 1, bad)) return bad;
    } else if (command == "set") {
        if (!w.count(3, 4, bad) || !w.track(1, track, bad) || !w.row(2, row, bad) ||
            !w.value(3, value, bad) || (words.size() == 5 && !w.interpolation(4, type, bad)))
            return bad;
    } else if (command == "delete") {
        if (!w.count(2, 2, bad) || !w.track(1, track, bad) || !w.row(2, row, bad)) return bad;
    } else if (command == "move") {
        if (!w.count(3, 3, bad) || !w.track(1, track, bad) || !w.row(2, row, bad) ||
            !w.row(3, other, bad))
            return bad;
    } else if (command == "shift") {
        if (!w.count(0, 0, bad)) return bad;
        if (from == INT64_MIN || by == INT64_MIN)
            return parser.refuse("shift: --from ROW and --by N are required");
        std::size_t at = 0;
        while (!trackList.empty() && at <= trackList.size()) {
            std::size_t comma = trackList.find(',', at);
            if (comma == std::string::npos) comma = trackList.size();
            const std::string name = trackList.substr(at, comma - at);
            const int t = trackByName(name);
            if (t < 0) return parser.refuse("--tracks: no track named \"" + name + "\"");
            tracks.push_back(t);
            at = comma + 1;
        }
    } else if (command == "key-camera") {
        if (!w.count(7, 7, bad) || !w.row(1, row, bad)) return bad;
        for (int i = 0; i < 6; ++i)
            if (!w.value(std::size_t(2 + i), camera[i], bad)) return bad;
    } else if (command == "tweak") {
        if (!w.count(2, 2, bad) || !w.value(2, value, bad)) return bad;
    }

    EditModel m;
    std::string error;
    std::vector<std::string> notes;
    if (!openModel(m, sourceTree(source, ""), &error, &notes)) return failed(error);
    for (const std::string& note : notes) std::fprintf(stderr, "%s: note: %s\n", program, note.c_str());

    int result = 0;
    bool ok = true;
    if (command == "list") {
        result = list(m, tracks);
    } else if (command == "at") {
        result = at(m, words[1], w);
    } else if (command == "set") {
        ok = setKey(m, track, row, value, type, &error);
    } else if (command == "delete") {
        ok = deleteKeys(m, track, {row}, &error);
    } else if (command == "move") {
        ok = moveKey(m, track, row, other, &error);
    } else if (command == "shift") {
        ok = shiftKeys(m, std::int32_t(from), std::int32_t(by), tracks, &error);
    } else if (command == "key-camera") {
        ok = keyCamera(m, row, camera, &error);
    } else if (command == "tweak") {
        ok = setTweak(m, words[1], value, &error);
    }
    if (!ok) {
        closeModel(m);
        return failed(command + " refused: " + error + "; nothing was written");
    }
    if (command != "list" && command != "at") {
        const EditStep* step = lastStep(m);
        if (step == nullptr || !modelChanged(m)) {
            std::printf("nothing to change\n");
        } else {
            for (const std::string& line : step->lines) std::printf("%s\n", line.c_str());
            std::vector<std::string> saved;
            if (dryRun) {
                for (int f = 0; f < modelFileCount; ++f)
                    if (fileChanged(m, f)) std::printf("would save %s\n", m.files[f].path.c_str());
            } else if (!saveModel(m, overwrite ? SaveMode::overwrite : SaveMode::refuseChanged,
                                  &saved, &error)) {
                result = failed(error);
            } else {
                for (const std::string& path : saved) std::printf("saved %s\n", path.c_str());
            }
        }
    }
    closeModel(m);
    return result;
}
