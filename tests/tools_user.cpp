// The programs beside the show as a user meets them: a mistake is caught
// before any work, in one line that starts with the program's name, with
// status 2, and nothing is written; every program takes the same limits.
// Then the frame files of ostrel-frames (label gl): a comparison follows
// what the file was drawn with, and refuses unlike files before drawing.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "host/moment.h"
#include "sync/content.h"
#include "sync/wave.h"
#include "tests/support/run_command.h"
#include "tools/common/checks.h"
#include "tools/common/png.h"

namespace {

namespace fs = std::filesystem;

std::string tool(const char* name) { return std::string(OSTREL_TOOLS_DIR) + "/" + name; }

// A fresh folder of the test's own.
std::string scratch(const char* name) {
    const std::string dir = ::testing::TempDir() + "ostrel-user-" + name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

struct Refusal {
    const char* program;
    std::string arguments;
    const char* says;  // after "PROGRAM: "
};

void expectRefused(const Refusal& r) {
    std::string output;
    EXPECT_EQ(runCommand(tool(r.program) + " " + r.arguments, output), 2)
        << r.program << " " << r.arguments << "\n" << output;
    const std::string head = std::string(r.program) + ": ";
    EXPECT_EQ(output.rfind(head, 0), 0u) << output;
    EXPECT_EQ(output.find('\n'), output.size() - 1) << "one line:\n" << output;
    EXPECT_NE(output.find(r.says), std::string::npos) << "want \"" << r.says << "\" in\n" << output;
}

TEST(ToolsBeforeTheWork, ShowTimesAreCheckedAgainstTheShowsEnd) {
    ShowTracks tracks;
    std::string why;
    ASSERT_TRUE(loadShowTracks(ostrelContent, tracks, &why)) << why;
    const std::int32_t last = showLastFrame(tracks);
    EXPECT_EQ(last, 101334);  // the first frame at or after 101 334 ms ends the show
    EXPECT_TRUE(showEndsAt(tracks, last));
    EXPECT_FALSE(showEndsAt(tracks, last - 1));
    EXPECT_TRUE(withinShow("--at 0", 0, last, &why));
    EXPECT_TRUE(withinShow("--at", last, last, &why));
    EXPECT_FALSE(withinShow("--at 101335", last + 1, last, &why));
    EXPECT_EQ(why, "--at 101335 is past the show's end: its last frame is at 101334 ms (1:41.334)");
    EXPECT_TRUE(withinShow("--at", 3600000, -1, &why)) << "a show that does not end";

    const std::string dir = scratch("times");
    const char* past = "is past the show's end: its last frame is at 101334 ms (1:41.334)";
    for (const Refusal& r : {
             Refusal{"ostrel-bench", "--time 500000", past},
             Refusal{"ostrel-sheet", "-o " + dir + "/s.png --from 99000 --to 200000", past},
             Refusal{"ostrel-sheet", "-o " + dir + "/s.png --from 200000", past},
             Refusal{"ostrel-sheet", "-o " + dir + "/s.png --times 0,101335", past},
             Refusal{"ostrel-frames", "-o " + dir + "/f.png --times 0,200000", past},
         })
        expectRefused(r);
    EXPECT_TRUE(fs::is_empty(dir)) << "nothing is written";

    // The inspector prints what the tracks hold past the end, and says so.
    std::string output;
    // (runCommand adds stderr to what it reads: braces keep one stream.)
    ASSERT_EQ(runCommand("{ " + tool("ostrel-inspect") + " --at 100 99999 2>/dev/null; }", output), 0);
    EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 2) << output;
    ASSERT_EQ(runCommand("{ " + tool("ostrel-inspect") + " --at 100 99999 >/dev/null; }", output), 0);
    EXPECT_EQ(output, "ostrel-inspect: row 99999 is past the show's end: it ends at row 2432.016 "
                      "(101334 ms, 1:41.334)\n");
}

TEST(ToolsBeforeTheWork, AScaleThatLeavesNoPixelNamesTheSmallestThatWorks) {
    // The smallest scale named works, the value one step below it does not.
    for (const auto& size : {std::pair<int, int>{160, 90}, {1920, 1080}, {7, 3}, {8192, 8192}}) {
        std::string why;
        ASSERT_FALSE(sceneScaleFits(size.first, size.second, 1e-6f, &why));
        const std::string named = why.substr(why.rfind(' ') + 1);
        const float smallest = std::stof(named);
        EXPECT_TRUE(sceneScaleFits(size.first, size.second, smallest, nullptr)) << why;
        const int shorter = std::min(size.first, size.second);
        EXPECT_LT(float(shorter) * smallest, 1.02f) << why << ": not the smallest";
    }
    const char* says = "--scale 0.001 leaves no pixel of the scene pass at 160 x 90; the "
                       "smallest scale that does is 0.0112";
    expectRefused({"ostrel-bench", "--size 160x90 --scale 0.001", says});
    expectRefused({"ostrel-capture", "--size 160x90 --scale 0.001 --render-only --frames 0-0", says});
    expectRefused({"ostrel-studio", "--size 160x90 --scale 0.001", says});
}

TEST(ToolsBeforeTheWork, AnOutputThatCannotBeMadeIsRefusedFirst) {
    const std::string dir = scratch("outputs");
    const std::string missing = dir + "/nodir";
    const char* says = "does not exist";
    for (const Refusal& r : {
             Refusal{"ostrel-sheet", "-o " + missing + "/s.png", says},
             Refusal{"ostrel-frames", "-o " + missing + "/f.png", says},
             Refusal{"ostrel-soundtrack", missing + "/x.wav", says},
             Refusal{"ostrel-sheet", "-o " + dir, "is a folder"},
             Refusal{"ostrel-content-builder",
                     "--out " + missing + " --tracks a --tweaks b --shaders c --soundtrack d",
                     says},
         })
        expectRefused(r);
    EXPECT_TRUE(fs::is_empty(dir));

    // The soundtrack holds what was asked: one second, as a file or on
    // standard output, its summary then on stderr.
    std::string output;
    ASSERT_EQ(runCommand(tool("ostrel-soundtrack") + " --seconds 1 " + dir + "/one.wav", output), 0)
        << output;
    ASSERT_EQ(runCommand("{ " + tool("ostrel-soundtrack") + " --seconds 1 - >" + dir + "/piped.wav; }",
                         output),
              0);
    EXPECT_EQ(output.rfind("ostrel-soundtrack: 1.000 s of music", 0), 0u) << output;
    for (const char* name : {"/one.wav", "/piped.wav"}) {
        std::ifstream in(dir + name, std::ios::binary);
        const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                              std::istreambuf_iterator<char>());
        WaveFormat format;
        const char* error = nullptr;
        ASSERT_TRUE(readWave(bytes.data(), bytes.size(), format, &error)) << name << ": " << error;
        EXPECT_EQ(format.sampleBytes / format.blockAlign, 44100u) << name;
    }
    EXPECT_EQ(fs::file_size(dir + "/one.wav"), fs::file_size(dir + "/piped.wav"));
}

