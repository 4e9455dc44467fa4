// The text of --type: its escapes and UTF-8 read into the CP1250 bytes the
// run types, and the host key (with KEYMOD_SHIFT) that types each byte.
// No Qt here, so that the parser can be fuzzed on its own.
#pragma once
#include <cstdint>
#include <string>

// The host key of a byte, a US layout for ASCII and spare key codes for the
// Hungarian letters (shift for the capitals); -1 when none types it.
int scripted_char_key(uint8_t ch);
// UTF-8 to CP1250 for the characters the Primo keyboard has; escapes \n,
// \r, \t and \\. Returns false on a character that cannot be typed (out
// then holds the text up to it).
bool text_for_typing(const char* in, std::string& out);
