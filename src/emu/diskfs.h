// Host-folder disk drive on the serial bus.
#pragma once

void drive_reset();
void iec_init(const char* folder);
void change_dir(const char* folder);
void get_drive_dir(char* buffer, int size);
extern int drive_led_active;
