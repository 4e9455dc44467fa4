// Our CP/M on the whole machine, from the command line: disks made by the
// program, filled with cpmtools, changed by the CCP and its programs, and
// read back with cpmtools after the run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "cpm_disks.h"
#include "support/screen_text.h"

namespace {

TEST(CpmHeadless, SaveRenAndEraChangeTheImageAsCpmtoolsReadsItOnBothDrives)
{
    cpm_disks d;
    ASSERT_TRUE(d.make("a.dsk") && d.make("b.dsk"));
    d.put("a.dsk", d.write("old.txt", {'o', 'l', 'd', '\r', '\n', 0x1A}), "old.txt");
    // Two-sided disks: B:'s data starts on side 1.
    d.put("b.dsk", d.write("note.txt", {'S', 'I', 'D', 'E', ' ', 'O', 'N', 'E', '\r', '\n', 0x1A}), "note.txt");

    ASSERT_EQ(headless_run({"--headless", "--disk", d.path("a.dsk"), "--disk", d.path("b.dsk"), "--frames", "2500",
                            "--type", "SAVE 1 X.COM\\nREN Y.COM=X.COM\\nERA OLD.TXT\\nSAVE 3 B:Z.COM\\nTYPE B:NOTE.TXT\\n"}),
              0);
    EXPECT_TRUE(screen_shows("SIDE ONE")) << screen_text_dump();
    EXPECT_EQ(d.list("a.dsk"), "0:\nsubmit.com\ny.com\n");
    EXPECT_EQ(d.list("b.dsk"), "0:\nnote.txt\nsubmit.com\nz.com\n");
    EXPECT_EQ(d.get("a.dsk", "y.com").size(), 256u);
    EXPECT_EQ(d.get("b.dsk", "z.com").size(), 768u);
}

// The disk comes with SUBMIT.COM: a batch with a parameter runs to its end.
TEST(CpmHeadless, SubmitOnANewDiskRunsABatchWithAParameter)
{
    cpm_disks d;
    ASSERT_TRUE(d.make("a.dsk"));
    const std::string sub = "SAVE 1 $1.COM\r\nREN B.COM=$1.COM\r\nSAVE 2 C.COM\r\n\x1A";
    d.put("a.dsk", d.write("t.sub", {sub.begin(), sub.end()}), "t.sub");

    ASSERT_EQ(headless_run({"--headless", "--disk", d.path("a.dsk"), "--frames", "2500", "--type", "SUBMIT T A\\n"}), 0);
    EXPECT_EQ(d.list("a.dsk"), "0:\nb.com\nc.com\nsubmit.com\nt.sub\n") << screen_text_dump();
}

TEST(CpmHeadless, AProgramWritingByRandomRecordsGivesTheBytesOfTheHostCopy)
{
    cpm_disks d;
    ASSERT_TRUE(d.make("a.dsk"));
    std::vector<uint8_t> in(300 * 128);
    for (size_t i = 0; i < in.size(); ++i) in[i] = static_cast<uint8_t>(i * 13 + i / 128);
    d.put("a.dsk", BREVAN_CPM_PROGRAMS "/randcopy.bin", "randcopy.com");
    d.put("a.dsk", d.write("in.dat", in), "in.dat");

    ASSERT_EQ(headless_run({"--headless", "--disk", d.path("a.dsk"), "--frames", "3000", "--type",
                            "RANDCOPY IN.DAT OUT.DAT\\n"}),
              0);
    EXPECT_TRUE(screen_shows("COPIED")) << screen_text_dump();
    EXPECT_EQ(d.get("a.dsk", "out.dat"), in);
}

// Every control code and printable character typed with --type reaches a
// program that reads the console by direct I/O.
TEST(CpmHeadless, EveryCodeTypedReachesAProgramReadingTheConsole)
{
    cpm_disks d;
    ASSERT_TRUE(d.make("a.dsk"));
    d.put("a.dsk", BREVAN_CPM_PROGRAMS "/echohex.bin", "echohex.com");
    std::string typed = "ECHOHEX\\n\\w", expected;
    for (int code = 0x01; code < 0x7F; ++code) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "%02X", code);
        expected += hex;
        if (code < 0x20) typed += std::string("\\x") + hex;
        else if (code == '\\') typed += "\\\\";
        else typed += static_cast<char>(code);
    }
    typed += "\\x7F";
    ASSERT_EQ(headless_run({"--headless", "--disk", d.path("a.dsk"), "--frames", "700", "--type", typed}), 0);
    const std::vector<uint8_t> file = d.get("a.dsk", "out.hex");
    EXPECT_EQ(std::string(file.begin(), std::find(file.begin(), file.end(), 0x1A)), expected) << screen_text_dump();
}

TEST(CpmHeadless, CtrlPEchoesADirectoryListingToThePrinterFile)
{
    cpm_disks d;
    ASSERT_TRUE(d.make("a.dsk"));
    const std::string printer = d.path("printer.txt");
    ASSERT_EQ(headless_run({"--headless", "--disk", d.path("a.dsk"), "--frames", "400", "--printer", printer,
                            "--type", "\\x10DIR\\n"}),
              0);
    const std::vector<uint8_t> bytes = cpm_disks::read(printer);
    const std::string printed(bytes.begin(), bytes.end());
    // The CR that ends the typed line is a line of its own; CR LF is one.
    EXPECT_NE(printed.find("DIR\n\nA: SUBMIT   COM\n"), std::string::npos) << printed;
    EXPECT_EQ(printed.find("COM\n\n"), std::string::npos) << printed;
}

// A text file on the command line is typed at the prompt, without RUN;
// the listing is in the screen's text.
TEST(CpmHeadless, ATextFileTypesADirWhoseListingIsInTheScreenText)
{
    cpm_disks d;
    ASSERT_TRUE(d.make("a.dsk"));
    ASSERT_EQ(headless_run({"--headless", "--disk", d.path("a.dsk"), "--frames", "300", "--screen-text",
                            d.path("screen.txt"), d.write("dir.txt", {'D', 'I', 'R', '\n'})}),
              0);
    const std::vector<uint8_t> bytes = cpm_disks::read(d.path("screen.txt"));
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_EQ(text, "Primo CP/M 2.2, 51K\n\nA>DIR\nA: SUBMIT   COM\nA>" + std::string(20, '\n')) << text;
}

}  // namespace
