// sound.cpp: the soundtrack's samples for the captured frames.
#include "tools/capture/sound.h"

#include <algorithm>
#include <cstring>

#include "content/wav_writer.h"
#include "sync/wave.h"

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

std::vector<std::uint8_t> waveOfSound(const std::vector<std::uint8_t>& sound) {
    std::vector<std::int16_t> samples(sound.size() / 2);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = std::int16_t(sound[2 * i] | sound[2 * i + 1] << 8);
    return buildWaveImage(samples.data(), std::uint32_t(sound.size() / soundFrameBytes));
}
