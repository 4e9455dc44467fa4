#include "host/platform/clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <string>
#include <vector>

#include "core/machine.h"
#include "devices/typing.h"
#include "host/app/messages.h"
#include "host/app/typing_words.h"

void gui_paste_from_clipboard()
{
    const QString text = QGuiApplication::clipboard()->text();
    if (text.isEmpty()) return;
    const QByteArray utf8 = text.toUtf8();
    std::vector<typing_step> steps;
    const std::string why = typing_steps({utf8.constData(), static_cast<size_t>(utf8.size())}, false, machine_model, steps);
    if (!why.empty()) {
        host_message_box("Beillesztés", ("A vágólap szövege nem gépelhető be: " + why).c_str());
        return;
    }
    typing_stop();   // a new paste replaces what is left of the last
    typing_queue(steps);
}
