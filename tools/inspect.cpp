// ostrel-inspect: what the content block linked into this program holds,
// decoded by the same sync and tweak code as the show.
//
// Usage:
//   ostrel-inspect                 the 13 tracks (key count, first and last
//                                  row), the tweak values and where each is
//                                  stored, the soundtrack's format and length
//   ostrel-inspect --at ROW...     for each row one line: the row, then the
//                                  13 track values in TrackData order
//
// With --at every row is taken the way the frame loop takes it: parsed,
// narrowed to a single float, widened to double for the evaluation, and each
// value narrowed to a single float; the row and the values are printed as
// the shortest text that reads back as the same float (formatValue), so the
// text gives back the exact floats. Authors use it to check the
// choreography; the tests use it too. A row may be fractional, and may lie
// outside the show (the tracks hold their first and last values there): a
// line on stderr says so for each such row.
//
// The block linked in is the 512 x 384 one; the variants differ only in the
// start render size.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "content/builder/assets.h"
#include "host/loop.h"
#include "render/frame.h"
#include "sync/content.h"
#include "sync/show_tracks.h"
#include "sync/tweak.h"
#include "sync/wave.h"
#include "tools/common/checks.h"
#include "tools/common/options.h"

namespace {

// The 13 tracks of the linked block, through the show's own loader.
bool loadTracks(ShowTracks& tracks) {
    std::string error;
    if (loadShowTracks(ostrelContent, tracks, &error)) return true;
    std::fprintf(stderr, "ostrel-inspect: %s\n", error.c_str());
    return false;
}

// Each row as the frame loop takes it: the track values at the row,
// narrowed to single floats, by the loop's own evaluation.
int printRows(const std::vector<float>& rows) {
    ShowTracks tracks;
    if (!loadTracks(tracks)) return 1;
    const std::int32_t last = showLastFrame(tracks);
    for (float row : rows) {
        if (row < 0.0f)
            std::fprintf(stderr, "ostrel-inspect: row %.9g is before the show's start\n",
                         double(row));
        else if (last >= 0 && row > rowAt(last))
            std::fprintf(stderr,
                         "ostrel-inspect: row %.9g is past the show's end: it ends at row %.3f "
                         "(%d ms, %s)\n",
                         double(row), double(rowAt(last)), int(last), showClockText(last).c_str());
        TrackData values{};
        evaluateTracks(tracks.tracks, row, values);
        std::printf("%s", formatValue(row).c_str());
        for (int t = 0; t < trackCount; ++t)
            std::printf(" %s", formatValue(values.value[t]).c_str());
        std::printf("\n");
    }
    return 0;
}

void printTracks(SyncTrack* const tracks[trackCount]) {
    int keys = 0;
    for (int t = 0; t < trackCount; ++t) keys += tracks[t]->keyCount;
    std::printf("tracks: %d, %d keys\n", int(trackCount), keys);
    std::printf("  %-2s %-15s %4s %6s %6s\n", "#", "track", "keys", "first", "last");
    for (int t = 0; t < trackCount; ++t) {
        const SyncTrack* track = tracks[t];
        if (track->keyCount > 0)
            std::printf("  %-2d %-15s %4d %6d %6d\n", t, trackNames[t], track->keyCount,
                        track->keys[0].row, track->keys[track->keyCount - 1].row);
        else
            std::printf("  %-2d %-15s %4d %6s %6s\n", t, trackNames[t], 0, "-", "-");
    }
}

void printTweaks() {
    TweakSettings table;
    const bool parsed = parseTweakSettings(ostrelContent.tweakBlob,
                                           std::uint32_t(sizeof ostrelContent.tweakBlob), table);
    // The start-up values of the records, as the driver sets them.
    FD fd{};
    fd.F0 = 1.0f;
    FocusData focus{0.0f, 1.0f};
    loadTweakSettings(ostrelContent, fd, focus);

    struct Target {
        const char* name;
        const char* field;
        bool integer;
        double value;
    };
    const Target targets[] = {
        {"bloom", "bloomPasses", true, double(ostrelContent.bloomPasses)},
        {"lum", "luminance", false, double(ostrelContent.luminance)},
        {"dof", "dofEnabled", true, double(ostrelContent.dofEnabled)},
        {"fp", "FocusData.fp", false, double(focus.fp)},
        {"fs", "FocusData.fs", false, double(focus.fs)},
        {"r", "FD.M0.w", false, double(fd.M0[3])},
        {"cpx", "FD.CP.x", false, double(fd.CP[0])},
        {"cpy", "FD.CP.y", false, double(fd.CP[1])},
        {"cpz", "FD.CP.z", false, double(fd.CP[2])},
        {"crx", "FD.CR.x", false, double(fd.CR[0])},
        {"cry", "FD.CR.y", false, double(fd.CR[1])},
        {"crz", "FD.CR.z", false, double(fd.CR[2])},
    };

    if (!parsed) {
        std::printf("tweak settings: the %zu-byte blob does not parse; the targets keep their "
                    "start-up values\n",
                    sizeof ostrelContent.tweakBlob);
        for (const Target& t : targets)
            std::printf("  %-18s -> %s = %s\n", t.name, t.field,
                        formatValue(float(t.value)).c_str());
        return;
    }
    std::printf("tweak settings: %d entries in a %zu-byte blob\n", int(table.count),
                sizeof ostrelContent.tweakBlob);
    for (const Target& t : targets) {
        int index = findTweakSetting(table, t.name);
        if (index < 0)
            std::printf("  %-6s %-12s -> %s = ", t.name, "(missing)", t.field);
        else
            std::printf("  %-6s %-12s -> %s = ", t.name,
                        formatValue(table.entries[index].value).c_str(), t.field);
        if (t.integer)
            std::printf("%d\n", int(t.value));
        else
            std::printf("%s\n", formatValue(float(t.value)).c_str());
    }
    // Entries that no target reads.
    for (int i = 0; i < table.count; ++i) {
        bool known = false;
        for (const Target& t : targets) known = known || std::strcmp(t.name, table.entries[i].name) == 0;
        if (!known)
            std::printf("  %-6s %-12s -> (not read)\n", table.entries[i].name,
                        formatValue(table.entries[i].value).c_str());
    }
}

void printSoundtrack() {
    WaveFormat format;
    const char* error = nullptr;
    if (!readWave(ostrelContent.soundtrack, sizeof ostrelContent.soundtrack, format, &error)) {
        std::printf("soundtrack: %zu bytes, not a readable RIFF/WAVE image: %s\n",
                    sizeof ostrelContent.soundtrack, error);
        return;
    }
    std::printf("soundtrack: RIFF/WAVE image of %zu bytes, format %u (%s), %u channels, %u Hz, "
                "%u bits\n",
                sizeof ostrelContent.soundtrack, unsigned(format.formatTag),
                format.formatTag == 1 ? "PCM" : "not PCM", unsigned(format.channels),
                unsigned(format.sampleRate), unsigned(format.bitsPerSample));
    if (format.blockAlign == 0 || format.sampleRate == 0) {
        std::printf("  samples: %u bytes, length unknown (block align or rate is 0)\n",
                    unsigned(format.sampleBytes));
        return;
    }
    unsigned frames = format.sampleBytes / format.blockAlign;
    std::printf("  samples: %u bytes, %u frames, %.3f s%s\n", unsigned(format.sampleBytes),
                frames, double(frames) / format.sampleRate,
                isShowFormat(format) ? "" : " (not the show's 16-bit stereo 44100 Hz PCM)");
}

}  // namespace

