// ostrel-capture end to end: each output kind read back with ffprobe and
// decoded with ffmpeg against the show drawn by the helper at the same
// moments, the render farm's split and join, a whole show, the refusals
// and the runs that do not finish.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "host/moment.h"
#include "support/run_command.h"
#include "sync/content.h"
#include "sync/wave.h"
#include "tools/common/png.h"

namespace {

const std::string capture = OSTREL_CAPTURE;

// A fresh folder of the test's own.
std::string folder(const char* name) {
    return freshFolder(std::string("ostrel-capture-") + name);
}

int run(const std::string& command, std::string* output = nullptr) {
    std::string text;
    const int status = runCommand(command, text);
    if (output) *output = text;
    return status;
}

// What a command writes on stdout, as bytes.
std::vector<std::uint8_t> bytesOf(const std::string& command) {
    std::vector<std::uint8_t> bytes;
    std::FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr) return bytes;
    std::uint8_t buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + n);
    pclose(pipe);
    return bytes;
}

// ffprobe's entries of one stream ("v:0", "a:0") as key -> value.
std::map<std::string, std::string> probe(const std::string& file, const char* stream) {
    std::string text;
    runCommand("ffprobe -v error -count_frames -select_streams " + std::string(stream) +
                   " -show_entries stream -of default=noprint_wrappers=1 'file:" + file + "'",
               text);
    std::map<std::string, std::string> entries;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(at, end - at);
        const std::size_t eq = line.find('=');
        if (eq != std::string::npos) entries[line.substr(0, eq)] = line.substr(eq + 1);
        at = end + 1;
    }
    return entries;
}

// The show at frames [first, last] at `fps`, drawn by the helper, as RGB.
std::vector<std::vector<std::uint8_t>> showFrames(int w, int h, int fps, int first, int last) {
    static ShowMoment moment;
    static bool opened = false;
    std::string error;
    MomentOptions options;
    options.width = w;
    options.height = h;
    if (!opened) opened = openMoment(moment, ostrelContent, options, &error);
    EXPECT_TRUE(opened) << error;
    std::vector<std::vector<std::uint8_t>> frames;
    std::vector<float> rgba;
    for (int i = first; i <= last; ++i) {
        renderMoment(moment, i * 1000 / fps, i == 0 ? 0 : (i - 1) * 1000 / fps);
        readMoment(moment, rgba);
        frames.emplace_back(std::size_t(w * h * 3));
        momentToRgb(rgba.data(), w, h, frames.back().data());
    }
    return frames;
}

double psnr(const std::uint8_t* a, const std::uint8_t* b, std::size_t n) {
    double sum = 0.0;
    for (std::size_t i = 0; i < n; ++i) sum += (double(a[i]) - b[i]) * (double(a[i]) - b[i]);
    return sum == 0.0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 * double(n) / sum);
}

// Every decoded frame of `file` against the show's frames.
void expectPictureOf(const std::string& file, const std::string& decode,
                     const std::vector<std::vector<std::uint8_t>>& show, double minPsnr) {
    const std::vector<std::uint8_t> rgb =
        bytesOf("ffmpeg -v error -i 'file:" + file + "' " + decode + " -f rawvideo -pix_fmt rgb24 -");
    const std::size_t size = show[0].size();
    ASSERT_EQ(rgb.size(), size * show.size()) << file;
    for (std::size_t i = 0; i < show.size(); ++i)
        EXPECT_GE(psnr(rgb.data() + i * size, show[i].data(), size), minPsnr)
            << file << " frame " << i;
}

// The soundtrack's 16-bit samples [begin, end) (stereo sample frames).
std::vector<std::int16_t> soundtrack(std::int64_t begin, std::int64_t end) {
    WaveFormat format;
    const char* why = nullptr;
    EXPECT_TRUE(readWave(ostrelContent.soundtrack, sizeof ostrelContent.soundtrack, format, &why));
    const auto* samples = reinterpret_cast<const std::int16_t*>(format.samples);
    return std::vector<std::int16_t>(samples + begin * 2, samples + end * 2);
}

std::vector<std::int16_t> decodedSound(const std::string& file) {
    const std::vector<std::uint8_t> bytes =
        bytesOf("ffmpeg -v error -i 'file:" + file + "' -map 0:a -f s16le -ac 2 -ar 44100 -");
    std::vector<std::int16_t> samples(bytes.size() / 2);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = std::int16_t(bytes[2 * i] | bytes[2 * i + 1] << 8);
    return samples;
}

