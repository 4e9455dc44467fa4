// The Z80 instruction exercisers, run to completion on flat memory. Each
// group prints its name followed by "OK" or "ERROR"; these tests collect the
// groups that did not report OK.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/cpm_shim.h"
#include "support/paths.h"

namespace {

struct exerciser_report {
    bool finished = false;
    int groups_ok = 0;
    std::set<std::string> failed;   // group names, dots trimmed
    std::string text;
};

std::string group_name(const std::string& line)
{
    const auto dots = line.find("..");
    std::string name = line.substr(0, dots);
    while (!name.empty() && (name.back() == ' ' || name.back() == '.'))
        name.pop_back();
    return name;
}

exerciser_report run_exerciser(const std::string& file)
{
    exerciser_report r;
    if (!cpm_load(testdata_path(file)))
        return r;
    cpm_run(60'000'000'000LL);
    r.finished = cpm_shim_state::finished;
    r.text = cpm_shim_state::output;
    std::istringstream lines(r.text);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.find("..") == std::string::npos)
            continue;
        if (line.size() >= 2 && line.compare(line.size() - 2, 2, "OK") == 0)
            ++r.groups_ok;
        else
            r.failed.insert(group_name(line));
    }
    return r;
}

TEST(ZexSlow, PreliminaryTestsComplete)
{
    ASSERT_TRUE(cpm_load(testdata_path("z80/prelim.com")));
    cpm_run(100'000'000);
    EXPECT_TRUE(cpm_shim_state::finished);
    EXPECT_NE(cpm_shim_state::output.find("Preliminary tests complete"), std::string::npos)
        << cpm_shim_state::output;
}

TEST(ZexSlow, ZexdocEveryGroupOk)
{
    const exerciser_report r = run_exerciser("z80/zexdoc.cim");
    EXPECT_TRUE(r.finished);
    EXPECT_NE(r.text.find("Tests complete"), std::string::npos);
    EXPECT_EQ(r.groups_ok, 67) << r.text;
    EXPECT_TRUE(r.failed.empty()) << r.text;
}

// The only groups whose checksums depend on a rule fixed differently here
// are the BIT tests: bits 5 and 3 after BIT n,(HL) and BIT n,(IX+d) come
// from a hidden address register on the hardware the checksums came from,
// and are 0 here (or copied from the operand for the undocumented DDCB
// encodings). The exerciser keeps its operands in page 0x01, whose high
// byte has bits 5 and 3 clear, so those groups agree as well and the exact
// list of failing groups is empty.
TEST(ZexSlow, ZexallEveryGroupOk)
{
    const std::set<std::string> expected_failures = {};
    const exerciser_report r = run_exerciser("z80/zexall.cim");
    EXPECT_TRUE(r.finished);
    EXPECT_NE(r.text.find("Tests complete"), std::string::npos);
    EXPECT_EQ(r.groups_ok + static_cast<int>(r.failed.size()), 67) << r.text;
    EXPECT_EQ(r.failed, expected_failures) << r.text;
}

}  // namespace
