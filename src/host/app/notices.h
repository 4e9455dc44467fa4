// The shell's words for the emulation's notices, shared by the window and
// the headless runs.
#pragma once
#include <string>

#include "core/notice.h"

// The Hungarian text of a notice.
std::string notice_text(const machine_notice& notice);
