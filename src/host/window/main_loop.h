// The main loop: window events and emulated frames in turn, paced to 50
// frames a second, until the window closes.
#pragma once

void main_loop_run();
// One pass of the loop (events, then a frame when active); 0 once the
// window has closed.
int main_loop_pass();
int main_window_quit_requested();
