#include "core/hooks.h"

#include "devices/screen.h"

host_hooks_t host_hooks{};

void UpdateFrame()
{
    screen_present_frame();
    if (host_hooks.update_frame) host_hooks.update_frame();
}

void led_update(int n)
{
    if (host_hooks.led_update) host_hooks.led_update(n);
}

void ui_set_led(int on)
{
    led_update(on ? 0 : -1);
}

void tape_lamp_update(int on)
{
    if (host_hooks.tape_lamp) host_hooks.tape_lamp(on);
}

void host_notify(host_note what, const char* subject)
{
    if (host_hooks.note) host_hooks.note(what, subject ? subject : "");
}
