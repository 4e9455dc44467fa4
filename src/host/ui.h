// Dialogs and file choosers of the shell.
#pragma once
#include <cstdint>

class QWidget;

// ui_select_file purposes.
enum : int { UI_DISK_IMAGE = 5, UI_AUTOLOAD = 7, UI_SCREENSHOT = 11, UI_SOUND_WAV = 12 };

// Runs the chooser of the purpose; leaves the name (empty when cancelled)
// in buffer (260 bytes); returns nonzero when a name was chosen.
int ui_select_file(QWidget* owner, int purpose, char* buffer);
void ui_attach_ptp_file(QWidget* owner, char* name_out);      // 260 bytes
void ui_load_pss(QWidget* owner, uint8_t* ram);
void ui_save_pss(QWidget* owner, uint8_t* ram);
void ui_create_wav(QWidget* owner);
void ui_load_wav(QWidget* owner);
int ui_load_rom_file(QWidget* owner, uint8_t* rom_area);
void gui_set_drive_dir(QWidget* owner, char* buffer);         // 260 bytes
void ui_about_dialog(QWidget* owner);
void ui_show_keyboard(QWidget* owner);
int ui_choose_colors(QWidget* owner);
int ui_tape_adjust_head(QWidget* owner, uint8_t* level);

// Test seam: when set, choosers return this name instead of opening a
// dialog (an empty string acts as a cancel), and dialogs end with OK.
void ui_set_scripted_answer(const char* name);
