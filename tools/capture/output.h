// output.h: where a capture goes, chosen by the output's name.
//
//   NAME.mp4        H.264 (4:2:0) and AAC, through the ffmpeg program
//   NAME.mkv        H.264 (4:2:0) and FLAC: the sound sample for sample
//   NAME%05d.png    one PNG a frame, numbered by frame (%d, %05d, ...)
//   NAME.png        one PNG, for a capture of one frame
//   NAME.wav        the sound alone; nothing is drawn
//   -               YUV4MPEG2 on standard output, no sound
//
// The video is BT.709 limited range (tools/capture/colour.h); in MP4 and
// Matroska it is tagged so, and YUV4MPEG2 carries the limited range (it has
// no field for the matrix).
//
// Files are written under a temporary name, the final name with ".part"
// added (each PNG of a sequence too), flushed to the disk and renamed when
// complete: an interrupted or failed capture, or a power cut, leaves no
// file that looks complete.
// openOutput does what can fail before a frame is drawn: finding ffmpeg on
// PATH, creating the file, starting the encoder.
//
// The frames reach writeFrame in order, on one thread (not the renderer's);
// openOutput, finishOutput and abandonOutput run on the renderer's.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/capture/encoder.h"

enum class OutputKind { mp4, mkv, pngSequence, png, wav, y4m };

struct OutputName {
    OutputKind kind;
    std::string name;
    // A PNG sequence's name: prefix, the number (zero-padded to `digits`
    // when `zeros`), suffix.
    std::string prefix, suffix;
    int digits = 0;
    bool zeros = false;
};

// Reads the kind from the name. False, with the reason in *why, for a name
// of no kind or a pattern with anything but one %d (%% for a percent sign).
bool parseOutputName(const std::string& name, OutputName& out, std::string* why);

// The file of a frame: the sequence's name for the frame number, the one
// PNG's name (%% read as %), or the name.
std::string frameFileName(const OutputName& name, std::int64_t frame);

// Whether the kind draws frames, and whether it is encoded by ffmpeg.
bool drawsFrames(OutputKind kind);
bool usesFfmpeg(OutputKind kind);

struct Output {
    OutputName name;
    int width = 0, height = 0, fps = 0;
    int quality = 18;
    bool sound = true;            // MP4 and Matroska: false writes the picture alone
    std::int64_t firstFrame = 0;  // the frame a PNG file name check is made with
    std::string temp;             // the file being written, until it is complete
    int stream = -1;              // YUV4MPEG2: standard output or ffmpeg's input
    Encoder encoder;
    std::vector<std::uint8_t> rgb, yuv;  // work buffers of writeFrame
    const StopFlag* stop = nullptr;      // set: a write or a wait gives up
};

// Creates what the capture writes into and starts the encoder with the
// sound. False, with one line in *error; nothing is left behind then.
bool openOutput(Output& out, std::vector<std::uint8_t> sound, std::string* error);

// One frame, RGBA floats bottom row first as read back. False, with one line
// in *error, when it cannot be written.
bool writeFrame(Output& out, std::int64_t frame, const float* rgba, std::string* error);

// Completes the output under its final name; false, with nothing renamed,
// when *out.stop is set before the rename.
bool finishOutput(Output& out, std::string* error);

// Ends an encoder at once; another thread may be writing to it.
void interruptOutput(const Output& out);

// Stops what runs and removes what is incomplete.
void abandonOutput(Output& out);

// Where a PNG sequence goes on from: the first frame in [first, last] with
// no file, or whose file does not read as a PNG of the capture's size (it
// is drawn again, and every frame after it). False, with one line in
// *error, when a file is a PNG of another size.
bool resumeFrom(const Output& out, std::int64_t first, std::int64_t last, std::int64_t* from,
                std::string* error);