int main(int argc, char** argv) {
    bool at = false;
    std::vector<std::string> words;
    OptionParser parser("ostrel-inspect", "[--at ROW [ROW...]]",
                        "Lists the linked content block's tracks, tweak values and soundtrack, "
                        "decoded by the show's\nown code; with --at, the 13 track values at each "
                        "row, one line per row.");
    parser.flag("--at", &at,
                "one line per ROW: the row, then the 13 track values (dofFocusPoint ... "
                "blobEffect,\nTrackData order), each the shortest text of its float");
    parser.positional("ROW", 0, 1 << 20, &words,
                      "a sync row, with --at: 24 rows a second, fractions too (39.5)");
    const int status = parser.parse(argc, argv);
    if (status >= 0) return status;
    if (at != !words.empty())
        return parser.refuse(at ? "--at needs at least one ROW" : "a ROW needs --at before it");
    if (at) {
        // Each row narrowed to a single float, as the frame loop keys it.
        std::vector<float> rows;
        for (const std::string& word : words) {
            double row = 0.0;
            std::string why;
            if (!parseNumber(word, -3.4e38, 3.4e38, false, &row, &why))
                return parser.refuse("row " + why);
            rows.push_back(float(row));
        }
        return printRows(rows);
    }

    ShowTracks tracks;
    if (!loadTracks(tracks)) return 1;
    std::printf("content block: %zu bytes, start render size %g x %g\n", sizeof ostrelContent,
                double(ostrelContent.renderWidth), double(ostrelContent.renderHeight));
    printTracks(tracks.tracks);
    printTweaks();
    printSoundtrack();
    return 0;
}
