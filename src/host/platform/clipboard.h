// The host clipboard as text the Primo can type.
#pragma once

// Types the clipboard's text into the machine in place of what is left of
// an earlier paste; nothing when it holds no text. A text the model cannot
// type is refused with a message naming the character.
void gui_paste_from_clipboard();
