// The whole machine for tests: brought up once per test program, then put
// on the wanted model.
#pragma once

// The first call runs machine_init (with the temporary folder as program
// folder) and event_init; every call then selects `model` at 2.5 MHz.
void test_machine_select(int model);
