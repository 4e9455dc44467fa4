// Trap opcodes: patching ROM images with ED nn and dispatching nn to host code.
#include "core/trap.h"

#include <cstring>
#include <type_traits>

#include "core/machine.h"

namespace {

bool record_fits(const trap_record* record)
{
    return record->length <= TRAP_PATCH_MAX && record->offset <= TRAP_IMAGE_SIZE &&
           record->length <= TRAP_IMAGE_SIZE - record->offset;
}

bool apply(const trap_record* record, uint8_t* image, uint8_t* saved)
{
    if (!image || !record_fits(record))
        return false;
    if (saved) std::memcpy(saved, image + record->offset, record->length);
    std::memcpy(image + record->offset, record->patch_bytes, record->length);
    return true;
}

template <class Record>
void set_all(Record* table, uint8_t* image)
{
    if (!table)
        return;
    for (Record* record = table; record->handler; ++record) {
        const int n = record->patch_bytes[1];
        uint8_t* saved = nullptr;
        if constexpr (!std::is_const_v<Record>) saved = record->saved_bytes;
        if (n >= TRAP_SLOTS || !apply(record, image, saved))
            continue;
        the_machine.traps[static_cast<size_t>(n)].handler = record->handler;
    }
}

}  // namespace

void traps_set(trap_record* table, uint8_t* image) { set_all(table, image); }
void traps_set(const trap_record* table, uint8_t* image) { set_all(table, image); }

void trap_place(int n, trap_record* record, uint8_t* image)
{
    if (n < 0 || n >= TRAP_SLOTS || !record || !apply(record, image, record->saved_bytes))
        return;
    the_machine.traps[static_cast<size_t>(n)].handler = record->handler ? record->handler : trap_dummy;
}

void trap_remove(int n, trap_record* record, uint8_t* image)
{
    if (n < 0 || n >= TRAP_SLOTS || !record || !image || !record_fits(record))
        return;
    std::memcpy(image + record->offset, record->saved_bytes, record->length);
    the_machine.traps[static_cast<size_t>(n)].handler = trap_dummy;
}

int trap_dummy(int*) { return 0; }

bool trap_has_handler(int n)
{
    return n >= 0 && n < TRAP_SLOTS && the_machine.traps[static_cast<size_t>(n)].handler != nullptr;
}

void trap_handle(int n)
{
    if (!trap_has_handler(n))
        return;
    int arg = n;
    the_machine.traps[static_cast<size_t>(n)].handler(&arg);
}
