// The command line of a run without the window: its options, the usage
// text of --help and the exit codes.
#pragma once
#include <string>
#include <vector>

#include "core/memory.h"
#include "devices/typing_text.h"

constexpr int EXIT_DONE = 0;
constexpr int EXIT_OUTPUT = 1;
constexpr int EXIT_USAGE = 2;     // a bad option, or a text the model cannot type
constexpr int EXIT_INPUT = 3;     // a program file, tape or disk could not be loaded
constexpr int EXIT_NO_BREAK = 4;  // --break: the frames ran out first
constexpr int EXIT_ROM_CALL = 5;  // a program called a ROM routine the built-in firmware lacks

extern const char headless_usage_text[];

struct headless_options {
    long frames = 100;
    int model = MODEL_A64;
    int clock = 2500000;
    struct typed_text {
        std::string what;   // the switch and its value, for messages
        std::string text;   // UTF-8
        bool escapes;
    };
    std::vector<typed_text> typed;   // --type and --type-file, in order
    std::vector<typing_step> typing;
    std::string screenshot;
    std::string screen_text;
    std::string wav;
    long break_address = -1;    // none
    std::string drive;
    std::string printer;
    std::string tape;
    std::string record_tape;
    std::string save_snapshot;
    int autostart = 1;
    bool flip_tape = false;
    std::vector<std::string> programs;
    std::vector<std::string> disks;
    bool model_given = false;
};

// The message of a bad option on standard error; returns EXIT_USAGE.
int usage_error(const char* format, const char* what);
// Parses the options; returns -1 to go on, or an exit code. The texts to
// type are checked against the model's keyboard here, before any run.
int headless_parse_options(int argc, char** argv, headless_options& options);
