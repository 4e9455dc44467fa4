#include "support/test_machine.h"

#include <filesystem>
#include <string>

#include "core/event.h"
#include "core/machine.h"
#include "devices/printer.h"

void test_machine_select(int model)
{
    const std::string folder = std::filesystem::temp_directory_path().string();
    machine_init(model, folder.c_str());
    printer_set_filename(folder.c_str());   // never the user's own printer file
    event_init();
    machine_change_model(model);
    machine_set_clock(2500000);
}
