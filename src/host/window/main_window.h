// The main window: the frame holding the menu bar, the screen view and the
// status bar; its title, activation, dropped files and the reset button.
// The menu and its commands, the view, the keys and the main loop have
// their own files.
#pragma once
#include <string>

#include "host/window/commands.h"

class QWidget;

// Creates the (hidden) main window with its menu and status bar, and
// installs the host hooks and the host keyboard.
QWidget* main_window_create();
void main_window_destroy();
// The window (owner of the dialogs), null before it is created.
QWidget* main_window();

std::string main_window_title();
void main_window_set_title(const char* title);

// The application became active (1) or went to the background (0).
void main_window_activate(int active);
// Files dropped on the window: a hard reset, 15 frames, then the first
// file is loaded and started.
void main_window_drop_files(const std::string& first_path);
// Holds the Primo's reset button down for 200 ms.
void main_window_hold_reset_button();
// The status bar, with its lamps dark: no drive works yet.
void main_window_create_status_bar();
// After a stall (a menu, a message box): the sound and the pacing go on,
// and the keys held before it are let go.
void main_window_resume_after_stall();
