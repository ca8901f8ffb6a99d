// wave.cpp: bounds-checked RIFF/WAVE chunk walk.
#include "sync/wave.h"

#include <cstring>

namespace {

std::uint32_t le32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

std::uint16_t le16(const std::uint8_t* p) { return std::uint16_t(p[0] | p[1] << 8); }

bool fail(const char** error, const char* reason) {
    if (error) *error = reason;
    return false;
}

}  // namespace

bool readWave(const std::uint8_t* image, std::size_t size, WaveFormat& format,
              const char** error) {
    format = WaveFormat{};
    if (image == nullptr || size < 12) return fail(error, "shorter than a RIFF header");
    if (std::memcmp(image, "RIFF", 4) != 0 || std::memcmp(image + 8, "WAVE", 4) != 0)
        return fail(error, "not a RIFF/WAVE image");

    // The chunks end where the RIFF size says, or at the end of the image if
    // that comes first.
    std::size_t end = size;
    std::uint64_t riffEnd = std::uint64_t(le32(image + 4)) + 8;
    if (riffEnd < end) end = std::size_t(riffEnd);

    bool haveFormat = false, haveData = false;
    std::size_t pos = 12;
    while (pos + 8 <= end) {
        const std::uint8_t* chunk = image + pos;
        std::uint64_t chunkSize = le32(chunk + 4);
        std::size_t body = pos + 8;
        if (chunkSize > end - body) return fail(error, "a chunk runs past the end of the image");
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (chunkSize < 16) return fail(error, "\"fmt \" chunk shorter than 16 bytes");
            const std::uint8_t* f = image + body;
            format.formatTag = le16(f);
            format.channels = le16(f + 2);
            format.sampleRate = le32(f + 4);
            format.byteRate = le32(f + 8);
            format.blockAlign = le16(f + 12);
            format.bitsPerSample = le16(f + 14);
            haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0 && !haveData) {
            format.samples = image + body;
            format.sampleBytes = std::uint32_t(chunkSize);
            haveData = true;
        }
        // Odd-sized chunks are followed by one pad byte.
        std::uint64_t next = std::uint64_t(body) + chunkSize + (chunkSize & 1);
        if (next > end) break;
        pos = std::size_t(next);
    }
    if (!haveFormat) return fail(error, "no \"fmt \" chunk");
    if (!haveData) return fail(error, "no \"data\" chunk");
    return true;
}

bool isShowFormat(const WaveFormat& f) {
    return f.formatTag == 1 && f.channels == 2 && f.sampleRate == 44100 &&
           f.bitsPerSample == 16 && f.blockAlign == 4 && f.byteRate == 176400;
}
