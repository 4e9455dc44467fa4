// PSS snapshots (not yet written): every request fails quietly.
#include "snapshot.h"

int snapshot_load(const char*, uint8_t*) { return 0; }
int snapshot_save(const char*, uint8_t*) { return 0; }
