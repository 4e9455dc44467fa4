// The host clipboard as text the Primo can type.
#pragma once

// Types the clipboard's text into the machine (CP1250, lines ending in
// CR LF); nothing when it holds no text.
void gui_paste_from_clipboard();