// How far a decoded lossy sound is from the expected one, shifted by `lag`
// sample frames: the error's energy over the sound's.
double soundError(const std::vector<std::int16_t>& decoded, const std::vector<std::int16_t>& want,
                  int lag) {
    double error = 0.0, energy = 0.0;
    for (std::size_t i = 8820; i + 8820 < want.size(); ++i) {
        const double d = double(decoded[i + std::size_t(2 * lag)]) - want[i];
        error += d * d;
        energy += double(want[i]) * want[i];
    }
    return error / energy;
}

// 96 x 54 at 10 fps over 2 s of the show: frames 400-419, samples
// 1764000-1852200 (the drop, with music throughout).
const char* const twoSeconds = " --size 96x54 --fps 10 --from 40000 --to 42000 --quiet";

TEST(Capture, Mp4IsH264AndAacInStepWithTheShow) {
    const std::string dir = folder("mp4"), file = dir + "/show.mp4";
    ASSERT_EQ(run(capture + " -o " + file + twoSeconds), 0);
    auto v = probe(file, "v:0");
    EXPECT_EQ(v["codec_name"], "h264");
    EXPECT_EQ(v["pix_fmt"], "yuv420p");
    EXPECT_EQ(v["width"] + "x" + v["height"], "96x54");
    EXPECT_EQ(v["r_frame_rate"], "10/1");
    EXPECT_EQ(v["nb_read_frames"], "20");
    EXPECT_EQ(v["color_space"] + v["color_primaries"] + v["color_transfer"], "bt709bt709bt709");
    EXPECT_EQ(v["color_range"], "tv");
    EXPECT_EQ(std::stod(v["start_time"]), 0.0);
    auto a = probe(file, "a:0");
    EXPECT_EQ(a["codec_name"], "aac");
    EXPECT_EQ(a["sample_rate"] + "/" + a["channels"], "44100/2");
    EXPECT_EQ(std::stod(a["start_time"]), 0.0);
    EXPECT_NEAR(std::stod(a["duration"]), 2.0, 0.05);
    expectPictureOf(file, "", showFrames(96, 54, 10, 400, 419), 35.0);

    // The sound is the soundtrack's from 40 s, not a frame early or late.
    const std::vector<std::int16_t> decoded = decodedSound(file);
    const std::vector<std::int16_t> want = soundtrack(1764000, 1852200);
    ASSERT_GE(decoded.size(), want.size());
    EXPECT_LT(soundError(decoded, want, 0), 0.05);
    EXPECT_GT(soundError(decoded, want, 4410), 0.5);
}

TEST(Capture, MkvSoundIsTheSoundtrackSampleForSample) {
    const std::string dir = folder("mkv"), file = dir + "/show.mkv";
    ASSERT_EQ(run(capture + " -o " + file + twoSeconds + " --quality 10"), 0);
    auto v = probe(file, "v:0");
    EXPECT_EQ(v["codec_name"], "h264");
    EXPECT_EQ(v["nb_read_frames"], "20");
    EXPECT_EQ(v["color_space"], "bt709");
    auto a = probe(file, "a:0");
    EXPECT_EQ(a["codec_name"], "flac");
    EXPECT_EQ(std::stod(a["start_time"]), 0.0);
    EXPECT_TRUE(decodedSound(file) == soundtrack(1764000, 1852200));
    expectPictureOf(file, "", showFrames(96, 54, 10, 400, 419), 38.0);
}

TEST(Capture, PngSequenceIsTheShowByteForByteAndResumes) {
    const std::string dir = folder("png"), pattern = dir + "/%05d.png";
    ASSERT_EQ(run(capture + " -o " + pattern + twoSeconds), 0);
    const auto show = showFrames(96, 54, 10, 400, 419);
    auto expectFrames = [&] {
        for (int i = 0; i < 20; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "/%05d.png", 400 + i);
            int w = 0, h = 0;
            std::vector<std::uint8_t> rgb;
            std::string error;
            ASSERT_TRUE(png::read(dir + name, w, h, rgb, &error)) << error;
            EXPECT_TRUE(rgb == show[std::size_t(i)]) << name;
        }
    };
    expectFrames();
    EXPECT_NE(access((dir + "/00399.png").c_str(), F_OK), 0);

    // Frames 412 on lost: --resume draws just those, and the same.
    std::string output;
    ASSERT_EQ(run("rm " + dir + "/0041[2-9].png && " + capture + " -o " + pattern +
                      " --size 96x54 --fps 10 --from 40000 --to 42000 --resume",
                  &output),
              0);
    EXPECT_NE(output.find("resuming at frame 412"), std::string::npos) << output;
    EXPECT_NE(output.find("frames 412-419"), std::string::npos) << output;
    expectFrames();
    EXPECT_EQ(run(capture + " -o " + pattern + " --size 64x36 --fps 10 --frames 400-430 --resume",
                  &output),
              1);
    EXPECT_NE(output.find("00400.png is 96 x 54, not 64 x 36"), std::string::npos) << output;
}

