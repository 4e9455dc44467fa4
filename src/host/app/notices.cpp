#include "host/app/notices.h"

#include <cstdio>

namespace {

std::string hex(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", value & 0xFFFF);
    return text;
}

}  // namespace

std::string notice_text(const machine_notice& notice)
{
    switch (notice.kind) {
    case notice_kind::basic_without_rom:
        return "A(z) \"" + notice.file + "\" BASIC program. A beépített firmware-ben nincs BASIC, ezért "
               "betöltődött, de nem indul el; eredeti ROM-fájlokkal futtatható.";
    case notice_kind::rom_call_missing:
        return "A program a ROM " + hex(notice.address) + " címét hívta (" +
               (notice.caller >= 0 ? hex(static_cast<unsigned>(notice.caller)) + "-ről" : "ismeretlen helyről") +
               "), amit a beépített firmware nem tartalmaz; eredeti ROM-fájlokkal futtatható.";
    case notice_kind::ptp_length_mended:
        return "A(z) \"" + notice.file + "\" utolsó adatblokkja 3 bájttal hosszabbnak mondja magát, mint "
               "amennyi benne van (egy ismert átalakító hibája); a tartalma ép, így betöltődik.";
    }
    return {};
}
