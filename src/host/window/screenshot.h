// Screenshots of the main window's picture.
#pragma once
#include <string>

// Quick screenshot: the first free brevanNNNN.bmp in the current folder.
// Returns the name written, empty when nothing was written.
std::string main_window_quick_screenshot();
// The picture as BMP, or as PNG when the name ends in .png; 1 on success.
int main_window_save_screenshot(const std::string& path);
