#include "host/app/shell.h"

shell_state shell;
