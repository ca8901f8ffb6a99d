// ostrel-farm's plain logic: parts, the manifest, resume and settings
// rules, the checks' arithmetic, and the task script run by sh against a
// stand-in for ostrel-capture.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/run_command.h"
#include "tools/farm/manifest.h"
#include "tools/farm/task.h"

namespace {

Manifest farmSample() {
    Manifest m;
    m.output = "/data/show.mp4";
    m.capture = "/opt/bin/ostrel-capture";
    m.scheduler = "slurm";
    m.settings.width = 320;
    m.settings.height = 180;
    m.settings.first = 10;
    m.settings.last = 1234;
    m.settings.perPart = 500;
    m.settings.scale = "0.25";
    m.parts = planParts(10, 1234, 500);
    return m;
}

TEST(FarmPlan, PartsCoverTheRangeOnceAndTheManifestReadsBack) {
    for (const auto& c : std::vector<std::vector<std::int64_t>>{
             {0, 6081, 500}, {10, 1234, 500}, {7, 7, 3}, {0, 99, 100}, {0, 100, 100}, {5, 9, 1}}) {
        const std::vector<FarmPart> parts = planParts(c[0], c[1], c[2]);
        std::int64_t next = c[0];
        for (const FarmPart& p : parts) {
            EXPECT_EQ(p.first, next);
            EXPECT_LE(p.last - p.first + 1, c[2]);
            EXPECT_GE(p.last, p.first);
            next = p.last + 1;
        }
        EXPECT_EQ(next, c[1] + 1) << c[0] << "-" << c[1] << " by " << c[2];
    }
    EXPECT_EQ(planParts(0, 6081, 500).size(), 13u);
    // --parts N gives at most N parts, all but the last of one size.
    for (std::int64_t n : {1, 3, 4, 7, 13, 6082})
        EXPECT_LE(std::int64_t(planParts(0, 6081, framesPerPart(0, 6081, n)).size()), n);

    // Parts that last whole milliseconds, so that joins add no drift.
    for (int fps : {60, 30, 24, 25, 7, 240, 1})
        for (std::int64_t n : {1, 100, 500, 501, 1000}) {
            const std::int64_t p = alignedPerPart(n, fps);
            EXPECT_GE(p, n);
            EXPECT_LT(p - n, fps);
            EXPECT_EQ(p * 1000 % fps, 0) << p << " frames at " << fps << " fps";
        }
    EXPECT_EQ(alignedPerPart(500, 60), 501);
    EXPECT_EQ(alignedPerPart(500, 25), 500);

    Manifest m = farmSample();
    m.round = 4;
    m.parts[1].state = PartState::done;
    m.parts[1].tries = 2;
    m.parts[1].round = 3;
    m.parts[1].job = "41";
    m.parts[1].bytes = 123456;
    Manifest back;
    std::string why;
    ASSERT_TRUE(parseManifest(manifestText(m), back, &why)) << why;
    EXPECT_EQ(manifestText(back), manifestText(m));
    EXPECT_EQ(back.parts[1].job, "41");
    EXPECT_EQ(back.settings.scale, "0.25");

    // A manifest whose parts do not cover its frames, or with a line it
    // does not know, is refused rather than half read.
    std::string text = manifestText(m);
    std::string edited = text;
    edited.replace(edited.find("part 1 510-1009"), 15, "part 1 511-1009");
    EXPECT_FALSE(parseManifest(edited, back, &why));
    EXPECT_NE(why.find("do not cover"), std::string::npos) << why;
    EXPECT_FALSE(parseManifest(text + "colour red\n", back, &why));
    EXPECT_FALSE(parseManifest("frames 0-10\n", back, &why));
    EXPECT_FALSE(parseManifest(text.substr(0, text.find("part 0")), back, &why));
}

TEST(FarmPlan, ResumeKeepsOnlyVerifiedPartsAndTriesRunOut) {
    Manifest m = farmSample();
    for (FarmPart& p : m.parts) p.tries = 3;
    m.parts[0].state = PartState::done;  // still the file checked
    m.parts[0].bytes = 1000;
    m.parts[1].state = PartState::done;  // rewritten since
    m.parts[1].bytes = 1000;
    m.parts[2].state = PartState::failed;
    std::vector<PartFacts> facts(3);
    facts[0] = {true, 1000};
    facts[1] = {true, 999};
    facts[2] = {true, 1000};
    resumeParts(m, facts);
    EXPECT_EQ(m.parts[0].state, PartState::done);
    EXPECT_EQ(m.parts[1].state, PartState::pending);
    EXPECT_EQ(m.parts[2].state, PartState::pending);
    for (const FarmPart& p : m.parts) EXPECT_EQ(p.tries, 0);
    // A part verified done whose file went is captured again.
    facts[0] = {false, -1};
    resumeParts(m, facts);
    EXPECT_EQ(m.parts[0].state, PartState::pending);

    FarmPart p;
    p.tries = 1;
    endTry(p, false, 2);
    EXPECT_EQ(p.state, PartState::pending);
    p.tries = 2;
    endTry(p, false, 2);
    EXPECT_EQ(p.state, PartState::failed);
    endTry(p, true, 2);
    EXPECT_EQ(p.state, PartState::done);
}

TEST(FarmPlan, AChangedSettingIsRefusedByName) {
    const FarmSettings a = farmSample().settings;
    EXPECT_EQ(settingsDifference(a, a), "");
    FarmSettings b = a;
    b.width = 640;
    EXPECT_EQ(settingsDifference(a, b), "--size 320x180 (the folder's) and not 640x180");
    b = a;
    b.fps = 30;
    EXPECT_NE(settingsDifference(a, b).find("--fps 60"), std::string::npos);
    b = a;
    b.scale = "1";
    EXPECT_NE(settingsDifference(a, b).find("--scale 0.25"), std::string::npos);
    b = a;
    b.quality = 0;
    EXPECT_NE(settingsDifference(a, b).find("--quality"), std::string::npos);
    b = a;
    b.last = 1233;
    EXPECT_NE(settingsDifference(a, b).find("frames 10-1234"), std::string::npos);
    b = a;
    b.perPart = 250;
    EXPECT_NE(settingsDifference(a, b).find("--frames-per-part"), std::string::npos);
}

TEST(FarmPlan, ChecksFindTheFrameOutOfPlaceAndItsPart) {
    // Matroska's whole milliseconds pass; a frame a frame late, one
    // missing or one extra is found.
    std::vector<double> t;
    for (int i = 0; i < 1225; ++i) t.push_back(double((i * 1000 + 30) / 60) / 1000.0);
    EXPECT_EQ(firstFrameOutOfPlace(t, 60, 1225), -1);
    std::vector<double> late = t;
    for (std::size_t i = 700; i < late.size(); ++i) late[i] += 1.0 / 60;
    EXPECT_EQ(firstFrameOutOfPlace(late, 60, 1225), 700);
    EXPECT_EQ(firstFrameOutOfPlace(std::vector<double>(t.begin(), t.end() - 1), 60, 1225), 1224);
    EXPECT_EQ(firstFrameOutOfPlace(t, 60, 1224), 1224);
    const Manifest m = farmSample();  // parts from frame 10, 500 a part
    EXPECT_EQ(partOfFrame(m, 499), 0);
    EXPECT_EQ(partOfFrame(m, 500), 1);
    EXPECT_EQ(partOfFrame(m, 700), 1);
    EXPECT_EQ(partOfFrame(m, 1224), 2);

    CapturePlan plan;
    std::string why;
    ASSERT_TRUE(parseCapturePlan("frames: 508\nfirst frame: 0\nlast frame: 507\nshow's last "
                                 "frame: 507\nsound samples: 0 to 4480560\n",
                                 plan, &why));
    EXPECT_EQ(plan.last, 507);
    EXPECT_EQ(plan.soundEnd, 4480560);
    EXPECT_FALSE(parseCapturePlan("frames: 508\n", plan, &why));
    EXPECT_EQ(framesInLog("ostrel-capture: 10% (frame 5 of 50), 1 fps\n"
                          "ostrel-capture: 20% (frame 10 of 50), 1 fps\n"),
              10);

    // A submitted part runs once its task has started (its frames known),
    // and is queued before.
    Manifest running = farmSample();
    running.parts[0].state = PartState::done;
    running.parts[1].state = PartState::running;
    running.parts[2].state = PartState::running;
    FarmCounts c = countParts(running, {-1, 120, -1});
    EXPECT_EQ(c.framesDone, 620);
    EXPECT_EQ(c.queued, 1);
    // 620 frames done in this run over 62 s: 605 left at 10 a second.
    EXPECT_EQ(progressLine(c, 620, 62.0, false),
              "620 of 1225 frames, 1 of 3 parts done, 1 running, 1 queued, 0 failed, 1:01 left");
    running.parts[2].state = PartState::pending;
    c = countParts(running, {});
    EXPECT_EQ(c.queued + c.pending, 2);
    EXPECT_EQ(c.framesDone, 500);
}

// The task script as the schedulers run it, with a stand-in capture that
// writes its arguments and exits with the status asked for.
TEST(FarmTask, ScriptChecksTheMarkerAndCaptureAndRecordsTheStatus) {
    const std::string dir = freshFolder("ostrel-farm-task");
    std::string out;
    ASSERT_EQ(runCommand("mkdir -p '" + dir + "/records' '" + dir +
                             "/logs' '" + dir + "/parts'",
                         out),
              0);
    const std::string fake = dir + "/capture";
    ASSERT_EQ(runCommand("printf '#!/bin/sh\\necho \"$@\" > \"" + dir +
                             "/args\"\\nexit 3\\n' > '" + fake + "' && chmod +x '" + fake + "'",
                         out),
              0);
    Manifest m = farmSample();
    m.capture = fake;
    m.settings.scale = "0.5";
    auto write = [&](const std::string& name, const std::string& text) {
        std::FILE* f = std::fopen((dir + "/" + name).c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fputs(text.c_str(), f);
        std::fclose(f);
    };
    write("task.sh", taskScript(m, dir, "token-1"));
    // No marker: the folder is not the one submitted from; nothing recorded.
    EXPECT_EQ(runCommand("sh '" + dir + "/task.sh' 5 2", out), markerMissingStatus) << out;
    EXPECT_NE(out.find("no marker"), std::string::npos) << out;
    write("marker", "token-1");
    // The last part ends with the range; the capture's status is recorded.
    EXPECT_EQ(runCommand("SLURM_ARRAY_TASK_ID=2 sh '" + dir + "/task.sh' 5", out), 3) << out;
    std::string args, end;
    runCommand("cat '" + dir + "/args'", args);
    EXPECT_EQ(args, "-o " + dir + "/parts/part-002.mkv --no-sound --size 320x180 --fps 60 "
                    "--scale 0.5 --quality 18 --frames 1010-1234\n");
    runCommand("cat '" + recordFile(dir, 2, 5, "end") + "'", end);
    TaskRecord r;
    readRecord(end, r);
    EXPECT_TRUE(r.ended);
    EXPECT_EQ(r.status, 3);
    runCommand("cat '" + recordFile(dir, 2, 5, "start") + "'", end);
    readRecord(end, r);
    EXPECT_FALSE(r.host.empty());
    // ostrel-capture missing on the node: status 98 and a record saying so.
    runCommand("rm '" + fake + "'", out);
    EXPECT_EQ(runCommand("sh '" + dir + "/task.sh' 6 0", out), captureMissingStatus);
    runCommand("cat '" + recordFile(dir, 0, 6, "end") + "'", end);
    TaskRecord missing;
    readRecord(end, missing);
    EXPECT_EQ(missing.status, captureMissingStatus);
    EXPECT_NE(missing.error.find(fake), std::string::npos) << end;
}

}  // namespace
