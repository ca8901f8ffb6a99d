// output.cpp: output names, temporary files, and the writers of each kind.
#include "tools/capture/output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "host/moment.h"
#include "tools/capture/colour.h"
#include "tools/capture/sound.h"
#include "tools/common/png.h"

namespace {

bool endsWith(const std::string& s, const char* tail) {
    const std::size_t n = std::strlen(tail);
    return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

// Reads the one %d of a PNG sequence's name into out; %% stands for '%'.
bool parsePattern(const std::string& name, OutputName& out, std::string* why) {
    std::string* part = &out.prefix;
    bool found = false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] != '%') {
            *part += name[i];
            continue;
        }
        if (i + 1 < name.size() && name[i + 1] == '%') {
            *part += '%';
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        const bool zeros = j < name.size() && name[j] == '0';
        int digits = 0;
        while (j < name.size() && name[j] >= '0' && name[j] <= '9' && digits < 100)
            digits = digits * 10 + (name[j++] - '0');
        if (j >= name.size() || name[j] != 'd' || found || digits > 18) {
            *why = "\"" + name + "\": a PNG sequence's name holds one %d (or %05d and the like); "
                   "write %% for a percent sign";
            return false;
        }
        found = true;
        out.zeros = zeros;
        out.digits = digits;
        part = &out.suffix;
        i = j;
    }
    out.kind = found ? OutputKind::pngSequence : OutputKind::png;
    return true;
}

// Creates (or empties) a file; 0, or the errno of the failure.
int createFile(const std::string& path) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return errno;
    close(fd);
    return 0;
}

bool isDirectory(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool writeFile(const std::string& path, const std::vector<std::uint8_t>& a,
               const std::vector<std::uint8_t>& b, std::string* error) {
    const int fd = open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    const bool ok = fd >= 0 && writeAll(fd, a.data(), a.size()) &&
                    writeAll(fd, b.data(), b.size()) && fsync(fd) == 0;
    const int failure = errno;
    if (fd >= 0 && close(fd) != 0 && ok) {
        *error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    if (!ok) *error = "cannot write " + path + ": " + std::strerror(failure);
    return ok;
}

// A file's data on the disk: a name given to a file not yet written out can
// outlive a power cut as an empty file. 0, or the errno of the failure.
int flushFile(const std::string& path, int flags) {
    const int fd = open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0) return errno;
    const int failure = fsync(fd) == 0 ? 0 : errno;
    close(fd);
    return failure;
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// The complete file flushed, renamed, and the rename flushed in its folder.
bool renameDone(const std::string& from, const std::string& to, std::string* error) {
    if (const int failure = flushFile(from, O_RDONLY)) {
        *error = "cannot write " + from + " to the disk: " + std::strerror(failure);
        return false;
    }
    if (std::rename(from.c_str(), to.c_str()) != 0) {
        *error = "cannot rename " + from + " to " + to + ": " + std::strerror(errno);
        return false;
    }
    flushFile(folderOf(to), O_RDONLY | O_DIRECTORY);  // the name lasts; a refusal loses no data
    return true;
}

std::string y4mHeader(const Output& out) {
    return "YUV4MPEG2 W" + std::to_string(out.width) + " H" + std::to_string(out.height) + " F" +
           std::to_string(out.fps) + ":1 Ip A1:1 C420jpeg XYSCSS=420JPEG XCOLORRANGE=LIMITED\n";
}

bool writeText(int fd, const std::string& text, const StopFlag* stop = nullptr) {
    return writeAll(fd, reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), stop);
}

}  // namespace

bool parseOutputName(const std::string& name, OutputName& out, std::string* why) {
    out = OutputName{};
    out.name = name;
    if (name == "-") {
        out.kind = OutputKind::y4m;
    } else if (endsWith(name, ".mp4")) {
        out.kind = OutputKind::mp4;
    } else if (endsWith(name, ".mkv")) {
        out.kind = OutputKind::mkv;
    } else if (endsWith(name, ".wav")) {
        out.kind = OutputKind::wav;
    } else if (endsWith(name, ".png")) {
        return parsePattern(name, out, why);
    } else {
        *why = "\"" + name + "\" names no output kind: .mp4, .mkv, .wav, .png (with %d for a "
               "sequence) or - (YUV4MPEG2 on standard output)";
        return false;
    }
    return true;
}

std::string frameFileName(const OutputName& name, std::int64_t frame) {
    if (name.kind == OutputKind::png) return name.prefix;  // the name with %% read as %
    if (name.kind != OutputKind::pngSequence) return name.name;
    std::string number = std::to_string(frame);
    if (int(number.size()) < name.digits)
        number.insert(0, std::size_t(name.digits) - number.size(), name.zeros ? '0' : ' ');
    return name.prefix + number + name.suffix;
}

bool drawsFrames(OutputKind kind) { return kind != OutputKind::wav; }

bool usesFfmpeg(OutputKind kind) { return kind == OutputKind::mp4 || kind == OutputKind::mkv; }

