// Host-folder drive; filled in by the disk work.
#include "diskfs.h"

int drive_led_active = 0;

void drive_reset() {}
void iec_init(const char*) {}
void change_dir(const char*) {}
void get_drive_dir(char* buffer, int size)
{
    if (buffer && size > 0) buffer[0] = 0;
}
