// The printer file from both routes: national characters of the port, the
// bitmap escape of the bus printer, and the order of what both print.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/machine.h"
#include "devices/printer.h"
#include "support/paths.h"

namespace fs = std::filesystem;

namespace {

class Printer : public ::testing::Test {
protected:
    void SetUp() override
    {
        the_machine = machine{};   // a machine of its own
        fs::create_directories(dir / "out");
        printer_set_path((dir / "out" / "printer.txt").c_str());
    }
    void TearDown() override { printer_set_path(nullptr); }
    std::string printed()
    {
        printer_set_path((dir / "out" / "printer.txt").c_str());   // closes, so everything is written
        std::ifstream in(dir / "out" / "printer.txt", std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static void bus_job(const std::string& bytes, bool end = true)
    {
        printer_init();
        for (size_t i = 0; i < bytes.size(); ++i)
            printer_send_byte(static_cast<uint8_t>(bytes[i]), end && i + 1 == bytes.size());
    }
    scratch_folder dir{"printer"};
};

TEST_F(Printer, PortTranslatesNationalLettersAndEndsLines)
{
    for (char c : std::string("HELLO\r\x7B\x7D\x40\x0C")) print_byte(static_cast<uint8_t>(c));
    EXPECT_EQ(printed(), "\nHELLO\n\xF5\xE1\xC9\n");
}

TEST_F(Printer, CrLfEndsOneLineAndALoneCrOrLfOneEach)
{
    for (char c : std::string("A\r\nB\nC\rD\r\n\nE")) print_byte(static_cast<uint8_t>(c));
    EXPECT_EQ(printed(), "\nA\nB\nC\nD\n\nE");
    fs::remove(dir / "out" / "printer.txt");
    bus_job("A\r\nB\n\rC");
    EXPECT_EQ(printed(), "\nA\nB\n\nC");
}

TEST_F(Printer, BusPrinterMarksTheBitmapEscape)
{
    const struct { std::string sent, file; } cases[] = {
        {std::string("\x1B\x4B\x10\x00" "ab\r", 7),
         "\n[SYS] 1Bh - Command coming.\n\x1B[SYS] 4Bh - Bitmap mode ON.\n"
         "[SYS] 10h - Bitmap mode argument #1\n[SYS] 00h - Bitmap mode argument #2\nab\n"},
        {"\x1B\x41xyz\x4Bqr\x0C", "\n[SYS] 1Bh - Command coming.\n\x1B[SYS] 4Bh - Bitmap mode ON.\n"
                                  "[SYS] 71h - Bitmap mode argument #1\n[SYS] 72h - Bitmap mode argument #2\n\n\n"},
    };
    for (const auto& c : cases) {
        bus_job(c.sent);
        EXPECT_EQ(printed(), c.file);
        fs::remove(dir / "out" / "printer.txt");
    }
}

TEST_F(Printer, BothRoutesKeepTheirOrderAndAnEndedJobTakesNoMore)
{
    print_byte('a');
    bus_job("b");
    printer_send_byte('X', 0);   // after the end of the job: dropped
    print_byte('c');
    EXPECT_EQ(printed(), "\na\nbc");
}

TEST_F(Printer, TheUsersDataFolderHoldsTheFileUnlessOneIsNamed)
{
    const char* saved = std::getenv("XDG_DATA_HOME");
    setenv("XDG_DATA_HOME", dir.path().c_str(), 1);
    EXPECT_EQ(printer_user_folder(), (dir / "brevan").string());
    printer_set_filename(printer_user_folder().c_str());
    print_byte('z');
    printer_set_path(nullptr);
    EXPECT_TRUE(fs::exists(dir / "brevan" / "printer.txt"));
    if (saved) setenv("XDG_DATA_HOME", saved, 1);
    else unsetenv("XDG_DATA_HOME");
}

}  // namespace
