// The machine the fuzz targets load into, brought up once.
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
        return true;
    }();
    (void)ready;
}
