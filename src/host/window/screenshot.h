// Pictures and the memory dump saved from the window, with what became of
// them in the status bar (and a message box when they failed).
#pragma once
#include <string>

// The user's pictures folder with a Brevan folder in it, where quick
// screenshots and the memory dump go (made when they are saved).
std::string main_window_pictures_folder();
// Quick screenshot: the first free brevanNNNN.bmp there. Returns the path
// written, empty when nothing was written.
std::string main_window_quick_screenshot();
// The memory dump: memdump.bin there. Returns the path, empty on failure.
std::string main_window_memory_dump();
// The picture as BMP, or as PNG when the name ends in .png; 1 on success.
int main_window_save_screenshot(const std::string& path);