bool openOutput(Output& out, std::vector<std::uint8_t> sound, std::string* error) {
    const OutputKind kind = out.name.kind;
    if (kind == OutputKind::y4m) {
        if (isatty(STDOUT_FILENO)) {
            *error = "-o - writes YUV4MPEG2 video to standard output, which is a terminal: pipe "
                     "it into a program";
            return false;
        }
        out.stream = STDOUT_FILENO;
        if (writeText(out.stream, y4mHeader(out))) return true;
        *error = std::string("cannot write to standard output: ") + std::strerror(errno);
        return false;
    }
    const std::string file = frameFileName(out.name, out.firstFrame);
    if (isDirectory(file)) {
        *error = "cannot write " + file + ": it is a folder";
        return false;
    }
    std::string ffmpeg;
    if (usesFfmpeg(kind)) {
        ffmpeg = findOnPath("ffmpeg");
        if (ffmpeg.empty()) {
            *error = "writing " + out.name.name + " needs the ffmpeg program, which is not on "
                     "PATH: install it (Debian, Ubuntu: sudo apt-get install ffmpeg), or capture "
                     "a PNG sequence (-o frames/%05d.png) or YUV4MPEG2 (-o -) instead";
            return false;
        }
    }
    if (const int failure = createFile(file + ".part")) {
        *error = "cannot write " + file + " (as " + file + ".part): " + std::strerror(failure);
        return false;
    }
    out.temp = file + ".part";
    if (kind == OutputKind::png || kind == OutputKind::pngSequence) {
        std::remove(out.temp.c_str());
        out.temp.clear();
        return true;
    }
    if (kind == OutputKind::wav) {
        if (writeFile(out.temp, waveOfSound(sound), {}, error)) return true;
        abandonOutput(out);
        return false;
    }
    const Container container = kind == OutputKind::mp4 ? Container::mp4 : Container::matroska;
    if (!startEncoder(out.encoder, ffmpeg,
                      encoderArguments(container, out.quality, out.sound, out.temp),
                      std::move(sound), error) ||
        !writeText(out.encoder.video, y4mHeader(out))) {
        if (error->empty()) *error = std::string("encoder: ") + std::strerror(errno);
        abandonOutput(out);
        return false;
    }
    out.stream = out.encoder.video;
    return true;
}

bool writeFrame(Output& out, std::int64_t frame, const float* rgba, std::string* error) {
    out.rgb.resize(std::size_t(out.width) * std::size_t(out.height) * 3u);
    momentToRgb(rgba, out.width, out.height, out.rgb.data());
    if (out.name.kind == OutputKind::png || out.name.kind == OutputKind::pngSequence) {
        const std::string file = frameFileName(out.name, frame);
        out.temp = file + ".part";
        if (!png::write(out.temp, out.width, out.height, out.rgb, error) ||
            !renameDone(out.temp, file, error))
            return false;
        out.temp.clear();
        return true;
    }
    out.yuv.resize(yuv420Bytes(out.width, out.height));
    rgbToYuv420(out.rgb.data(), out.width, out.height, out.yuv.data());
    if (writeText(out.stream, "FRAME\n", out.stop) &&
        writeAll(out.stream, out.yuv.data(), out.yuv.size(), out.stop))
        return true;
    *error = std::string(out.stream == STDOUT_FILENO ? "cannot write to standard output: "
                                                     : "cannot hand the frame to ffmpeg: ") +
             std::strerror(errno);
    return false;
}

bool finishOutput(Output& out, std::string* error) {
    if (usesFfmpeg(out.name.kind)) {
        out.stream = -1;
        if (!finishEncoder(out.encoder, error, out.stop)) return false;
    }
    if (out.temp.empty()) return true;
    if (out.stop && *out.stop) {
        *error = "interrupted";
        return false;
    }
    if (!renameDone(out.temp, out.name.name, error)) return false;
    out.temp.clear();
    return true;
}

void interruptOutput(const Output& out) { signalEncoder(out.encoder); }

void abandonOutput(Output& out) {
    killEncoder(out.encoder);
    out.stream = -1;
    if (!out.temp.empty()) std::remove(out.temp.c_str());
    out.temp.clear();
}

bool resumeFrom(const Output& out, std::int64_t first, std::int64_t last, std::int64_t* from,
                std::string* error) {
    // Every frame kept is read: after a power cut a frame under its final
    // name can be empty, wherever it lies.
    std::vector<std::uint8_t> rgb;
    std::int64_t i = first;
    for (; i <= last; ++i) {
        const std::string file = frameFileName(out.name, i);
        if (access(file.c_str(), F_OK) != 0) break;
        int w = 0, h = 0;
        std::string why;
        if (png::read(file, w, h, rgb, &why, out.width, out.height)) continue;
        if (w > 0 && h > 0 && (w != out.width || h != out.height)) {
            *error = file + " is " + std::to_string(w) + " x " + std::to_string(h) + ", not " +
                     std::to_string(out.width) + " x " + std::to_string(out.height) +
                     ": resume with the size the sequence was started with";
            return false;
        }
        break;  // damaged: drawn again, and every frame after it
    }
    *from = i;
    return true;
}
