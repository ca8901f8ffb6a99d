// verify.cpp: ffprobe's and ffmpeg's view of the parts and of the output.
#include "tools/farm/verify.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>

#include "tools/farm/process.h"
#include "tools/farm/task.h"

namespace {

// Paths go to ffmpeg as file: URLs, so that a name with a colon is a file.
std::string url(const std::string& path) { return "file:" + path; }

std::map<std::string, std::string> keyValues(const std::string& text, int* streams) {
    std::map<std::string, std::string> values;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        if (line.compare(0, eq, "codec_type") == 0 && streams) ++*streams;
        values.emplace(line.substr(0, eq), line.substr(eq + 1));
    }
    return values;
}

std::string firstLine(const std::string& text) {
    const std::size_t end = text.find('\n');
    return text.substr(0, end);
}

// The decoded sound as 16-bit stereo at 44100 Hz.
bool soundOf(const std::string& file, std::string* samples, std::string* why) {
    std::string err;
    const int status = runProgram({"ffmpeg", "-nostdin", "-v", "error", "-i", url(file), "-map",
                                   "0:a:0", "-f", "s16le", "-ac", "2", "-ar", "44100", "-"},
                                  samples, &err);
    if (status == 0) return true;
    *why = "cannot decode the sound of " + file + ": " + firstLine(err);
    return false;
}

std::int16_t sampleAt(const std::string& s, std::size_t i) {
    return std::int16_t(std::uint8_t(s[2 * i]) | std::uint8_t(s[2 * i + 1]) << 8);
}

}  // namespace

bool haveFfmpeg(std::string* why) {
    for (const char* program : {"ffmpeg", "ffprobe"})
        if (findProgram(program).empty()) {
            *why = std::string("checking and joining the parts needs ") + program +
                   ", which is not on PATH (Debian: apt-get install ffmpeg)";
            return false;
        }
    return true;
}

bool checkPart(const FarmSettings& s, const FarmPart& p, const std::string& file,
               std::string* why) {
    const std::string what = partName(p.index) + " (frames " + std::to_string(p.first) + "-" +
                             std::to_string(p.last) + ")";
    if (fileBytes(file) <= 0) {
        *why = what + ": " + file + " is missing or empty";
        return false;
    }
    std::string out, err;
    if (runProgram({"ffprobe", "-v", "error", "-count_packets", "-show_entries",
                    "stream=codec_type,codec_name,width,height,nb_read_packets", "-of",
                    "default=noprint_wrappers=1", url(file)},
                   &out, &err) != 0) {
        *why = what + ": ffprobe cannot read " + file + ": " + firstLine(err);
        return false;
    }
    int streams = 0;
    std::map<std::string, std::string> v = keyValues(out, &streams);
    const std::string frames = std::to_string(p.last - p.first + 1);
    const std::string size = std::to_string(s.width) + "x" + std::to_string(s.height);
    if (streams != 1 || v["codec_type"] != "video" || v["codec_name"] != "h264") {
        *why = what + ": " + file + " is not one H.264 stream alone";
        return false;
    }
    if (v["width"] + "x" + v["height"] != size) {
        *why = what + ": " + file + " is " + v["width"] + "x" + v["height"] + ", not " + size;
        return false;
    }
    if (v["nb_read_packets"] != frames) {
        *why = what + ": " + file + " holds " + v["nb_read_packets"] + " frames, not " + frames;
        return false;
    }
    if (runProgram({"ffprobe", "-v", "error", "-select_streams", "v:0", "-read_intervals",
                    "%+#1", "-show_entries", "packet=flags", "-of", "csv=p=0", url(file)},
                   &out, &err) != 0 ||
        out.empty() || out[0] != 'K') {
        *why = what + ": " + file + " does not start on a key frame";
        return false;
    }
    return true;
}

