// brevan --headless --break ADDR: the monitor's view of the stop on stdout.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "headless_run.h"
#include "host/headless/headless.h"

namespace {

struct result {
    int code;
    std::vector<std::string> lines;
};

result run(std::vector<std::string> args)
{
    testing::internal::CaptureStdout();
    const int code = headless_run(std::move(args));
    std::istringstream out(testing::internal::GetCapturedStdout());
    result r{code, {}};
    for (std::string line; std::getline(out, line);) r.lines.push_back(line);
    return r;
}

TEST(HeadlessBreak, StopsAtTheAddressAndPrintsTheDumpAndTenInstructions)
{
    // The firmware's frame interrupt handler runs in the first frames.
    const result r = run({"--headless", "--frames", "50", "--break", "0066"});
    ASSERT_EQ(r.code, 0);
    ASSERT_EQ(r.lines.size(), 13u);
    EXPECT_EQ(r.lines[0].substr(0, 3), "AF:");
    EXPECT_NE(r.lines[0].find(",IP:0066,"), std::string::npos) << r.lines[0];
    EXPECT_NE(r.lines[1].find(",BP:0066(ON ),FL:"), std::string::npos) << r.lines[1];
    EXPECT_EQ(r.lines[2].substr(0, 7), "TCOUNT:");
    EXPECT_EQ(r.lines[3].substr(0, 6), " 0066 ");
    for (size_t i = 4; i < r.lines.size(); ++i) EXPECT_EQ(r.lines[i].substr(0, 1), " ") << r.lines[i];
}

TEST(HeadlessBreak, FramesRunningOutFirstAndBadAddressesAreReported)
{
    const result missed = run({"--headless", "--frames", "3", "--break", "0xFFF0"});
    EXPECT_EQ(missed.code, 4);
    ASSERT_EQ(missed.lines.size(), 13u);   // the view where the run ended
    EXPECT_EQ(missed.lines[0].find("IP:FFF0"), std::string::npos);
    for (const char* bad : {"12345", "xyz", "", "-1"})
        EXPECT_EQ(run({"--headless", "--break", bad}).code, 2) << bad;
    EXPECT_NE(std::string(headless_usage()).find("--break"), std::string::npos);
}

} // namespace