TEST(Capture, Yuv4mpegOnStdoutDecodesToTheShow) {
    const std::string dir = folder("y4m"), file = dir + "/show.y4m";
    ASSERT_EQ(run(capture + " -o -" + twoSeconds + " > " + file), 0);
    const std::vector<std::uint8_t> bytes = bytesOf("cat " + file);
    const std::string header = "YUV4MPEG2 W96 H54 F10:1 Ip A1:1 C420jpeg XYSCSS=420JPEG "
                               "XCOLORRANGE=LIMITED\n";
    ASSERT_GT(bytes.size(), header.size());
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + long(header.size())), header);
    EXPECT_EQ(bytes.size(), header.size() + 20 * (6 + 96 * 54 * 3 / 2));
    // YUV4MPEG2 has no field for the matrix: the decoder is told BT.709.
    expectPictureOf(file, "-vf scale=in_color_matrix=bt709", showFrames(96, 54, 10, 400, 419),
                    40.0);
}

TEST(Capture, FarmHalvesJoinedAreTheWholePictureAndSound) {
    const std::string dir = folder("farm");
    const std::string size = " --size 96x54 --fps 10 --quiet";
    ASSERT_EQ(run("mkdir " + dir + "/whole " + dir + "/halves && " + capture + " -o " + dir +
                  "/whole/%04d.png --frames 395-414" + size + " && " + capture + " -o " + dir +
                  "/halves/%04d.png --frames 395-404" + size + " && " + capture + " -o " + dir +
                  "/halves/%04d.png --frames 405-414" + size),
              0);
    std::string output;
    EXPECT_EQ(run("cd " + dir + " && ls halves | wc -l && diff -r whole halves", &output), 0)
        << output;
    EXPECT_EQ(output, "20\n");

    // The README's recipe: Matroska parts, joined without re-encoding, the
    // sound added once.
    ASSERT_EQ(run("cd " + dir + " && " + capture + " -o part-0.mkv --frames 395-404" + size +
                  " && " + capture + " -o part-1.mkv --frames 405-414" + size + " && " +
                  capture + " -o sound.wav --frames 395-414 --fps 10 --quiet && "
                  "printf \"file 'part-0.mkv'\\nfile 'part-1.mkv'\\n\" > parts.txt && "
                  "ffmpeg -v error -f concat -safe 0 -i parts.txt -i sound.wav -map 0:v -map 1:a "
                  "-c:v copy -c:a aac -b:a 192k show.mp4"),
              0);
    const std::string joined = dir + "/show.mp4";
    auto v = probe(joined, "v:0");
    auto a = probe(joined, "a:0");
    EXPECT_EQ(v["nb_read_frames"], "20");
    EXPECT_EQ(std::stod(v["start_time"]), 0.0);
    EXPECT_EQ(std::stod(a["start_time"]), 0.0);
    EXPECT_NEAR(std::stod(a["duration"]), std::stod(v["duration"]), 0.1);
    // Frame i at i / 10 s, none lost or doubled at the join.
    EXPECT_EQ(run("ffprobe -v error -select_streams v -show_entries frame=pts_time -of csv=p=0 " +
                      joined + " | tr -s ',\\n' '  '",
                  &output),
              0);
    EXPECT_EQ(output, "0.000000 0.100000 0.200000 0.300000 0.400000 0.500000 0.600000 0.700000 "
                      "0.800000 0.900000 1.000000 1.100000 1.200000 1.300000 1.400000 1.500000 "
                      "1.600000 1.700000 1.800000 1.900000 ");
    expectPictureOf(joined, "", showFrames(96, 54, 10, 395, 414), 35.0);
    const std::vector<std::int16_t> want = soundtrack(395 * 4410, 415 * 4410);
    const std::vector<std::int16_t> decoded = decodedSound(joined);
    ASSERT_GE(decoded.size(), want.size());
    EXPECT_LT(soundError(decoded, want, 0), 0.05);
}

TEST(Capture, WholeShowLastsWhatTheShowLastsPictureAndSoundTogether) {
    const std::string dir = folder("whole"), file = dir + "/show.mp4";
    ASSERT_EQ(run(capture + " -o " + file + " --size 32x18 --fps 15 --quiet"), 0);
    auto v = probe(file, "v:0");
    auto a = probe(file, "a:0");
    EXPECT_EQ(v["nb_read_frames"], "1522");  // frames 0-1521; 1521 at 101400 ms ends the show
    const double video = std::stod(v["duration"]), sound = std::stod(a["duration"]);
    EXPECT_GE(video, 101.3);
    EXPECT_LE(video, 101.5);
    EXPECT_NEAR(sound, video, 1.0 / 15);
}

