// Screenshots as files, for the window and for headless runs.
#pragma once
#include <string>

// The picture of the current frame as a BMP file, or as PNG when the name
// ends in .png (any case). Returns 1, or 0 with the reason in why (when
// given) and a file of that name left as it was.
int screenshot_save(const std::string& path, std::string* why = nullptr);
