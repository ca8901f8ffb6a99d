// ostrel-tracks on a copy of the sources: its commands, the rule that a
// refused command writes nothing in any file, and its statuses.
#include <gtest/gtest.h>

#include <map>

#include "content/edit/model.h"
#include "tests/support/run_command.h"
#include "tests/support/source_copy.h"

namespace {

struct TracksRun {
    SourceCopy copy{OSTREL_SOURCE_DIR};
    std::string output;
    int run(const std::string& arguments) {
        return runCommand(std::string(OSTREL_TOOLS_DIR) + "/ostrel-tracks --source " +
                              copy.root.string() + " " + arguments,
                          output);
    }
    std::map<std::string, std::string> files() const {
        std::map<std::string, std::string> all;
        for (const char* t : trackNames) all[t] = copy.read("content/tracks/" + std::string(t) + ".track");
        all["tweaks"] = copy.read("content/tweaks.txt");
        return all;
    }
};

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        end = end == std::string::npos ? text.size() : end + 1;
        out.push_back(text.substr(at, end - at));
        at = end;
    }
    return out;
}

}  // namespace

TEST(TracksProgram, ShiftMovesExactlyTheKeysAfterTheRowAndBuildsAsTheModelSaid) {
    TracksRun r;
    const auto before = r.files();
    // What the model gives for the same shift, in memory.
    EditModel expected;
    std::string error;
    ASSERT_TRUE(openModel(expected, sourceTree(r.copy.root.string(), ""), &error)) << error;
    ASSERT_TRUE(shiftKeys(expected, 1160, 48, {}, &error)) << error;

    ASSERT_EQ(r.run("shift --from 1160 --by 48"), 0) << r.output;
    EXPECT_NE(r.output.find("scene 2432 -3 step -> 2480 -3 step\n"), std::string::npos) << r.output;
    for (const char* t : trackNames) {
        const std::vector<std::string> was = lines(before.at(t)), now = lines(r.files().at(t));
        ASSERT_EQ(was.size(), now.size()) << t;
        for (std::size_t i = 0; i < was.size(); ++i) {
            const long row = was[i][0] >= '0' && was[i][0] <= '9' ? std::stol(was[i]) : -1;
            if (row < 1160) {
                EXPECT_EQ(now[i], was[i]) << t << ":" << i + 1;
            } else {
                const std::string moved = std::to_string(row + 48);
                EXPECT_EQ(now[i], moved + was[i].substr(moved.size())) << t << ":" << i + 1;
            }
        }
    }
    EXPECT_EQ(r.files().at("tweaks"), before.at("tweaks"));
    ContentPieces pieces;
    ASSERT_TRUE(gatherContent(sourceTree(r.copy.root.string(), OSTREL_SOUNDTRACK_IMAGE), pieces,
                              &error))
        << error;
    for (int t = 0; t < trackCount; ++t)
        EXPECT_EQ(pieces.trackKeys[t], modelKeyData(expected, t)) << trackNames[t];
    closeModel(expected);

    // And the values at a moment, through the show's own frame values.
    ASSERT_EQ(r.run("at r1208"), 0) << r.output;
    EXPECT_NE(r.output.find("\nscene           2.5\n"), std::string::npos) << r.output;
    ASSERT_EQ(r.run("at 102334"), 0) << r.output;  // the music stops 48 rows later
    EXPECT_NE(r.output.find("scene           -1\n"), std::string::npos) << r.output;
    ASSERT_EQ(r.run("at 103334"), 0) << r.output;
    EXPECT_EQ(r.output.rfind("# the tracks at 103334 ms (row 2480.016); the show ends with this "
                             "frame\n", 0), 0u) << r.output;
}

TEST(TracksProgram, CommandsPrintWhatTheyChangeAndARefusalWritesNothing) {
    TracksRun r;
    ASSERT_EQ(r.run("set camPosX 500 180 linear"), 0) << r.output;
    EXPECT_EQ(r.output, "camPosX + 500 180 linear\nsaved " + r.copy.path("content/tracks/camPosX.track") + "\n");
    ASSERT_EQ(r.run("list camPosX"), 0);
    EXPECT_NE(r.output.find("# camPosX\n0 0 linear\n183 -2.5 step\n189 0 step\n500 180 linear\n"),
              std::string::npos)
        << r.output;
    ASSERT_EQ(r.run("move camPosX 500 510"), 0) << r.output;
    ASSERT_EQ(r.run("delete camPosX 510"), 0) << r.output;
    EXPECT_EQ(r.files().at("camPosX"), SourceCopy(OSTREL_SOURCE_DIR).read("content/tracks/camPosX.track"));
    ASSERT_EQ(r.run("key-camera 700 1 2 3 0.5 -0.25 0"), 0) << r.output;
    EXPECT_NE(r.output.find("camRotY + 700 -0.25 "), std::string::npos) << r.output;
    ASSERT_EQ(r.run("tweak lum 0.6"), 0) << r.output;
    EXPECT_NE(r.files().at("tweaks").find("lum    0.6        # BloomData luminance"),
              std::string::npos);

    // Refused edits (status 1) and bad command lines (status 2): no file
    // changes, a shift across 13 files included.
    const auto before = r.files();
    struct Case {
        const char* arguments;
        int status;
        const char* says;
    };
    for (const Case& c : {
             Case{"shift --from 1160 --by -70", 1, "would pass the key at row 1146"},
             Case{"set camPosX 189 nan", 2, "value \"nan\""},
             Case{"set camPosX 189 1 wobble", 2, "unknown interpolation \"wobble\""},
             Case{"set camPosx 189 1", 2, "no track named \"camPosx\""},
             Case{"move camPosX 183 189", 1, "would put it on the key at row 189"},
             Case{"delete scene 2432", 1, "the show would never end"},
             Case{"tweak bogus 1", 1, "no tweak named \"bogus\""},
             Case{"shift --from 1160", 2, "--by N are required"},
             Case{"set camPosX 10 1 --dry-run --frobnicate", 2, "--frobnicate"},
             Case{"jump camPosX", 2, "unknown command \"jump\""},
             Case{"set camPosX 10 1 --dry-run", 0, "would save"},
         }) {
        EXPECT_EQ(r.run(c.arguments), c.status) << c.arguments << "\n" << r.output;
        EXPECT_NE(r.output.find(c.says), std::string::npos) << c.arguments << "\n" << r.output;
        EXPECT_EQ(r.output.rfind("ostrel-tracks", 0) == 0 || c.status == 0, true) << r.output;
        EXPECT_EQ(r.files(), before) << c.arguments;
    }
}
