// ZEXDOC typed at our CCP, on the flat test bus with the test's BIOS: it is
// loaded from a disk that cpmtools wrote, calls our BDOS for its output, and
// warm starts back to the prompt at the end.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "support/cpm_host.h"
#include "support/paths.h"

using namespace cpm_host;

namespace {

TEST(CpmSystemSlow, ZexdocTypedAtTheCcpReportsEveryGroupOk)
{
    reset();
    cpmtools_dir dir;
    dir.save(state.disks[0]);
    std::ifstream in(testdata_path("z80/zexdoc.cim"), std::ios::binary);
    dir.put_file("ZEXDOC.COM", {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()});
    state.disks[0] = dir.load();
    boot();
    ASSERT_TRUE(run());
    type("zexdoc\r");
    ASSERT_TRUE(run(60'000'000'000LL)) << state.console;

    std::istringstream lines(state.console);
    std::string line;
    std::vector<std::string> groups;
    int ok = 0;
    while (std::getline(lines, line)) {
        if (line.find("..") == std::string::npos) continue;
        groups.push_back(line);
        ok += line.find("..  OK") != std::string::npos;
    }
    ASSERT_GE(groups.size(), 3u) << state.console;
    EXPECT_NE(groups[0].find("<adc,sbc> hl,<bc,de,hl,sp>....  OK"), std::string::npos);
    EXPECT_NE(groups[1].find("add hl,<bc,de,hl,sp>..........  OK"), std::string::npos);
    EXPECT_NE(groups[2].find("add ix,<bc,de,ix,sp>..........  OK"), std::string::npos);
    EXPECT_EQ(ok, 67) << state.console;
    EXPECT_NE(state.console.find("Tests complete"), std::string::npos);
    EXPECT_EQ(state.warm_boots, 1);
    EXPECT_EQ(state.console.substr(state.console.size() - 2), "A>");
}

}  // namespace
