#include "core/hooks.h"

#include <cstdio>
#include <string>

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

static void status_vtext(int part, const char* format, va_list args)
{
    if (!host_hooks.status_text) return;
    // As long as the text is: status texts carry paths.
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
    std::vsnprintf(text.data(), text.size() + 1, format, again);
    va_end(again);
    host_hooks.status_text(part, text.c_str());
}

void StatusBarPartText(int part, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    status_vtext(part, format, args);
    va_end(args);
}

void StatusBarText(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    status_vtext(2, format, args);
    va_end(args);
}

void host_message_box(const char* title, const char* text)
{
    if (host_hooks.message_box)
        host_hooks.message_box(title, text);
    else
        std::fprintf(stderr, "%s: %s\n", title, text);
}

void tape_lamp_update(int on)
{
    if (host_hooks.tape_lamp) host_hooks.tape_lamp(on);
}

void typing_refused(const char* source, const typing_refusal& refusal)
{
    if (host_hooks.typing_refused) host_hooks.typing_refused(source, refusal);
}
