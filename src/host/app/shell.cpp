#include "host/app/shell.h"

int g_bActive = 1;
int g_bPaused = 0;
int g_bDebug = 0;
int g_bSound = 1;
int g_Timer = 1;
int g_bFullScreen = 0;
int g_bSaveSettingsOnExit = 1;
int g_bAutoStart = 1;
uint32_t g_KeyMapping = 0;
uint32_t g_bRAMbank = 0;
uint32_t g_DisableTapeRemote = 0;
char g_DrivePath[260] = "";
char emu_path[260] = "";

// B32 and B48 carry 40057 and 40056: records are found by command.
const model_record model_table[8] = {
    {40053, 0, "Primo A32"}, {40054, 1, "Primo A48"}, {40055, 2, "Primo A64"},
    {40057, 3, "Primo B32"}, {40056, 4, "Primo B48"}, {40058, 5, "Primo B64"},
    {40059, 6, "Primo C64"}, {40060, 7, "Primo CP/M"},
};

const model_record* model_for_command(int command)
{
    for (const auto& record : model_table)
        if (record.command == command) return &record;
    return nullptr;
}
