// The main window's menu: its table of menus, items, accelerators and the
// command each item runs, built into QActions; the items' marks and texts.
#pragma once
#include <string>

#include "host/window/commands.h"

class QAction;
class QMenuBar;
class QWidget;

// Builds the menus into the bar; accelerators belong to the window.
void menu_build(QWidget* window, QMenuBar* bar);
// Forgets the actions (the window that owned them is gone).
void menu_forget();
// What the item of a command runs; null for a command without an item.
void (*menu_handler(command_id command))();

// The item of a command, null when there is none.
QAction* main_window_action(command_id command);
// Does the item carry its mark?
bool main_window_checked(command_id command);
void menu_check(command_id command, bool checked);
// The insert item of a drive shows the image in it, or "<üres>" for none.
void menu_show_drive(int drive, const std::string& image);
