// fuzz_sync.cpp: the show's own readers of content bytes: the RIFF/WAVE
// reader, the sync device's key-data decoder with track evaluation, and the
// tweak blob parser.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "sync/sync.h"
#include "sync/tweak.h"
#include "sync/wave.h"
#include "tests/fuzz/harnesses.h"
#include "tests/support/fake_pages.h"

void fuzzCheck(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "fuzz: broken promise: %s\n", what);
    std::abort();
}

// Any bytes as a soundtrack image: either refused with a reason, or the
// samples lie wholly inside the image.
int fuzzWave(const std::uint8_t* data, std::size_t size) {
    WaveFormat format;
    const char* why = nullptr;
    if (!readWave(data, size, format, &why)) {
        fuzzCheck(why != nullptr && *why != 0, "a refused image has a reason");
        return 0;
    }
    fuzzCheck(format.samples >= data && format.samples <= data + size &&
                  format.sampleBytes <= std::size_t(data + size - format.samples),
              "the samples lie inside the image");
    isShowFormat(format);
    return 0;
}

// One byte steering the page allocator (from 0x80 on, the allocation
// (byte & 0x7F) from now is refused), then a track's key data, then rows
// (doubles) to evaluate it at. The content block holds each track's key
// data whole, so the decoder gets as many bytes as the count says; bytes
// the input lacks are zero.
int fuzzTrackKeys(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    fakePages::reset();
    if (data[0] & 0x80) fakePages::refuseAllocation(data[0] & 0x7F);
    const std::uint8_t* input = data + 1;
    const std::size_t length = size - 1;
    const std::size_t whole = 4 + 9 * std::size_t(length ? input[0] : 0);
    std::vector<std::uint8_t> keyData(whole, 0);
    std::memcpy(keyData.data(), input, length < whole ? length : whole);

    SyncDevice* device = createSyncDevice();
    SyncTrack* track = getTrack(device, keyData.data());
    if (device == nullptr) fuzzCheck(track == nullptr, "no device gives no track");
    if (track != nullptr) {
        fuzzCheck(getTrack(device, keyData.data()) == track, "the same key data, the same track");
        fuzzCheck(track->keyCount == 0 || (track->keyCount == keyData[0] && track->keys),
                  "a track has all its keys or none");
        std::vector<double> rows = {-1.0, 0.0, 1e12, -1e12, std::nan(""),
                                    std::numeric_limits<double>::infinity()};
        for (std::int32_t k = 0; k < track->keyCount; ++k) {
            const double r = track->keys[k].row;
            rows.insert(rows.end(), {r, r - 0.5, r + 0.5, std::nextafter(r, 1e300)});
            findKey(track, track->keys[k].row);
        }
        for (std::size_t at = whole; at + 8 <= length; at += 8) {
            double r;
            std::memcpy(&r, input + at, 8);
            rows.push_back(r);
        }
        for (double r : rows) {
            const double v = getTrackValue(track, r);
            (void)float(v);  // narrowed as the frame loop does
        }
    }
    fuzzCheck(fakePages::badReleases() == 0, "only live regions are released");
    fakePages::reset();
    return 0;
}

// Any bytes as the tweak blob: a table within its limits, each name found
// again, and the twelve values read from it.
int fuzzTweakBlob(const std::uint8_t* data, std::size_t size) {
    const std::uint32_t length =
        size > std::numeric_limits<std::uint32_t>::max() ? 0 : std::uint32_t(size);
    TweakSettings table;
    std::memset(&table, 0xA5, sizeof table);  // what the stack may hold
    if (!parseTweakSettings(data, length, table)) {
        fuzzCheck(table.count == 0, "a blob that does not parse leaves no entries");
        return 0;
    }
    fuzzCheck(table.count >= 0 && table.count <= tweakCapacity, "the table holds what it can");
    for (std::int32_t i = 0; i < table.count; ++i) {
        const char* name = table.entries[i].name;
        fuzzCheck(std::memchr(name, 0, sizeof table.entries[i].name) != nullptr,
                  "every name ends inside its entry");
        const std::int32_t found = findTweakSetting(table, name);
        fuzzCheck(found >= 0 && found <= i && !std::strcmp(table.entries[found].name, name),
                  "a name is found at its first entry");
    }
    TweakValues values{};
    fuzzCheck(loadTweakBlob(data, length, values), "a blob that parses loads");
    return 0;
}