bool joinParts(const Manifest& m, const std::string& work, const std::string& sound,
               const std::string& file, bool mp4, std::string* why) {
    std::string list;
    for (const FarmPart& p : m.parts) list += "file " + shellQuote(url(partFile(work, p.index))) + "\n";
    const std::string listFile = work + "/parts.txt";
    if (!writeTextAtomic(listFile, list, why)) return false;
    std::vector<std::string> a = {"ffmpeg", "-hide_banner", "-nostdin", "-loglevel", "error",
                                  "-y", "-f", "concat", "-safe", "0", "-i", url(listFile), "-i",
                                  url(sound), "-map", "0:v:0", "-map", "1:a:0", "-c:v", "copy"};
    if (mp4)
        a.insert(a.end(), {"-c:a", "aac", "-b:a", "192k", "-movflags", "+faststart", "-f", "mp4"});
    else
        a.insert(a.end(), {"-c:a", "flac", "-f", "matroska"});
    a.push_back(url(file));
    std::string err;
    const int status = runProgram(a, nullptr, &err);
    if (status == 0) return true;
    *why = "ffmpeg could not join the parts (status " + std::to_string(status) + "): " +
           firstLine(err);
    return false;
}

bool checkOutput(const Manifest& m, const std::string& file, const std::string& sound, bool mp4,
                 std::string* why) {
    const FarmSettings& s = m.settings;
    const std::int64_t count = s.last - s.first + 1;
    std::string out, err;
    if (runProgram({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                    "packet=pts_time", "-of", "csv=p=0", url(file)},
                   &out, &err) != 0) {
        *why = "ffprobe cannot read the joined " + file + ": " + firstLine(err);
        return false;
    }
    std::vector<double> times;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line))
        if (!line.empty()) times.push_back(std::strtod(line.c_str(), nullptr));
    std::sort(times.begin(), times.end());
    const std::int64_t wrong = firstFrameOutOfPlace(times, s.fps, count);
    if (wrong >= 0) {
        const int part = partOfFrame(m, wrong);
        *why = "the joined picture " +
               (std::int64_t(times.size()) != count
                    ? "holds " + std::to_string(times.size()) + " frames, not " +
                          std::to_string(count) + "; the first missing or extra is"
                    : std::string("has")) +
               " frame " + std::to_string(s.first + wrong) +
               (std::int64_t(times.size()) != count ? "" : " out of place") + ", in " +
               partName(part);
        return false;
    }
    if (runProgram({"ffmpeg", "-nostdin", "-v", "error", "-i", url(file), "-f", "null", "-"},
                   nullptr, &err) != 0 ||
        !err.empty()) {
        *why = "ffmpeg does not decode the joined " + file + " to the end without an error: " +
               firstLine(err);
        return false;
    }
    std::string heard, wanted;
    if (!soundOf(file, &heard, why) || !soundOf(sound, &wanted, why)) return false;
    const std::size_t n = heard.size() / 4, expected = wanted.size() / 4;
    const double seconds = double(count) / s.fps;
    if (std::fabs(double(expected) / 44100.0 - seconds) > 1.0 / 44100.0 + 1e-9) {
        *why = "the sound file " + sound + " lasts " + std::to_string(double(expected) / 44100.0) +
               " s, and the picture " + std::to_string(seconds) + " s";
        return false;
    }
    const std::size_t slack = mp4 ? 1024 : 0;
    if (n + slack < expected || n > expected + slack) {
        *why = "the joined sound holds " + std::to_string(n) + " samples, and the picture lasts " +
               std::to_string(expected) + " (" + std::to_string(seconds) + " s)";
        return false;
    }
    const std::size_t common = std::min(n, expected) * 2;
    if (!mp4) {
        for (std::size_t i = 0; i < common; ++i)
            if (heard[2 * i] != wanted[2 * i] || heard[2 * i + 1] != wanted[2 * i + 1]) {
                *why = "the joined sound differs from the soundtrack at sample " +
                       std::to_string(i / 2) + " of the range";
                return false;
            }
        return true;
    }
    double signal = 0, noise = 0;
    for (std::size_t i = 0; i < common; ++i) {
        const double a = sampleAt(wanted, i), b = sampleAt(heard, i);
        signal += a * a;
        noise += (a - b) * (a - b);
    }
    if (signal > 0 && noise * 100.0 > signal) {
        *why = "the joined sound is not the soundtrack from the range's first sample (" +
               std::to_string(10.0 * std::log10(signal / std::max(noise, 1.0))) +
               " dB against it, 20 wanted)";
        return false;
    }
    return true;
}
