// The one option parser of every program: what it takes, what it refuses
// (one line naming the option and the value, status 2) and --help; then
// every program of the project answering --help and refusing a bad option.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/run_command.h"
#include "tools/common/options.h"

namespace {

struct Parsed {
    int status;
    std::string error;  // what went to stderr
    std::string out;    // what went to stdout
};

struct Values {
    int every = 2000;
    float scale = 1.0f;
    int width = 0, height = 0;
    std::int64_t first = -1, last = -1;
    std::vector<std::int64_t> times;
    std::string output;
    bool verbose = false;
    std::vector<std::string> rest;
};

Parsed parse(std::vector<std::string> words, Values& v, bool positional = false) {
    OptionParser p("prog", "[options]", "A test program.");
    p.integer("--every", "MS", 1, 3600000, &v.every, "spacing");
    p.number("--scale", "S", 0.0, 1.0, true, &v.scale, "scale");
    p.size("--size", 4096, &v.width, &v.height, "size");
    p.range("--frames", "A-B", 0, 1000000, &v.first, &v.last, "frames");
    p.list("--times", "MS,...", 0, 3600000, &v.times, "times");
    p.text("-o", "FILE", &v.output, "output");
    p.flag("--verbose", &v.verbose, "talk");
    if (positional) p.positional("FILE", 1, 2, &v.rest, "inputs");
    words.insert(words.begin(), "prog");
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(&w[0]);
    ::testing::internal::CaptureStderr();
    ::testing::internal::CaptureStdout();
    const int status = p.parse(int(argv.size()), argv.data());
    const std::string out = ::testing::internal::GetCapturedStdout();
    return {status, ::testing::internal::GetCapturedStderr(), out};
}

TEST(OptionParser, TakesWhatIsWellFormed) {
    Values v;
    Parsed r = parse({"--every", "250", "--scale=0.25", "--size", "96x54", "--frames", "10-19",
                      "--times", "0,2000", "--times=5", "-o", "x.png", "--verbose"},
                     v);
    EXPECT_EQ(r.status, -1) << r.error;
    EXPECT_EQ(v.every, 250);
    EXPECT_EQ(v.scale, 0.25f);
    EXPECT_EQ(v.width, 96);
    EXPECT_EQ(v.height, 54);
    EXPECT_EQ(v.first, 10);
    EXPECT_EQ(v.last, 19);
    EXPECT_EQ(v.times, (std::vector<std::int64_t>{0, 2000, 5}));
    EXPECT_EQ(v.output, "x.png");
    EXPECT_TRUE(v.verbose);

    // Positional words, also after "--" and as negative numbers.
    Values p;
    r = parse({"a.wav", "--", "-b.wav"}, p, true);
    EXPECT_EQ(r.status, -1) << r.error;
    EXPECT_EQ(p.rest, (std::vector<std::string>{"a.wav", "-b.wav"}));
    r = parse({"-3.5"}, p, true);
    EXPECT_EQ(r.status, -1) << r.error;
}

TEST(OptionParser, RefusesWithOneLineNamingTheOptionAndTheValue) {
    const struct {
        std::vector<std::string> words;
        const char* line;
    } cases[] = {
        {{"--every", "2s"}, "prog: option --every: \"2s\" is not a whole number (\"s\" after \"2\")\n"},
        {{"--every", "2.5"}, "prog: option --every: \"2.5\" is not a whole number\n"},
        {{"--every", "0"}, "prog: option --every: \"0\" is out of range (1 to 3600000)\n"},
        {{"--every", "-5"}, "prog: option --every: \"-5\" is out of range (1 to 3600000)\n"},
        {{"--every", " 5"}, "prog: option --every: \" 5\" is not a whole number\n"},
        {{"--every", "99999999999999999999"},
         "prog: option --every: \"99999999999999999999\" is out of range (1 to 3600000)\n"},
        {{"--every"}, "prog: option --every needs a value (MS)\n"},
        {{"--scale", "0"}, "prog: option --scale: \"0\" is out of range (above 0 up to 1)\n"},
        {{"--scale", "nan"}, "prog: option --scale: \"nan\" is not a finite number\n"},
        {{"--scale", "0.5x"}, "prog: option --scale: \"0.5x\" is not a number (\"x\" after \"0.5\")\n"},
        {{"--size", "96x"}, "prog: option --size: \"96x\" is not a size WxH with sides of 1 to 4096\n"},
        {{"--size", "0x54"}, "prog: option --size: \"0x54\" is not a size WxH with sides of 1 to 4096\n"},
        {{"--frames", "20-10"},
         "prog: option --frames: \"20-10\" is not a range A-B of whole numbers 0 to 1000000 with A "
         "<= B\n"},
        {{"--times", "1,x"}, "prog: option --times: in \"1,x\": \"x\" is not a whole number\n"},
        {{"-o", ""}, "prog: option -o: the value is empty\n"},
        {{"--verbose=yes"}, "prog: option --verbose takes no value (given \"yes\")\n"},
        {{"--what"}, "prog: unknown option --what (see --help)\n"},
        {{"stray"}, "prog: unexpected argument \"stray\" (see --help)\n"},
    };
    for (const auto& c : cases) {
        Values v;
        const Parsed r = parse(c.words, v);
        EXPECT_EQ(r.status, 2) << c.line;
        EXPECT_EQ(r.error, c.line);
        EXPECT_EQ(v.every, 2000) << "a refused value must not be stored";
    }
    Values v;
    EXPECT_EQ(parse({}, v, true).error, "prog: missing FILE (see --help)\n");
    EXPECT_EQ(parse({"a", "b", "c"}, v, true).error, "prog: unexpected argument \"c\" (see --help)\n");
}

TEST(OptionParser, HelpListsEveryOptionAndExitsZero) {
    Values v;
    const Parsed r = parse({"--every", "5", "--help", "--what"}, v);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.error, "");
    EXPECT_EQ(r.out.rfind("usage: prog [options]\n", 0), 0u) << r.out;
    for (const char* shown : {"--every MS", "--scale S", "--size WxH", "--frames A-B",
                              "--times MS,...", "-o FILE", "--verbose", "--help"})
        EXPECT_NE(r.out.find(shown), std::string::npos) << shown << " in\n" << r.out;
}

TEST(OptionParser, EveryProgramAnswersHelpAndRefusesABadOption) {
    for (const char* program : {"ostrel-inspect", "ostrel-bench", "ostrel-sheet",
                                "ostrel-content-builder", "ostrel-soundtrack"}) {
        const std::string path = std::string(OSTREL_TOOLS_DIR) + "/" + program;
        std::string output;
        EXPECT_EQ(runCommand(path + " --help", output), 0) << program;
        EXPECT_EQ(output.rfind(std::string("usage: ") + program, 0), 0u) << output;
        EXPECT_EQ(runCommand(path + " --no-such-option", output), 2) << program;
        EXPECT_EQ(output, std::string(program) + ": unknown option --no-such-option (see --help)\n");
    }
}

}  // namespace
