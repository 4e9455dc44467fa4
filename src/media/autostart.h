// Loading and starting program files by their extension.
#pragma once

// Returns 1 when the file was taken, 0 otherwise.
int autostart_file(const char* path, int autostart);
