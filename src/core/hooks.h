// The few ways the emulated machine reaches the host shell: notifications
// that carry no text for the user (the shell chooses what to show and
// where). The shell installs its functions at start; without them (tests,
// headless) each hook does nothing.
#pragma once

// What the machine did on its own that the user may want to know.
enum class host_note {
    ptp_saved,            // the tape saver wrote a PTP file; subject: its name
    ptp_not_saved,        // it could not; subject: the file's name
    printing_to,          // a print job began; subject: the printer file
    printer_unopenable,   // the printer file cannot be opened; subject: "path: reason"
    printer_unwritable,   // a write to it failed; subject: "path: reason"
    tape_recording_full,  // the tape's WAV recording reached the 4 GB limit
    sound_recording_full, // the sound recording reached the WAV format's limit and was closed
    disk_not_saved,       // a changed disk could not be written back; subject: why
    basic_without_rom,    // a BASIC program was loaded but the built-in firmware has no BASIC; subject: the file
    rom_call_missing,     // a program called a ROM address the built-in firmware lacks (romcall_last)
    ptp_length_mended,    // a PTP file's last data block claimed 3 bytes more than it holds; subject: the file
    text_untypeable,      // a text file holds a character the model cannot type; subject: the file (autostart_text_refusal)
};

struct host_hooks_t {
    void (*update_frame)();                            // present the current frame
    void (*led_update)(int lamp);                      // -1 for none
    void (*tape_lamp)(int on);                         // the tape moves
    void (*note)(host_note what, const char* subject);
    void (*log)(const char* text);                     // diagnostics (log_message); null: off
};

extern host_hooks_t host_hooks;

// Presents a frame: the colour unit's frame step, then the shell's hook.
void UpdateFrame();
void led_update(int n);
void ui_set_led(int on);
void tape_lamp_update(int on);
void host_notify(host_note what, const char* subject = "");
