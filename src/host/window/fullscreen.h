// Switching the main window between its window form and a borderless
// window that covers the screen.
#pragma once

class QWidget;

// Toggles the form; returns 0 (it cannot fail).
int ChangeCoopLevel(QWidget* window);
int fullscreen_mode_active();
