// Trap opcodes: patching ROM images with ED nn and dispatching nn to host code.
#include "core/trap.h"

#include <cstring>

trap_record traps[TRAP_SLOTS]{};

namespace {

bool record_fits(const trap_record* record)
{
    return record->length <= TRAP_PATCH_MAX && record->offset <= TRAP_IMAGE_SIZE &&
           record->length <= TRAP_IMAGE_SIZE - record->offset;
}

bool apply(trap_record* record, uint8_t* image)
{
    if (!image || !record_fits(record))
        return false;
    std::memcpy(record->saved_bytes, image + record->offset, record->length);
    std::memcpy(image + record->offset, record->patch_bytes, record->length);
    return true;
}

}  // namespace

void traps_set(trap_record* table, uint8_t* image)
{
    if (!table)
        return;
    for (trap_record* record = table; record->handler; ++record) {
        const int n = record->patch_bytes[1];
        if (n >= TRAP_SLOTS || !apply(record, image))
            continue;
        traps[n].handler = record->handler;
    }
}

void trap_place(int n, trap_record* record, uint8_t* image)
{
    if (n < 0 || n >= TRAP_SLOTS || !record || !apply(record, image))
        return;
    traps[n].handler = record->handler ? record->handler : trap_dummy;
}

void trap_remove(int n, trap_record* record, uint8_t* image)
{
    if (n < 0 || n >= TRAP_SLOTS || !record || !image || !record_fits(record))
        return;
    std::memcpy(image + record->offset, record->saved_bytes, record->length);
    traps[n].handler = trap_dummy;
}

int trap_dummy(int*) { return 0; }

bool trap_has_handler(int n)
{
    return n >= 0 && n < TRAP_SLOTS && traps[n].handler != nullptr;
}

void trap_handle(int n)
{
    if (!trap_has_handler(n))
        return;
    int arg = n;
    traps[n].handler(&arg);
}
