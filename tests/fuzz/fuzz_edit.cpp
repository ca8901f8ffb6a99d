// fuzz_edit.cpp: the edit model and the writer on a track text and a
// list of edits.
//
// Input: byte 0 picks the track (camPosX, or scene with its end-of-show
// check) and how many edits the last bytes hold (8 bytes each); the bytes
// between are the track file's text. Whatever the model accepts, the text
// the writer makes of it reads back as the model's keys, packs as the
// model's key data and keeps the file's comment and blank lines in order;
// a refused edit changes nothing; undoing every step gives back the file
// byte for byte.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "content/edit/model.h"
#include "tests/fuzz/harnesses.h"
#include "tests/support/fake_pages.h"

namespace {

bool sameKeys(const std::vector<SourceKey>& a, const std::vector<SourceKey>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].row != b[i].row || a[i].type != b[i].type ||
            std::memcmp(&a[i].value, &b[i].value, 4) != 0)
            return false;
    return true;
}

// The lines of a text that hold no key (comments, blanks), in order.
std::vector<std::string> otherLines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        end = end == std::string::npos ? text.size() : end + 1;
        std::string line = text.substr(at, end - at);
        const std::size_t body = line.find_first_not_of(" \t\r\n\v\f");
        if (body == std::string::npos || line[body] == '#') {
            // Without its line end: a last line gains one when a key follows.
            while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
            out.push_back(line);
        }
        at = end;
    }
    return out;
}

}  // namespace

int fuzzTrackEdits(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const int track = (data[0] & 0x80) ? int(scene) : int(camPosX);
    std::size_t edits = data[0] % 16;
    if (1 + edits * 8 > size) edits = (size - 1) / 8;
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1 - edits * 8);
    const std::uint8_t* op = data + size - edits * 8;

    fakePages::reset();
    EditModel m;
    std::string error;
    // The other files: empty, but for a scene track that ends the show.
    std::string paths[modelFileCount], texts[modelFileCount];
    for (int f = 0; f < modelFileCount; ++f) paths[f] = "f" + std::to_string(f);
    texts[scene] = "0 -3 step\n";
    texts[track] = text;
    if (!openModelTexts(m, paths, texts, &error)) {
        fuzzCheck(error.rfind(paths[track] + ":", 0) == 0 && error.find('\n') == std::string::npos,
                  "a refused file: one line naming it");
        closeModel(m);
        fakePages::reset();
        return 0;
    }
    const std::vector<SourceKey> original = m.keys[track];
    const std::vector<std::string> others = otherLines(text);
    int steps = 0;
    for (std::size_t e = 0; e < edits; ++e, op += 8) {
        const std::vector<SourceKey> before = m.keys[track];
        const std::uint64_t revision = m.revision;
        const std::vector<SourceKey>& keys = m.keys[track];
        std::int32_t row = std::int16_t(op[2] | op[3] << 8);
        if ((op[1] & 1) && !keys.empty()) row = keys[op[2] % keys.size()].row;
        float value;
        std::memcpy(&value, op + 4, 4);
        if (op[1] & 0x80) value = float(std::int8_t(op[4])) / 4.0f;  // mostly plain numbers
        const std::int32_t type = std::int32_t((op[1] >> 1) & 7) - 1;  // -1 to 6
        const std::int32_t by = std::int8_t(op[5]);
        bool done = false;
        switch (op[0] % 9) {
            case 0: done = setKey(m, track, row, value, type, &error); break;
            case 1: done = insertKey(m, track, row, value, type, &error); break;
            case 2: done = deleteKeys(m, track, {row}, &error); break;
            case 3: done = moveKeys(m, track, {row}, by, &error); break;
            case 4: done = setValue(m, track, row, value, &error); break;
            case 5: done = setInterpolation(m, track, row, type, &error); break;
            case 6: done = shiftKeys(m, row, by, {track}, &error); break;
            case 7: undo(m); continue;
            case 8: redo(m); continue;
        }
        if (!done) {
            fuzzCheck(sameKeys(m.keys[track], before) && m.revision == revision,
                      "a refused edit changes nothing");
            fuzzCheck(!error.empty() && error.find('\n') == std::string::npos,
                      "a refusal is one line");
            continue;
        }
        ++steps;
        const std::string now = fileText(m, track);
        std::vector<SourceKey> read;
        fuzzCheck(parseTrackText(now, paths[track], read, error), "the written text parses");
        fuzzCheck(sameKeys(read, m.keys[track]), "the written text reads back as the model");
        fuzzCheck(packTrackKeys(read) == modelKeyData(m, track), "the model's key data is packed");
        fuzzCheck(modelTracks(m).tracks[track]->keyCount == std::int32_t(read.size()),
                  "the tracks handed back hold the keys");
        for (const SourceKey& k : read) {
            const bool kept = std::find_if(before.begin(), before.end(), [&](const SourceKey& b) {
                                  return b.row == k.row;
                              }) != before.end();
            fuzzCheck(kept || k.row >= 0, "an edit makes no row below 0");
            fuzzCheck(std::isfinite(k.value), "values stay finite");
        }
        fuzzCheck(otherLines(now) == others, "comment and blank lines stay, in order");
    }
    while (undo(m)) {
    }
    fuzzCheck(sameKeys(m.keys[track], original), "undoing every step gives back the keys");
    fuzzCheck(fileText(m, track) == text, "undoing every step gives back the text");
    (void)steps;
    closeModel(m);
    fakePages::reset();
    return 0;
}
