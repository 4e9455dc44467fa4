// What the shell tells the user: message boxes, the status bar's texts,
// the machine's notifications put into words, and the diagnostics of
// --verbose. The window installs the box and the status bar; without them
// (headless runs, tests) a box goes to standard error and a status text
// nowhere.
#pragma once
#include <string>

#include "core/hooks.h"

struct shell_output_t {
    void (*box)(const char* title, const char* text);
    void (*status)(int part, const char* text);
};
extern shell_output_t shell_output;

void host_message_box(const char* title, const char* text);
void StatusBarPartText(int part, const char* format, ...) __attribute__((format(printf, 2, 3)));
// Into the status bar's message area.
void StatusBarText(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The machine's notifications (host_hooks.note).
void shell_note(host_note what, const char* subject);
// Turns the machine's diagnostics on (standard error) or off.
void shell_set_verbose(bool on);

// The boxes of failed loads and saves, each with its title and the
// sentence around the reason.
void shell_refused_program(const std::string& path, const std::string& why);   // "Programbetöltés"
void shell_refused_ptp(const std::string& path, const std::string& why);       // "PTP csatolás"
void shell_refused_wav(const std::string& path, const std::string& why);       // "WAV betöltés"
void shell_refused_wav_recording(const std::string& path, const std::string& why);   // "WAV mentés"
void shell_disk_not_saved(const std::string& why);   // also on standard error
void shell_sound_failed(const std::string& why);

// Loads and starts a program file as autostart_file does, with the box
// when it is refused; 1 when the file was taken.
int shell_autostart(const char* path, int autostart);
// The status text of an inserted disk: its geometry and protection.
void shell_show_disk(int drive);
