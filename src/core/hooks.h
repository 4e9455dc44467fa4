// The few ways the emulated machine reaches the host shell. The shell
// installs its functions at start; without them (tests, headless) each
// hook does nothing.
#pragma once
#include <cstdarg>

struct typing_refusal;

struct host_hooks_t {
    void (*update_frame)();                 // present the current frame
    void (*led_update)(int lamp);           // -1 for none
    void (*status_text)(int part, const char* text);
    void (*message_box)(const char* title, const char* text);
    void (*tape_lamp)(int on);              // the tape moves
    // A text the model's keyboard cannot type was refused; source is the
    // file it came from.
    void (*typing_refused)(const char* source, const typing_refusal& refusal);
};

extern host_hooks_t host_hooks;

// Presents a frame: the colour unit's frame step, then the shell's hook.
void UpdateFrame();
void led_update(int n);
void ui_set_led(int on);
void StatusBarPartText(int part, const char* format, ...) __attribute__((format(printf, 2, 3)));
void StatusBarText(const char* format, ...) __attribute__((format(printf, 1, 2)));
void host_message_box(const char* title, const char* text);
void tape_lamp_update(int on);
void typing_refused(const char* source, const typing_refusal& refusal);
