// Running the machine without a window or sound device: for scripts, tests
// and batch conversions.
#pragma once

// True when the command line asks for a run without the window
// (--headless, --help, --ptp-to-wav).
int headless_wanted(int argc, char** argv);
// brevan --headless [options] [program files...]: the options are those of
// --help (headless_options.h). Returns the process exit code: 0 done, 1 an
// output could not be written, 2 bad options or a text the model cannot
// type, 3 a program file, tape or disk could not be loaded, 4 the frames
// ran out before the breakpoint was reached, 5 a program called a ROM
// routine the built-in firmware lacks, 128+N signal N ended the run.
int headless_main(int argc, char** argv);
// The usage text of --help.
const char* headless_usage();
