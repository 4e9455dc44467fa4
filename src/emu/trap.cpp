// Traps (being written): placeholder definitions so the tree links.
#include "trap.h"

trap_record traps[TRAP_SLOTS]{};

void traps_set(trap_record*, uint8_t*) {}
void trap_place(int, trap_record*, uint8_t*) {}
void trap_remove(int, trap_record*, uint8_t*) {}
int trap_dummy(int*) { return 0; }
void trap_handle(int) {}
