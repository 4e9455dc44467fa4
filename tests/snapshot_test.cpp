// PSS snapshots: a machine restored from a snapshot goes on exactly as the
// one that never stopped; files of the wrong size are refused untouched.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "core/machine.h"
#include "core/bus.h"
#include "core/memory.h"
#include "cpu/cpu.h"
#include "media/diskimg.h"
#include "media/snapshot.h"
#include "devices/wd1793.h"
#include "support/firmware_driver.h"
#include "support/ptp_image.h"

namespace fs = std::filesystem;

namespace {

// Everything a frame leaves behind that the snapshot promises to carry on.
struct machine_picture {
    std::vector<uint16_t> registers;
    bytes ram;
    int port;
    bool operator==(const machine_picture&) const = default;
};

machine_picture picture()
{
    const z80_state_t& s = z80_state;
    return {{s.af, s.bc, s.de, s.hl, s.ix, s.iy, s.sp, s.pc, s.af_alt, s.bc_alt, s.de_alt, s.hl_alt, s.i, s.r,
             s.iff1, s.iff2, s.im, static_cast<uint16_t>(s.nmi_request)},
            bytes(memory_get_ram(), memory_get_ram() + 0xC000),   // the screen included
            snapshot_out(0)};
}

// All of it, the cycle counter and the RAM bank too.
machine_picture whole_picture()
{
    machine_picture p = picture();
    p.registers.push_back(static_cast<uint16_t>(z80_state.tcount));
    p.registers.push_back(static_cast<uint16_t>(z80_state.tcount >> 16));
    p.ram.insert(p.ram.end(), the_machine.mem.ext_ram.begin(), the_machine.mem.ext_ram.end());
    return p;
}

class Snapshot : public ::testing::Test {
protected:
    void SetUp() override { path = (fs::temp_directory_path() / ("brevan_pss_" + std::to_string(::getpid()))).string(); }
    void TearDown() override { fs::remove(path); }
    std::string path;
};

TEST_F(Snapshot, ARestoredMachineContinuesFrameForFrame)
{
    firmware_boot(MODEL_A64);
    // XORs R into the screen and beeps with its bit 4, under the frame NMI.
    const bytes program = {0x21, 0x00, 0xE8, 0xED, 0x5F, 0xAE, 0x77, 0xE6, 0x10, 0xF6, 0x8C, 0xD3,
                           0x00, 0x23, 0x7C, 0xB7, 0x20, 0xF1, 0x18, 0xEC};
    for (size_t i = 0; i < program.size(); ++i) mem_write(static_cast<uint16_t>(0x6000 + i), program[i]);
    z80_state.pc = 0x6000;
    firmware_run_frames(7);
    ASSERT_EQ(snapshot_save(path.c_str()), 1);
    std::vector<machine_picture> straight;
    for (int f = 0; f < 25; ++f) {
        firmware_run_frames(1);
        straight.push_back(picture());
    }

    firmware_boot(MODEL_A64);   // somewhere else entirely
    z80_state.i = 0x55;
    std::string error;
    ASSERT_EQ(snapshot_load(path.c_str(), &error), 1) << error;
    for (int f = 0; f < 25; ++f) {
        firmware_run_frames(1);
        ASSERT_TRUE(picture() == straight[static_cast<size_t>(f)]) << "frame " << f;
    }
}

TEST_F(Snapshot, FilesOfTheWrongSizeAreRefusedLeavingTheMachine)
{
    firmware_boot(MODEL_A64);
    ASSERT_EQ(snapshot_save(path.c_str()), 1);
    bytes file = read_bytes(path);
    ASSERT_EQ(file.size(), PSS_SIZE);
    EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "PS01");
    EXPECT_EQ(bytes(file.begin() + 0x1F, file.begin() + 0x22), (bytes{0xFF, 0xFF, 0xFF}));

    file[0] = 'X';   // the mark is not checked
    file[0x14] = 0x34;
    file[0x15] = 0x12;
    for (size_t size : {PSS_SIZE - 1, PSS_SIZE + 1, size_t{0}}) {
        ASSERT_TRUE(write_bytes(path, bytes(file.begin(), file.begin() + std::min(size, file.size()))));
        if (size > file.size()) {
            bytes longer = file;
            longer.push_back(0);
            ASSERT_TRUE(write_bytes(path, longer));
        }
        const machine_picture before = picture();
        std::string error;
        EXPECT_EQ(snapshot_load(path.c_str(), &error), 0) << size;
        EXPECT_NE(error.find(std::to_string(PSS_SIZE)), std::string::npos) << error;
        EXPECT_TRUE(picture() == before) << size;
    }
    ASSERT_TRUE(write_bytes(path, file));
    EXPECT_EQ(snapshot_load(path.c_str()), 1);
    EXPECT_EQ(z80_state.pc, 0x1234);
}

// Taken where a breakpoint stopped the machine inside a frame, and on the
// CP/M model in the middle of its work with the RAM bank under its system,
// a snapshot goes on exactly as the machine that never stopped.
TEST_F(Snapshot, BreakpointInsideAFrameAndTheCpmModelContinueExactly)
{
    const bytes program = {0x21, 0x00, 0xE8, 0xED, 0x5F, 0xAE, 0x77, 0xE6, 0x10, 0xF6, 0x8C, 0xD3,
                           0x00, 0x23, 0x7C, 0xB7, 0x20, 0xF1, 0x18, 0xEC};
    const std::string disk = path + ".dsk";
    ASSERT_TRUE(cpm_disk_make(disk.c_str(), cpm_disk_formats[0], 1));
    for (const bool cpm : {false, true}) {
        SCOPED_TRACE(cpm ? "CP/M" : "breakpoint");
        auto start = [&] {
            if (!cpm) {
                firmware_boot(MODEL_A64);
                for (size_t i = 0; i < program.size(); ++i) mem_write(static_cast<uint16_t>(0x6000 + i), program[i]);
                z80_state.pc = 0x6000;
                return;
            }
            firmware_boot(MODEL_CPM, 0);
            ASSERT_EQ(wd1793_insert_disk(0, disk.c_str()), 1);
            machine_hard_reset();
        };
        start();
        if (cpm) {
            firmware_run_frames(150);
            firmware_type("DIR\r", 0);
            firmware_run_frames(3);
        } else {
            firmware_run_frames(5);
            z80_cpu_set_breakpoint(0x600D);
            for (int i = 0; i < 5 && !machine_at_breakpoint(); ++i) machine_run();
            ASSERT_TRUE(machine_at_breakpoint());
        }
        ASSERT_TRUE(snapshot_save(path.c_str()));
        auto go_on = [&] {
            if (!cpm) {
                machine_leave_breakpoint();
                z80_state.bp_enabled = 0;
            }
            std::vector<machine_picture> frames;
            for (int f = 0; f < 40; ++f) {
                machine_run();
                frames.push_back(whole_picture());
            }
            return frames;
        };
        const std::vector<machine_picture> straight = go_on();

        start();
        firmware_run_frames(7);   // somewhere else entirely
        std::string error;
        ASSERT_TRUE(snapshot_load(path.c_str(), &error)) << error;
        EXPECT_TRUE(go_on() == straight);
        if (cpm) wd1793_eject_disk(0);
    }
    fs::remove(disk);
}

}  // namespace
