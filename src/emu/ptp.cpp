// PTP images; filled in by the tape work.
#include "ptp.h"

void tape_init(const char*) {}
void tape_ptp_attach_from(std::FILE*) {}
void tape_reset() {}
void ptp_place_traps() {}
void tape_remove_traps() {}
void ptp_rewind() {}
void ptp_close() {}
uint16_t ptp_load(const char*) { return 0; }
