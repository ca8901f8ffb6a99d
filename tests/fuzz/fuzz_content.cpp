// fuzz_content.cpp: the content step's text parsers: track files and the
// tweak file (each checked by packing what it read and decoding that with
// the show's own readers), and the soundtrack's score.
#include <cstring>
#include <string>
#include <vector>

#include "content/builder/assets.h"
#include "content/score/score.h"
#include "sync/sync.h"
#include "sync/tweak.h"
#include "tests/fuzz/harnesses.h"
#include "tests/support/fake_pages.h"

namespace {

bool refusedWithLine(const std::string& error, const char* file) {
    return error.rfind(file, 0) == 0 && error.find('\n') == std::string::npos;
}

}  // namespace

// A track file: refused with "file:line: fault", or keys that the show
// decodes back exactly from their packed bytes.
int fuzzTrackText(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<SourceKey> keys;
    std::string error;
    if (!parseTrackText(text, "f.track", keys, error)) {
        fuzzCheck(refusedWithLine(error, "f.track:"), "one line naming the file");
        return 0;
    }
    fuzzCheck(keys.size() <= std::size_t(maxTrackKeys), "at most 255 keys");
    const std::vector<std::uint8_t> packed = packTrackKeys(keys);
    fakePages::reset();
    SyncTrack track{packed.data(), nullptr, 0};
    if (!keys.empty()) fuzzCheck(loadTrackKeys(nullptr, &track) == 0, "packed keys decode");
    fuzzCheck(track.keyCount == std::int32_t(keys.size()), "every key decoded");
    for (std::size_t k = 0; k < keys.size(); ++k) {
        fuzzCheck(track.keys[k].row == keys[k].row && track.keys[k].type == keys[k].type &&
                      !std::memcmp(&track.keys[k].value, &keys[k].value, 4),
                  "a decoded key is the key written");
        fuzzCheck(k == 0 || keys[k].row > keys[k - 1].row, "rows strictly increase");
        fuzzCheck(findKey(&track, keys[k].row) == std::int32_t(k), "each key is found at its row");
    }
    fakePages::reset();
    return 0;
}

// The tweak file: refused with one line, or entries that the show's blob
// parser reads back in order, names and values bit for bit.
int fuzzTweakText(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<SourceTweak> tweaks;
    std::string error;
    if (!parseTweakText(text, "t.txt", tweaks, error)) {
        fuzzCheck(refusedWithLine(error, "t.txt:"), "one line naming the file");
        return 0;
    }
    const std::vector<std::uint8_t> blob = packTweaks(tweaks);
    TweakSettings table;
    fuzzCheck(parseTweakSettings(blob.data(), std::uint32_t(blob.size()), table),
              "a packed blob parses");
    fuzzCheck(table.count == std::int32_t(tweaks.size()), "every entry read back");
    for (std::size_t i = 0; i < tweaks.size(); ++i)
        fuzzCheck(tweaks[i].name == table.entries[i].name &&
                      !std::memcmp(&tweaks[i].value, &table.entries[i].value, 4),
                  "an entry read back is the entry written");
    return 0;
}

// A score: refused with "LINE: fault", or a piece whose sections run in
// order and whose notes lie inside the music.
int fuzzScore(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    score::Score parsed;
    std::string error;
    if (!score::parseScore(text, parsed, error)) {
        fuzzCheck(!error.empty() && error.find('\n') == std::string::npos &&
                      error[0] >= '0' && error[0] <= '9',
                  "one line starting with the line number");
        return 0;
    }
    for (std::size_t i = 1; i < parsed.sections.size(); ++i)
        fuzzCheck(parsed.sections[i].start >= parsed.sections[i - 1].start,
                  "sections in order");
    return 0;
}