TEST(Capture, RefusalsAreOneLineAndNothingWrittenBeforeAFrameIsDrawn) {
    const std::string dir = folder("refusals");
    struct Case {
        std::string command;
        int status;
        std::string says;
    };
    const Case cases[] = {
        {capture + " -o " + dir + "/a.mp4 --fps 0", 2, "--fps: \"0\" is out of range"},
        {capture + " -o " + dir + "/a.mp4 --size 97x54", 2, "even width and height"},
        {capture + " -o " + dir + "/a.mkv --frames 1-2 --from 3", 2, "exclude each other"},
        {capture + " -o " + dir + "/a.png --frames 1-2", 2, "holds one frame"},
        {capture + " -o " + dir + "/a.mp4 --frames 9000-9001", 2, "nothing to capture"},
        {capture + " -o " + dir + "/no/such/a.mp4 --size 96x54", 1,
         "cannot write " + dir + "/no/such/a.mp4"},
        {capture + " -o " + dir + "/no/such/%d.png --size 96x54", 1, "cannot write"},
        {"PATH=/nonexistent " + capture + " -o " + dir + "/a.mkv --size 96x54", 1,
         "needs the ffmpeg program, which is not on PATH: install it"},
    };
    for (const Case& c : cases) {
        std::string output;
        EXPECT_EQ(run(c.command, &output), c.status) << c.command;
        EXPECT_NE(output.find(c.says), std::string::npos) << output;
        EXPECT_EQ(output.find('\n'), output.size() - 1) << output;
    }
    std::string files;
    run("find " + dir + " -type f", &files);
    EXPECT_EQ(files, "");
}

TEST(Capture, InterruptedOrFailingRunsLeaveNoCompleteLookingFile) {
    const std::string dir = folder("faults");
    const std::string frames = " --size 96x54 --fps 10 --frames 0-999";
    // Interrupted once the first frames are in: a non-zero status, no file
    // under the name or the temporary one, and how far it got.
    std::string output;
    for (const char* signal : {"INT", "TERM"}) {
        EXPECT_EQ(run("cd " + dir + " && { " + capture + " -o show.mkv" + frames +
                          " & pid=$!; until [ -e show.mkv.part ]; do sleep 0.2; done; sleep 2; "
                          "kill -" + signal + " $pid; wait $pid; echo status $?; }",
                      &output),
                  0);
        EXPECT_NE(output.find(std::string("interrupted by SIG") + signal), std::string::npos)
            << output;
        EXPECT_NE(output.find("frames written; show.mkv not written"), std::string::npos)
            << output;
        EXPECT_NE(output.find(signal[0] == 'I' ? "status 130" : "status 143"),
                  std::string::npos)
            << output;
        EXPECT_NE(access((dir + "/show.mkv").c_str(), F_OK), 0);
        EXPECT_NE(access((dir + "/show.mkv.part").c_str(), F_OK), 0);
    }
    // A PNG sequence keeps its whole frames and says where to resume.
    EXPECT_EQ(run("cd " + dir + " && { " + capture + " -o '%03d.png'" + frames +
                      " & pid=$!; until [ -e 002.png ]; do sleep 0.2; done; "
                      "kill -TERM $pid; wait $pid; echo status $?; }",
                  &output),
              0);
    EXPECT_NE(output.find("status 143"), std::string::npos) << output;
    const std::size_t at = output.find("--resume goes on from frame ");
    ASSERT_NE(at, std::string::npos) << output;
    const int next = std::atoi(output.c_str() + at + 28);
    EXPECT_GE(next, 3);
    char name[32];
    std::snprintf(name, sizeof name, "/%03d.png", next - 1);
    EXPECT_EQ(access((dir + name).c_str(), F_OK), 0);
    std::snprintf(name, sizeof name, "/%03d.png", next);
    EXPECT_NE(access((dir + name).c_str(), F_OK), 0);

    // An encoder that fails (a stand-in ffmpeg that gives up): status 1.
    EXPECT_EQ(run("cd " + dir + " && mkdir bin && printf '#!/bin/sh\\nhead -c 20000 >/dev/null\\n"
                  "exit 1\\n' > bin/ffmpeg && chmod +x bin/ffmpeg && PATH=$PWD/bin:$PATH " +
                      capture + " -o failed.mp4" + frames,
                  &output),
              1);
    EXPECT_NE(output.find("ffmpeg exited with status 1"), std::string::npos) << output;
    EXPECT_NE(output.find("failed.mp4 not written"), std::string::npos) << output;
    EXPECT_NE(access((dir + "/failed.mp4").c_str(), F_OK), 0);
    EXPECT_NE(access((dir + "/failed.mp4.part").c_str(), F_OK), 0);
}

}  // namespace
