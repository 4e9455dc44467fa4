// ZEXDOC from a disk made by the program, on the CP/M model at 3.75 MHz:
// typed at our CCP, it runs every group to the end.
#include <gtest/gtest.h>

#include "cpm_disks.h"
#include "support/screen_text.h"

namespace {

TEST(CpmHeadlessSlow, ZexdocFromACpmtoolsDiskReportsEveryGroupOk)
{
    cpm_disks d;
    ASSERT_TRUE(d.make("zex.dsk"));
    d.put("zex.dsk", BREVAN_TESTDATA "/z80/zexdoc.cim", "zexdoc.com");
    // The whole run is 46.7 G T-states, some 624 000 frames at this clock.
    ASSERT_EQ(headless_run({"--headless", "--disk", d.path("zex.dsk"), "--clock", "3750000", "--frames", "640000",
                            "--type", "ZEXDOC\\n"}),
              0);
    const std::string screen = screen_text_dump();
    EXPECT_NE(screen.find("Tests complete"), std::string::npos) << screen;
    EXPECT_EQ(screen.find("ERROR"), std::string::npos) << screen;
    EXPECT_NE(screen.find("OK"), std::string::npos) << screen;
}

}  // namespace
