// Diagnostics: one logging function for the whole machine. Nothing is
// written unless the shell installed a sink (brevan --verbose).
#pragma once

// printf-style; the text goes to the sink as it is (end lines with \n).
void log_message(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Whether a sink is installed.
bool log_enabled();
