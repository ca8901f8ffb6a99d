// wav_writer.h: the soundtrack's RIFF/WAVE image, chunk by chunk.
//
// The image always has the same arrangement: "RIFF", a "JUNK" chunk of 28
// zero bytes, "fmt " (16 bytes: 16-bit stereo PCM at 44100 Hz), "data" with
// the interleaved samples (left, then right), and an "iXML" chunk of 2,002
// bytes holding a small XML document about the show's soundtrack. The chunk
// sizes add up to the RIFF size.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr std::uint32_t soundtrackSampleRate = 44100;
constexpr std::uint32_t soundtrackFrames = 7422523;  // 168.311 s
constexpr std::uint32_t soundtrackIxmlBytes = 2002;

// The iXML document, padded with blanks to exactly soundtrackIxmlBytes.
std::string soundtrackIxml();

// The whole image for `frames` stereo frames of interleaved samples.
std::vector<std::uint8_t> buildWaveImage(const std::int16_t* interleaved, std::uint32_t frames);

// Writes the image to a file (as PATH.part, renamed once complete), or to
// standard output for "-"; false (and a reason in error) on failure.
bool writeWaveFile(const std::string& path, const std::vector<std::uint8_t>& image,
                   std::string& error);
