// wave.h: reading a RIFF/WAVE image that lies in memory.
//
// The soundtrack travels inside the content block as a complete RIFF/WAVE
// file. This reader walks its chunks without trusting any size it finds: it
// never reads past the image, skips chunks it does not need ("JUNK", "iXML"
// and any other), honours the pad byte after an odd-sized chunk, and hands
// back where the samples lie inside the image, without copying them. The
// audio players of the hosts and the content builder both use it.
#pragma once

#include <cstddef>
#include <cstdint>

struct WaveFormat {
    std::uint16_t formatTag = 0;  // 1: integer PCM
    std::uint16_t channels = 0;
    std::uint32_t sampleRate = 0;
    std::uint32_t byteRate = 0;
    std::uint16_t blockAlign = 0;
    std::uint16_t bitsPerSample = 0;
    const std::uint8_t* samples = nullptr;  // the "data" chunk's payload, inside the image
    std::uint32_t sampleBytes = 0;
};

// Reads the image's "fmt " and "data" chunks. Returns false, with a short
// reason in *error, when the image is not a well-formed RIFF/WAVE file
// (truncated, a chunk running past the end, no "fmt " or no "data").
bool readWave(const std::uint8_t* image, std::size_t size, WaveFormat& format,
              const char** error);

// True when the format is the show's: 16-bit stereo integer PCM at 44100 Hz.
bool isShowFormat(const WaveFormat& format);
