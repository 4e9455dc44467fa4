// What the emulation tells the user about without choosing the words: the
// shell turns each notice into its own text (status bar, message box or
// the standard error stream).
#pragma once
#include <cstdint>
#include <string>

enum class notice_kind {
    basic_without_rom,   // a BASIC program was loaded; the built-in firmware has no BASIC
    rom_call_missing,    // a program called a ROM address the built-in firmware lacks
    ptp_length_mended,   // a PTP file's last data block claimed 3 bytes more than it holds
};

struct machine_notice {
    explicit machine_notice(notice_kind k) : kind(k) {}
    notice_kind kind;
    uint16_t address = 0;   // rom_call_missing: the address called
    int caller = -1;        // rom_call_missing: where the call came from, -1 unknown
    std::string file;       // basic_without_rom, ptp_length_mended: the file
};
