#include "host/platform/clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <string>

#include "devices/input.h"
#include "host/platform/host_keyboard.h"

void gui_paste_from_clipboard()
{
    const QString text = QGuiApplication::clipboard()->text();
    if (text.isEmpty()) return;
    std::string bytes;
    bytes.reserve(static_cast<size_t>(text.size()) + 16);
    const std::u32string wide = text.toStdU32String();
    for (size_t i = 0; i < wide.size(); ++i) {
        // Lines end in CR LF, as the Primo's Enter is CR.
        if (wide[i] == U'\n' && (i == 0 || wide[i - 1] != U'\r')) bytes += '\r';
        const uint8_t ch = host_char_to_cp1250(wide[i]);
        if (ch) bytes += static_cast<char>(ch);
    }
    keyboard_open_from_buffer(bytes.c_str());
}
