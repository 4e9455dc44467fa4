// The program as started, for a GUI suite: the window, settings from a
// scratch file, the machine. Register it once per suite.
#pragma once
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QWidget>
#include <memory>
#include <string>

#include "gui_app.h"
#include "host/app/emu.h"
#include "host/app/shell.h"
#include "host/app/ui_registry.h"
#include "host/window/main_window.h"

class ProgramEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        gui_app();
        settings_dir = std::make_unique<QTemporaryDir>();
        settings_file = settings_dir->filePath(QStringLiteral("Brevan.ini")).toStdString();
        prefs_set_file(settings_file.c_str());
        QWidget* window = main_window_create();
        static char name[] = "brevan";
        static char* argv[] = {name, nullptr};
        emu_init(1, argv);
        window->show();
    }
    void TearDown() override
    {
        shell.save_settings_on_exit = false;
        emu_close();
        main_window_destroy();
    }
    std::unique_ptr<QTemporaryDir> settings_dir;
    std::string settings_file;
};
