// The main window: the screen, the menu and its commands, keys, dropped
// files, activation, and the main loop that alternates between them and
// emulated frames.
#pragma once
#include <string>

class QWidget;
class QAction;

// Creates the (hidden) main window with its menu and status bar, and
// installs the host hooks and the host keyboard.
QWidget* main_window_create();
void main_window_destroy();
QWidget* main_window();

// A menu command, with the sound paused around it, the pacing reset and
// the keys released after it.
void main_window_command(int command);
QAction* main_window_action(int command);
int main_window_checked(int command);
std::string main_window_title();
void main_window_set_title(const char* title);

// The application became active (1) or went to the background (0).
void main_window_activate(int active);
// Files dropped on the window: a hard reset, 15 frames, then the first
// file is loaded and started.
void main_window_drop_files(const char* first_path);

// The client area showing the screen.
QWidget* main_window_view();

// Quick screenshot: the first free brevanNNNN.bmp in the current folder.
// Returns the name written, empty when nothing was written.
std::string main_window_quick_screenshot();
// The picture as BMP, or as PNG when the name ends in .png; 1 on success.
int main_window_save_screenshot(const char* path);

// Types the clipboard's text into the machine.
void gui_paste_from_clipboard(void* window);

// The main loop: frames and events until the window closes.
void main_loop_run();
// One pass of the loop (events, then a frame when active); 0 once the
// window has closed.
int main_loop_pass();
int main_window_quit_requested();
