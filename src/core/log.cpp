#include "core/log.h"

#include <cstdarg>
#include <cstdio>

#include "core/hooks.h"

bool log_enabled() { return host_hooks.log != nullptr; }

void log_message(const char* format, ...)
{
    if (!host_hooks.log) return;
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    host_hooks.log(text);
}
