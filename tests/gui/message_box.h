// The next message box the program opens, answered as a person would.
#pragma once
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <string>

// The text of the next message box (empty until one opened).
inline std::string message_shown;

// Closes the next message box with OK once it is open, keeping its text.
inline void answer_next_message_box()
{
    message_shown.clear();
    QTimer::singleShot(0, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            message_shown = box->text().toStdString();
            box->accept();
        }
    });
}
