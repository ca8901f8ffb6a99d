// encoder.h: the ffmpeg program as the capture's encoder, fed through pipes.
//
// The picture goes to ffmpeg's standard input as YUV4MPEG2 (which carries
// the size, the frame rate, the chroma siting and the limited range), the
// sound on its descriptor 3 as raw 16-bit stereo at 44100 Hz, written by a
// thread of its own so that neither pipe waits on the other. ffmpeg
// encodes H.264 (libx264, 4:2:0, tagged BT.709 limited range) with AAC for
// MP4 or FLAC for Matroska, and writes the file under the name given (the
// caller's temporary name).
//
// ffmpeg runs in a process group of its own: a Ctrl-C on the terminal
// reaches the capture alone, which then ends ffmpeg itself, so ffmpeg never
// finishes a file on its own account; a signal that comes while ffmpeg
// finishes the file ends it too. Its error messages (-loglevel error) go to
// the capture's stderr. Every path is handed to ffmpeg as a plain file
// ("file:" before it), so that a colon in a name is not read as a protocol.
//
// Limits: POSIX only (posix_spawn, pipes).
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

// The signal that stops a capture (0 until one comes): stored by the
// program's handler, which may run on any thread, and read by every thread.
using StopFlag = std::atomic<int>;
static_assert(StopFlag::is_always_lock_free, "a signal handler may store only a lock-free atomic");

// The full path of an executable `name` on PATH; empty if there is none.
std::string findOnPath(const char* name);

enum class Container { mp4, matroska };

struct Encoder {
    pid_t pid = -1;
    int video = -1;  // the write end of ffmpeg's standard input
    std::vector<std::uint8_t> sound;
    std::thread soundFeeder;
};

// The arguments after "ffmpeg" that encode into `path`; quality is x264's
// constant rate factor. Without sound the file holds the picture alone (and
// ffmpeg leaves descriptor 3 unread).
std::vector<std::string> encoderArguments(Container container, int quality, bool sound,
                                          const std::string& path);

// Starts `program` with the arguments and the sound to feed it. False, with
// one line in *error, when it cannot be started.
bool startEncoder(Encoder& encoder, const std::string& program,
                  const std::vector<std::string>& arguments, std::vector<std::uint8_t> sound,
                  std::string* error);

// Ends the picture and waits for ffmpeg. False, with one line in *error,
// unless it exited with status 0; a signal (*stop set) while it waits ends
// ffmpeg at once and gives false.
bool finishEncoder(Encoder& encoder, std::string* error, const StopFlag* stop = nullptr);

// Ends ffmpeg at once (an interrupted or failed capture) and reaps it.
void killEncoder(Encoder& encoder);
// Only the signal, safe while another thread writes to the encoder.
void signalEncoder(const Encoder& encoder);

// Writes all of `bytes` to a descriptor, through short writes and signals.
// False with errno set when the descriptor fails (EPIPE: the reader went),
// and with EINTR when a signal interrupts it and *stop is set.
bool writeAll(int fd, const std::uint8_t* bytes, std::size_t count,
              const StopFlag* stop = nullptr);
