#include "host/window/screenshot.h"

#include <QStandardPaths>
#include <QString>
#include <cstdio>
#include <filesystem>

#include "core/memory.h"
#include "host/app/screenshot_file.h"
#include "host/dialogs/ui.h"

namespace {

// The folder, made if need be; an error there shows in the save's reason.
std::filesystem::path pictures()
{
    const std::filesystem::path folder = main_window_pictures_folder();
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    return folder;
}

}  // namespace

std::string main_window_pictures_folder()
{
    QString base = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (base.isEmpty()) base = QStandardPaths::writableLocation(QStandardPaths::HomeLocation);
    return (std::filesystem::path(base.toStdString()) / "Brevan").string();
}

std::string main_window_quick_screenshot()
{
    const std::filesystem::path folder = pictures();
    for (int n = 0; n < 100000; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "brevan%.4d.bmp", n);
        const std::filesystem::path path = folder / name;
        std::error_code ec;
        if (std::filesystem::exists(path, ec)) continue;
        return main_window_save_screenshot(path.string()) ? path.string() : std::string();
    }
    ui_report_save("Képernyőkép", (folder / "brevan9999.bmp").string(), false, "nincs több szabad név");
    return {};
}

std::string main_window_memory_dump()
{
    const std::string path = (pictures() / "memdump.bin").string();
    std::string why;
    return ui_report_save("Memóriakép", path, mem_dump(path.c_str(), &why) == 1, why) ? path : std::string();
}

int main_window_save_screenshot(const std::string& path)
{
    if (path.empty()) return 0;
    std::string why;
    return ui_report_save("Képernyőkép", path, screenshot_save(path, &why) == 1, why) ? 1 : 0;
}
