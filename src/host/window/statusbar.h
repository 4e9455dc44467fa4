// The status bar at the bottom of the main window: the model's name, four
// drive lamps drawn by us, and a message area; texts carry tooltips.
#pragma once

class QWidget;
class QRect;
class QString;

// Creates the bar in the main window (appended to its box layout), with
// lamp 0 lit. Does nothing when a bar exists.
void CreateStatusBar(QWidget* main_window);
void DestroyStatusBar();
int StatusBarHeight();            // 0 without a bar
void StatusBarRedraw();

// Hook targets: the text of part 0 or 2 (also its tooltip) and the lamps.
void status_bar_set_text(int part, const char* text);
void status_bar_led_update(int n);   // lamp n lit, the others dark; -1 none
void status_bar_tape_lamp(int on);   // the tape lamp (green) beside the drive lamps

// For the window and its tests.
QWidget* status_bar_widget();
int status_bar_led_state();
int status_bar_tape_lamp_state();
const char* status_bar_text(int part);
QString status_bar_shown_text(int part);   // as last drawn
QRect status_bar_led_rect(int lamp);   // in the bar's coordinates; 4 is the tape lamp
