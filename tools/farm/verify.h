// verify.h: what the farm checks with ffprobe and ffmpeg, and the join.
//
// A part is whole when it holds one H.264 stream and nothing else, of the
// settings' size, with exactly the part's frames, the first a key frame.
// The joined output is right when its picture has the plan's frames, frame
// i at i / fps, decodes to the end without an error, and its sound lasts as
// long as the picture and is the soundtrack from the range's first sample:
// in Matroska (FLAC) sample for sample; in MP4 (AAC, lossy) the same length
// within one AAC frame, and what differs from it at least 20 dB below it.
#pragma once

#include <string>

#include "tools/farm/manifest.h"

// Whether ffprobe and ffmpeg are on PATH; false with one line in *why.
bool haveFfmpeg(std::string* why);

bool checkPart(const FarmSettings& s, const FarmPart& p, const std::string& file,
               std::string* why);

// Joins the parts of the work folder and the sound file (WAVE of the whole
// range) into `file` (the output's temporary name; `mp4` chooses MP4 with
// AAC, Matroska with FLAC otherwise), copying the picture.
bool joinParts(const Manifest& m, const std::string& work, const std::string& sound,
               const std::string& file, bool mp4, std::string* why);

// Checks the joined file against the plan and the sound file. A failure
// names the part whose frames are wrong where it can.
bool checkOutput(const Manifest& m, const std::string& file, const std::string& sound, bool mp4,
                 std::string* why);
