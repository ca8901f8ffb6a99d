// sound.cpp: the soundtrack's samples for the captured frames.
#include "tools/capture/sound.h"

#include <algorithm>
#include <cstring>

#include "sync/wave.h"

namespace {

// Writes `value` little-endian in `bytes` bytes at `at`; returns the next place.
std::size_t put(std::uint8_t* out, std::size_t at, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out[at + std::size_t(i)] = std::uint8_t(value >> (8 * i));
    return at + std::size_t(bytes);
}

std::size_t put(std::uint8_t* out, std::size_t at, const char* tag) {
    std::memcpy(out + at, tag, 4);
    return at + 4;
}

}  // namespace

bool soundOfFrames(const FramePlan& plan, const std::uint8_t* image, std::size_t size,
                   std::vector<std::uint8_t>& sound, std::string* error) {
    WaveFormat format;
    const char* why = nullptr;
    if (!readWave(image, size, format, &why) || !isShowFormat(format)) {
        *error = std::string("sound: the embedded soundtrack is not 16-bit stereo PCM at "
                             "44100 Hz (") + (why ? why : "another format") + ")";
        return false;
    }
    const std::int64_t begin = frameSample(plan.fps, plan.first);
    const std::int64_t end = frameSample(plan.fps, plan.last + 1);
    const std::int64_t silentFrom =
        std::min<std::int64_t>(frameSample(plan.fps, plan.stop),
                               format.sampleBytes / soundFrameBytes);
    sound.assign(std::size_t(end - begin) * soundFrameBytes, 0);
    const std::int64_t copyEnd = std::min(end, silentFrom);
    if (copyEnd > begin)
        std::memcpy(sound.data(), format.samples + begin * soundFrameBytes,
                    std::size_t(copyEnd - begin) * soundFrameBytes);
    return true;
}

std::vector<std::uint8_t> waveHeader(std::size_t dataBytes) {
    std::vector<std::uint8_t> header(44);
    std::uint8_t* h = header.data();
    std::size_t at = put(h, 0, "RIFF");
    at = put(h, at, std::uint32_t(36 + dataBytes), 4);
    at = put(h, at, "WAVE");
    at = put(h, at, "fmt ");
    at = put(h, at, 16, 4);
    at = put(h, at, 1, 2);  // integer PCM
    at = put(h, at, 2, 2);  // channels
    at = put(h, at, std::uint32_t(soundRate), 4);
    at = put(h, at, std::uint32_t(soundRate * soundFrameBytes), 4);
    at = put(h, at, soundFrameBytes, 2);
    at = put(h, at, 16, 2);  // bits per sample
    at = put(h, at, "data");
    put(h, at, std::uint32_t(dataBytes), 4);
    return header;
}