TEST(ToolsBeforeTheWork, OneVoiceAndTheSameLimitsInEveryProgram) {
    for (const char* program :
         {"ostrel-inspect", "ostrel-bench", "ostrel-sheet", "ostrel-frames", "ostrel-capture",
          "ostrel-studio", "ostrel-content-builder", "ostrel-soundtrack"})
        expectRefused({program, "--no-such-option", "unknown option --no-such-option"});
    for (const char* program :
         {"ostrel-bench", "ostrel-sheet", "ostrel-frames", "ostrel-capture", "ostrel-studio"}) {
        expectRefused({program, "--size 8193x8",
                       "option --size: \"8193x8\" is not a size WxH with sides of 1 to 8192"});
        expectRefused({program, "--size 8x8 --size 96x54junk", "is not a size WxH"});
    }
    expectRefused({"ostrel-inspect", "--at 12x", "row \"12x\" is not a number (\"x\" after \"12\")"});
    expectRefused({"ostrel-studio", "--loop 5000-5000",
                   "\"5000-5000\" is not a range A-B of whole numbers 0 to 3600000 with A < B"});
    expectRefused({"ostrel-bench", "--bloom -3", "\"-3\" is out of range (0 to 1000)"});
}

// A frame file drawn now, and what a comparison makes of it.
TEST(ToolsFrameFiles, ACompareFollowsTheFileAndRefusesUnlikeFilesBeforeDrawing) {
    const std::string dir = scratch("frames");
    const std::string file = dir + "/f.png", frames = tool("ostrel-frames");
    std::string output;
    ASSERT_EQ(runCommand(frames + " -o " + file + " --size 16x12 --times 0,48334", output), 0)
        << output;
    EXPECT_EQ(output, "ostrel-frames: 2 frames of 16 x 12 into " + file + "\n");
    // Without options, the file's times, size and depth of field.
    ASSERT_EQ(runCommand(frames + " --compare " + file, output), 0) << output;
    EXPECT_NE(output.find("2 frames of 16 x 12 (depth of field on) against " + file +
                          ": the same picture"),
              std::string::npos)
        << output;
    for (const Refusal& r : {
             Refusal{"ostrel-frames", "--compare " + file + " --times 5000",
                     "holds the show times 0 to 48334 ms (2 times), not --times 5000 ms (1 time)"},
             Refusal{"ostrel-frames", "--compare " + file + " --dof 0", "not --dof 0"},
             Refusal{"ostrel-frames", "--compare " + file + " --size 32x24", "not --size 32x24"},
         })
        expectRefused(r);

    // A file that does not say (cut from a sheet): the count must match.
    int w = 0, h = 0;
    std::vector<std::uint8_t> rgb;
    std::string error;
    ASSERT_TRUE(png::read(file, w, h, rgb, &error)) << error;
    ASSERT_TRUE(png::write(dir + "/plain.png", w, h, rgb, &error)) << error;
    expectRefused({"ostrel-frames", "--compare " + dir + "/plain.png --size 16x12",
                   "holds 2 frames of 16x12, and 0 to 100000 ms (51 times) are asked for"});
    ASSERT_EQ(runCommand(frames + " --compare " + dir + "/plain.png --size 16x12 --times 0,48334",
                         output),
              0)
        << output;
}

}  // namespace
