// Game controllers through SDL2. SDL keeps each open controller's state up
// to date while its events are pumped; the joystick readout only asks for
// that state, so reading it inside the processor run costs little.
#include "host/platform/host_joystick.h"

#include <SDL.h>

#include <string>

#include "host/app/messages.h"
#include "devices/input.h"

namespace {

constexpr int AXIS_OFFSET = 32768;   // SDL axes -32768..32767 as 0..65535

bool subsystem_ours = false;
SDL_GameController* controller = nullptr;
SDL_JoystickID controller_id = -1;
std::string controller_name;
uint32_t dead_low = 0;
uint32_t dead_high = 0;

bool pressed(SDL_GameControllerButton button)
{
    return SDL_GameControllerGetButton(controller, button) != 0;
}

uint32_t axis(SDL_GameControllerAxis which)
{
    return static_cast<uint32_t>(SDL_GameControllerGetAxis(controller, which) + AXIS_OFFSET);
}

int poll(int controls[JOY_CONTROLS])
{
    if (!controller) return 0;
    const uint32_t x = axis(SDL_CONTROLLER_AXIS_LEFTX);
    const uint32_t y = axis(SDL_CONTROLLER_AXIS_LEFTY);
    controls[JOY_LEFT] = x < dead_low || pressed(SDL_CONTROLLER_BUTTON_DPAD_LEFT);
    controls[JOY_DOWN] = y > dead_high || pressed(SDL_CONTROLLER_BUTTON_DPAD_DOWN);
    controls[JOY_RIGHT] = x > dead_high || pressed(SDL_CONTROLLER_BUTTON_DPAD_RIGHT);
    controls[JOY_UP] = y < dead_low || pressed(SDL_CONTROLLER_BUTTON_DPAD_UP);
    // The Primo stick has one button: any face button fires.
    controls[JOY_FIRE] = pressed(SDL_CONTROLLER_BUTTON_A) || pressed(SDL_CONTROLLER_BUTTON_B) ||
                         pressed(SDL_CONTROLLER_BUTTON_X) || pressed(SDL_CONTROLLER_BUTTON_Y);
    return 1;
}

const host_joystick_t sdl_joystick{poll};

void release()
{
    if (!controller) return;
    SDL_GameControllerClose(controller);
    controller = nullptr;
    controller_id = -1;
    controller_name.clear();
    for (int c = 0; c < JOY_CONTROLS; ++c) set_joy_buttons_state(1, c, 0);
}

bool use(int device_index)
{
    if (!SDL_IsGameController(device_index)) return false;
    if (controller && SDL_JoystickGetDeviceInstanceID(device_index) == controller_id) return true;
    SDL_GameController* opened = SDL_GameControllerOpen(device_index);
    if (!opened) return false;
    release();
    controller = opened;
    controller_id = SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(opened));
    const char* name = SDL_GameControllerName(opened);
    controller_name = name ? name : "?";
    StatusBarText("Botkormány: %s", controller_name.c_str());
    return true;
}

void use_any()
{
    for (int i = 0; i < SDL_NumJoysticks(); ++i)
        if (use(i)) return;
}

} // namespace

int host_joystick_open()
{
    // No SDL window exists: controller events must flow regardless, and
    // the terminal's signals stay ours.
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (!SDL_WasInit(SDL_INIT_GAMECONTROLLER)) {
        if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0) return 0;
        subsystem_ours = true;
    }
    joy_dead_zone(0, 2 * AXIS_OFFSET - 1, &dead_low, &dead_high);
    // The controllers already there are announced as plugged in: the first
    // one is taken here, not the last one announced.
    SDL_PumpEvents();
    SDL_FlushEvent(SDL_CONTROLLERDEVICEADDED);
    use_any();
    joystick_set_host(&sdl_joystick);
    return 1;
}

void host_joystick_close()
{
    joystick_set_host(nullptr);
    release();
    if (subsystem_ours) {
        SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
        subsystem_ours = false;
    }
}

void host_joystick_poll_events()
{
    if (!SDL_WasInit(SDL_INIT_GAMECONTROLLER)) return;
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        if (event.type == SDL_CONTROLLERDEVICEADDED) {
            use(event.cdevice.which);
        } else if (event.type == SDL_CONTROLLERDEVICEREMOVED && event.cdevice.which == controller_id) {
            release();
            use_any();
            if (!controller) StatusBarText("Botkormány kihúzva; a numerikus billentyűzet maradt.");
        }
    }
}

const char* host_joystick_name() { return controller ? controller_name.c_str() : nullptr; }
