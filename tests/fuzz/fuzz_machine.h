// The machine the fuzz targets load into, brought up once, with message
// boxes silenced.
#pragma once
#include <filesystem>
#include <string>

#include "core/event.h"
#include "core/hooks.h"
#include "core/machine.h"
#include "core/memory.h"

inline void fuzz_machine_ready()
{
    static const bool ready = [] {
        static const std::string folder = std::filesystem::temp_directory_path().string();
        machine_init(MODEL_A64, folder.c_str());
        event_init();
        host_hooks.message_box = [](const char*, const char*) {};
        return true;
    }();
    (void)ready;
}
