// Disk images of the CP/M model's four floppy drives.
#pragma once

// Returns 1 when the image was attached, 0 when it cannot be used.
int diskimg_attach(int drive, const char* path);
// Releases the drive's image, first writing it back when save is set and
// it was changed.
void diskimg_detach(int drive, int save);
