// The devices' side of the serial bus, driven line by line: handshakes
// that real controllers use and the bounds of what the bus hands on.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "devices/diskfs.h"
#include "devices/printer.h"
#include "devices/serial.h"
#include "core/machine.h"
#include "core/memory.h"
#include "support/iec_host.h"
#include "support/test_machine.h"
#include "support/paths.h"

namespace fs = std::filesystem;

namespace {

class SerialBus : public ::testing::Test {
protected:
    void SetUp() override
    {
        the_machine = machine{};   // a machine of its own
        serial_init();
        iec_init(folder.path().c_str());
        printer_set_path((folder / "printer.txt").c_str());
    }
    void TearDown() override { printer_set_path(nullptr); }
    std::string message()
    {
        EXPECT_TRUE(host.talk(8, 0x6F));
        const auto bytes = host.receive_all();
        host.untalk();
        return std::string(bytes.begin(), bytes.end());
    }
    iec_host host;
    scratch_folder folder{"serial"};
};

TEST_F(SerialBus, TalkAgainAfterAnEndAcknowledgedOnlyByAtn)
{
    host.atn_right_after_ack = true;
    EXPECT_EQ(message(), "73,CBM DOS V2.6 1541,00,00\r");
    EXPECT_EQ(message(), "00, OK,00,00\r");
}

TEST_F(SerialBus, HeldClockIsAnEndOfDataOnlyOutsideAtn)
{
    // Under ATN the held clock before the secondary address changes nothing.
    host.hold_before_bits = 2000;
    ASSERT_TRUE(host.listen(8, 0x6F));
    ASSERT_TRUE(host.send_text("UJ", true));
    host.unlisten();
    EXPECT_EQ(message(), "73,CBM DOS V2.6 1541,00,00\r");
    // Outside ATN it flags the byte as the last: "U" alone is a bad command.
    ASSERT_TRUE(host.listen(8, 0x6F));
    host.hold_before_bits = 2000;
    ASSERT_TRUE(host.send('U'));
    host.unlisten();
    EXPECT_EQ(message(), "30,SYNTAX ERROR,00,00\r");
}

TEST_F(SerialBus, ACommandForAnotherDeviceIsNotAnswered)
{
    EXPECT_FALSE(host.listen(9, 0x60));
    host.unlisten();
    EXPECT_TRUE(host.listen(8, 0x6F));
}

TEST_F(SerialBus, ANameLongerThan260BytesIsCut)
{
    // M-W with a count of 255: only the bytes that fit in the name arrive.
    ASSERT_TRUE(host.listen(8, 0xFF));
    ASSERT_TRUE(host.send_text(std::string("M-W\0\0\xFF", 6) + std::string(300, 'x')));
    ASSERT_TRUE(host.unlisten());
    ASSERT_TRUE(host.listen(8, 0xFF));
    ASSERT_TRUE(host.send_text(std::string("M-R\0\0", 5)));
    ASSERT_TRUE(host.unlisten());
    const std::string ram = message();
    ASSERT_GE(ram.size(), 255u);
    EXPECT_EQ(ram.substr(0, 254), std::string(254, 'x'));
    EXPECT_NE(ram[254], 'x');
}

TEST_F(SerialBus, PrinterJobStartsAgainAtItsNextDataAddress)
{
    for (const char* text : {"AB", "CD"}) {
        ASSERT_TRUE(host.listen(4, 0x60));
        ASSERT_TRUE(host.send_text(text, true));
        host.unlisten();
    }
    std::ifstream in(folder / "printer.txt", std::ios::binary);
    const std::string printed((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(printed, "\nAB\nCD");
}

// A model or clock change in the middle of a save resets the bus and the
// drive as a restart does: the next save is not taken for the rest of the
// old one, which would end in FILE NOT OPEN.
TEST_F(SerialBus, AModelOrClockChangeDuringASaveLeavesNeitherBusNorChannelOpen)
{
    for (const bool model_change : {true, false}) {
        SCOPED_TRACE(model_change ? "model" : "clock");
        test_machine_select(MODEL_A64);
        iec_init(folder.path().c_str());
        ASSERT_TRUE(host.listen(8, 0xF1));
        ASSERT_TRUE(host.send_text("OLD", true));
        host.unlisten();
        ASSERT_TRUE(host.listen(8, 0x61));
        ASSERT_TRUE(host.send(0xD9));   // the first byte of a save, and no more
        if (model_change) machine_change_model(MODEL_B64);
        else machine_set_clock(3750000);

        ASSERT_TRUE(host.listen(8, 0xF1));
        ASSERT_TRUE(host.send_text("NEW", true));
        host.unlisten();
        ASSERT_TRUE(host.listen(8, 0x61));
        ASSERT_TRUE(host.send_text("DATA", true));
        host.unlisten();
        ASSERT_TRUE(host.listen(8, 0xE1));
        host.unlisten();
        EXPECT_EQ(message(), "00, OK,00,00\r");
        std::ifstream in(folder / "NEW.PRI", std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "DATA");
    }
}

}  // namespace
