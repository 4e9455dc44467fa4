// The main window's client area: the presented frame, or the monitor over
// it; scaled to the screen in full screen.
#pragma once

class QWidget;

// Creates the view in the window (sized to the picture).
QWidget* screen_view_create(QWidget* window);
void screen_view_destroyed();   // the window took the view with it
// The view, null before the window exists.
QWidget* main_window_view();
// Shows the machine as it is now at the next paint.
void screen_view_repaint();
// The next frame is drawn even if the display page did not change.
void screen_view_forget_presented();
// In full screen the view takes all of the window.
void screen_view_fill_window();

// A new frame image of the screen's size; 1 on success.
int recreate_bitmap();
// The window follows the screen's size (not in full screen).
void set_screen_params();

// The machine's frame-ready hook: draws the frame and asks for a paint
// when the picture changed.
void hook_update_frame();
