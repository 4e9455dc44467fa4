// Dialogs and file choosers of the shell.
#pragma once
#include <cstdint>
#include <string>

class QDialog;
class QWidget;

// ui_select_file purposes.
enum ui_purpose : int { UI_DISK_IMAGE = 5, UI_AUTOLOAD = 7, UI_SCREENSHOT = 11, UI_SOUND_WAV = 12 };

// After a save for the user: the status bar names the file, or says that
// it was not saved while a message box gives the reason. Returns ok.
bool ui_report_save(const char* what, const std::string& path, bool ok, const std::string& why);

// Qt's own Hungarian texts for the standard dialogs and buttons ("Mégse").
void ui_install_translations();

// Runs the chooser of the purpose; returns the name chosen, empty when
// cancelled.
std::string ui_select_file(QWidget* owner, ui_purpose purpose);
std::string ui_attach_ptp_file(QWidget* owner);
// Asks where to write a blank CP/M disk and in which format: the name goes
// to name, the index into cpm_disk_formats is returned, -1 when cancelled.
int ui_select_cpm_disk(QWidget* owner, std::string& name);
void ui_load_pss(QWidget* owner);
void ui_save_pss(QWidget* owner);
void ui_create_wav(QWidget* owner);
void ui_load_wav(QWidget* owner);
int ui_load_rom_file(QWidget* owner, uint8_t* rom_area);
// The folder chooser for the drive, opened at folder; returns the folder
// chosen, or folder when cancelled.
std::string gui_set_drive_dir(QWidget* owner, const std::string& folder);
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
std::string ui_colour_text(uint32_t colour);
bool ui_colour_from_text(const char* text, uint32_t* colour);
