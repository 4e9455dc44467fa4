// Disk images (not yet written): no image can be attached.
#include "diskimg.h"

int diskimg_attach(int, const char*) { return 0; }
void diskimg_detach(int, int) {}
