// The built-in monitor. Every command builds its page again from scratch;
// nothing is drawn incrementally. All memory is read through mem_read, so
// the pages show what the processor would read.
#include "debug/monitor.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "core/machine.h"
#include "core/bus.h"
#include "core/memory.h"
#include "cpu/cpu.h"

namespace {

constexpr int REGDUMP_ROWS = 3;
constexpr int LINE = 160;
// Wider windows show no more than this per row (and the line stays in LINE).
constexpr int MAX_BYTES_PER_ROW = 32;
constexpr int LONGEST_INSTRUCTION = 4;

// The view: the debugger's, not the machine's.
struct monitor_view_t {
    int page = MONITOR_PAGE_DISASSEMBLY;
    uint16_t local_pc = 0;     // first address of the listing
    uint16_t memdump_pc = 0;   // first address of the memory page
    int rows = 25;
    int cols = 80;
    std::array<std::array<char, LINE>, MONITOR_MAX_ROWS> page_text{};
    int page_rows = 0;
    int separator_row = -1;
    int breakpoint_row = -1;   // the listing row of the breakpoint, when on
} view;

int& monitor_page = view.page;
uint16_t& local_pc = view.local_pc;
uint16_t& memdump_pc = view.memdump_pc;
int& rows = view.rows;
int& cols = view.cols;
auto& page_text = view.page_text;
int& page_rows = view.page_rows;
int& separator_row = view.separator_row;
int& breakpoint_row = view.breakpoint_row;

char* next_row()
{
    char* row = page_text[static_cast<size_t>(page_rows++)].data();
    row[0] = '\0';
    return row;
}

int visible_rows() { return std::clamp(rows, 0, MONITOR_MAX_ROWS); }

void show_disassembly()
{
    page_rows = 0;
    separator_row = REGDUMP_ROWS;
    breakpoint_row = -1;
    char line[Z80DIS_LINE];
    for (int r = 0; r < visible_rows(); ++r) {
        char* row = next_row();
        if (r < REGDUMP_ROWS) regdump(line, r);
        std::snprintf(row, LINE, "%s", r < REGDUMP_ROWS ? line : "");
    }
    uint16_t address = local_pc;
    for (int r = REGDUMP_ROWS; r < page_rows; ++r) {
        if (z80_state.bp_enabled && address == z80_state.bp_address && breakpoint_row < 0) breakpoint_row = r;
        address = disassemble(address, line);
        std::snprintf(page_text[static_cast<size_t>(r)].data(), LINE, "%s", line);
    }
}

void monitor_mem_show()
{
    page_rows = 0;
    separator_row = -1;
    breakpoint_row = -1;
    const int per_row = monitor_bytes_per_row(cols);
    uint16_t address = memdump_pc;
    for (int r = 0; r < visible_rows(); ++r) {
        char* row = next_row();
        int pos = std::snprintf(row, LINE, " %04X: ", address);
        for (int i = 0; i < per_row; ++i) {
            const bool gap = (i & 15) == 7 && i != per_row - 1;
            pos += std::snprintf(row + pos, LINE - pos, gap ? "%02X  " : "%02X ",
                                 mem_read(static_cast<uint16_t>(address + i)));
        }
        row[pos++] = ':';
        for (int i = 0; i < per_row; ++i) {
            const uint8_t v = mem_read(static_cast<uint16_t>(address + i));
            row[pos++] = v >= 32 && v <= 125 ? static_cast<char>(v) : '.';
        }
        row[pos] = '\0';
        address = static_cast<uint16_t>(address + per_row);
    }
}

// The start of the instruction that ends at the cursor: the farthest of
// the five bytes before it whose instruction ends exactly there, else the
// byte before.
uint16_t previous_instruction(uint16_t at)
{
    char line[Z80DIS_LINE];
    for (int back = LONGEST_INSTRUCTION + 1; back >= 1; --back) {
        const auto start = static_cast<uint16_t>(at - back);
        if (disassemble(start, line) == at) return start;
    }
    return static_cast<uint16_t>(at - 1);
}

void move_one(int direction)
{
    if (monitor_page == MONITOR_PAGE_MEMORY) {
        memdump_pc = static_cast<uint16_t>(memdump_pc + direction * monitor_bytes_per_row(cols));
        return;
    }
    char line[Z80DIS_LINE];
    local_pc = direction == 1 ? disassemble(local_pc, line) : previous_instruction(local_pc);
}

} // namespace

int monitor_bytes_per_row(int width)
{
    if (width < 16) return 0;
    return std::min((((width - 16) / 2) & 0xF8) / 2, MAX_BYTES_PER_ROW);
}

void monitor_set_screen_params(int new_rows, int new_cols)
{
    rows = std::max(new_rows, 0);
    cols = std::max(new_cols, 0);
    monitor_update();
}

int monitor_get_rows() { return rows; }
int monitor_get_cols() { return cols; }

void debug()
{
    monitor_page = MONITOR_PAGE_DISASSEMBLY;
    local_pc = cpu_get_pc();
    show_disassembly();
}

void monitor_select_page(int page)
{
    monitor_page = page == MONITOR_PAGE_MEMORY ? MONITOR_PAGE_MEMORY : MONITOR_PAGE_DISASSEMBLY;
    monitor_update();
}

int monitor_get_page() { return monitor_page; }

void monitor_update()
{
    if (monitor_page == MONITOR_PAGE_MEMORY)
        monitor_mem_show();
    else
        show_disassembly();
}

void step_dir(int direction) { step_dir_rows(direction, 1); }

void step_dir_page(int direction)
{
    // A page of the listing is the rows under the register dump.
    const int height = monitor_page == MONITOR_PAGE_MEMORY ? rows : rows - REGDUMP_ROWS;
    step_dir_rows(direction, std::max(height, 1));
}

void step_dir_rows(int direction, int count)
{
    for (int i = 0; i < count; ++i) move_one(direction);
    monitor_update();
}

int monitor_get_current_pc() { return local_pc; }

void monitor_single_step()
{
    machine_step();
    debug();
}

void monitor_toggle_breakpoint()
{
    z80_cpu_set_breakpoint(local_pc);
    monitor_update();
}

int monitor_row_count() { return page_rows; }

const char* monitor_row_text(int row)
{
    return row >= 0 && row < page_rows ? page_text[static_cast<size_t>(row)].data() : "";
}

int monitor_separator_row() { return separator_row; }

int monitor_breakpoint_row() { return breakpoint_row; }
