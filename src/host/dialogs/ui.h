// Dialogs and file choosers of the shell.
#pragma once
#include <cstdint>

class QDialog;
class QWidget;

// ui_select_file purposes.
enum : int { UI_DISK_IMAGE = 5, UI_AUTOLOAD = 7, UI_SCREENSHOT = 11, UI_SOUND_WAV = 12 };

// Qt's own Hungarian texts for the standard dialogs and buttons ("Mégse").
void ui_install_translations();

// Runs the chooser of the purpose; leaves the name (empty when cancelled)
// in buffer (260 bytes); returns nonzero when a name was chosen.
int ui_select_file(QWidget* owner, int purpose, char* buffer);
void ui_attach_ptp_file(QWidget* owner, char* name_out);      // 260 bytes
// Asks where to write a blank CP/M disk and in which format: the name goes
// to buffer (260 bytes), the index into cpm_disk_formats is returned, -1
// when cancelled.
int ui_select_cpm_disk(QWidget* owner, char* buffer);
void ui_load_pss(QWidget* owner);
void ui_save_pss(QWidget* owner);
void ui_create_wav(QWidget* owner);
void ui_load_wav(QWidget* owner);
int ui_load_rom_file(QWidget* owner, uint8_t* rom_area);
void gui_set_drive_dir(QWidget* owner, char* buffer);         // 260 bytes
void ui_about_dialog(QWidget* owner);
// The help text in a read-only window of our own (object name "help"),
// opened beside the main window and raised again when it is open; a
// message when the file cannot be read.
void ui_show_help(QWidget* owner, const char* path);
void ui_show_keyboard(QWidget* owner);
int ui_choose_colors(QWidget* owner);
int ui_tape_adjust_head(QWidget* owner, uint8_t* level);

// Test seam: when set, choosers return this name instead of opening a
// dialog (an empty string acts as a cancel), and dialogs end with OK.
void ui_set_scripted_answer(const char* name);
// Test seam: which filter (0-based) a scripted chooser answer was picked
// with; the tape WAV chooser turns it into the sample rate.
void ui_set_scripted_filter(int index);
// Test seam: when set, dialogs are built and handed to the hook instead of
// running modally; the hook fills their fields (found by object name:
// "paper", "ink", "border", "palette", "slider", "level") and accepts or
// rejects them.
void ui_set_dialog_hook(void (*hook)(QDialog* dialog));
// The sample rate last chosen for a tape WAV recording.
int ui_tape_wav_rate();
// The six-digit BBGGRR text of a colour, and back (false when not hex).
void ui_colour_text(uint32_t colour, char* out);   // 7 bytes
bool ui_colour_from_text(const char* text, uint32_t* colour);
