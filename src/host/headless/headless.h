// Running the machine without a window or sound device: for scripts, tests
// and batch conversions.
#pragma once

// True when the command line asks for a run without the window
// (--headless, --help, --ptp-to-wav).
int headless_wanted(int argc, char** argv);
// brevan --headless --frames N [--model M] [--clock HZ] [--type TEXT]
//        [--type-file FILE] [--screen-text FILE] [--screenshot FILE] [--wav FILE] [--break ADDR] [--disk FILE...]
//        [--drive FOLDER] [--printer FILE] [--tape FILE] [--record-tape FILE]
//        [--save-snapshot FILE] [--no-autostart] [program files...]
// Returns the process exit code: 0 done, 1 an output could not be written,
// 2 bad options, 3 a program file or tape could not be loaded, 4 the frames
// ran out before the breakpoint was reached.
int headless_main(int argc, char** argv);
// The usage text of --help.
const char* headless_usage();
