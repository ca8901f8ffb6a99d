// sound.h: the capture's sound: the embedded soundtrack's samples for a
// range of frames, and a WAVE file of them.
//
// The sound of frames [first, last] is samples [frameSample(first),
// frameSample(last + 1)) of the soundtrack: 16-bit stereo at 44100 Hz,
// interleaved left then right, little-endian. Past the end of the
// soundtrack's data, and from the frame that stops the soundtrack on, it
// is silence.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/capture/plan.h"

inline constexpr int soundFrameBytes = 4;  // one stereo sample frame

// The sound of the plan's frames, from the soundtrack's RIFF/WAVE image.
// False, with one line in *error, when the image is not the show's format.
bool soundOfFrames(const FramePlan& plan, const std::uint8_t* image, std::size_t size,
                   std::vector<std::uint8_t>& sound, std::string* error);

// A RIFF/WAVE image of such sound, laid out as the soundtrack's own image.
std::vector<std::uint8_t> waveOfSound(const std::vector<std::uint8_t>& sound);
