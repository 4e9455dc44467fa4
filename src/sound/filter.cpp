// IIR filter (being written).
#include "sound/filter.h"
