// PTP tape images: ROM loader/saver traps and the fast loader.
#pragma once
#include <cstdint>
#include <cstdio>

void tape_init(const char* path);
void tape_ptp_attach_from(std::FILE* file);
void tape_reset();
void ptp_place_traps();
void tape_remove_traps();
void ptp_rewind();
void ptp_close();
uint16_t ptp_load(const char* path);
