// The whole machine for tests: every call builds a fresh one of the model
// at 2.5 MHz, the temporary folder as the program's folder.
#pragma once

void test_machine_select(int model);
