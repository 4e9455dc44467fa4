// File and folder choosers of the shell, and the test seam they share with
// the dialogs.
#include "host/dialogs/ui.h"

#include <QCoreApplication>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <QString>
#include <QStringList>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "devices/tape.h"
#include "host/app/messages.h"
#include "host/dialogs/ui_seam.h"
#include "media/diskimg.h"
#include "media/fileio.h"
#include "media/snapshot.h"

namespace {

constexpr int ROM_AREA = 16384;

std::optional<std::string> scripted_answer;
int scripted_filter = 0;
void (*dialog_hook)(QDialog*) = nullptr;

std::string drivedir;
int tape_wav_rate = 44100;   // remembered between recordings

enum class chooser_kind { open, save_quietly, save_asking };

struct chooser {
    const char* title;
    std::vector<const char*> filters;
    chooser_kind kind;
};

// Runs a chooser; the chosen name (empty when cancelled) goes to out.
// Returns the 0-based index of the filter picked, or -1 when cancelled.
int run_chooser(QWidget* owner, const chooser& c, std::string& out)
{
    out.clear();
    if (scripted_answer) {
        out = *scripted_answer;
        return out.empty() ? -1 : scripted_filter;
    }
    QStringList filters;
    for (const char* f : c.filters) filters << QString::fromUtf8(f);
    QString selected = filters.value(0);
    QString name;
    const QString title = QString::fromUtf8(c.title);
    const QString joined = filters.join(";;");
    switch (c.kind) {
    case chooser_kind::open:
        name = QFileDialog::getOpenFileName(owner, title, QString(), joined, &selected);
        break;
    case chooser_kind::save_quietly:
        name = QFileDialog::getSaveFileName(owner, title, QString(), joined, &selected,
                                            QFileDialog::DontConfirmOverwrite);
        break;
    case chooser_kind::save_asking:
        name = QFileDialog::getSaveFileName(owner, title, QString(), joined, &selected);
        break;
    }
    if (name.isEmpty()) return -1;
    out = QFile::encodeName(name).toStdString();
    const int index = static_cast<int>(filters.indexOf(selected));
    return index < 0 ? 0 : index;
}

// A name whose last component has no dot gets the extension.
void append_extension(std::string& name, const char* extension)
{
    const size_t slash = name.rfind('/');
    const size_t start = slash == std::string::npos ? 0 : slash + 1;
    if (name.find('.', start) == std::string::npos) name += extension;
}

const chooser disk_image_chooser{
    "Lemezkép behelyezése...",
    {"Lemezképek (*.dsk *.img)", "Minden állomány (*)"},
    chooser_kind::open};
const chooser autoload_chooser{
    "Automatikus indítás...",
    {"Primo állományok (*.ptp *.pri *.bas *.prg *.pss *.pp)", "Minden állomány (*)"},
    chooser_kind::open};
const chooser screenshot_chooser{
    "Képernyőkép mentése más néven...",
    {"BMP képek (*.bmp)", "PNG képek (*.png)", "Minden állomány (*)"},
    chooser_kind::save_quietly};
const chooser sound_wav_chooser{
    "Hangfelvétel WAV formátumban",
    {"16 bit; mono; 48,000 kHz PCM (*.wav)"},
    chooser_kind::save_asking};
const chooser ptp_chooser{
    "PTP szalagkép csatolása...",
    {"PTP szalagképek (*.ptp)", "Minden állomány (*)"},
    chooser_kind::open};
const chooser pss_load_chooser{
    "PSS pillanatkép betöltése",
    {"Primo pillanatképek (*.pss)", "Minden állomány (*)"},
    chooser_kind::open};
const chooser pss_save_chooser{
    "PSS pillanatkép mentése",
    {"Primo pillanatképek (*.pss)", "Minden állomány (*)"},
    chooser_kind::save_asking};
const chooser tape_wav_chooser{
    "Magnófelvétel WAV formátumban",
    {"8 bit; mono; 44,100 kHz PCM (*.wav)", "8 bit; mono; 22,050 kHz PCM (*.wav)",
     "8 bit; mono; 11,025 kHz PCM (*.wav)", "8 bit; mono; 8,000 kHz PCM (*.wav)"},
    chooser_kind::save_asking};
constexpr std::array<int, 4> tape_wav_rates{44100, 22050, 11025, 8000};
const chooser wav_load_chooser{
    "WAV magnófelvétel lejátszása...",
    {"WAV hangállományok (*.wav)", "Minden állomány (*)"},
    chooser_kind::open};
const chooser rom_chooser{
    "Külső ROM betöltése",
    {"Primo ROM-állományok (*.rom)", "Minden állomány (*)"},
    chooser_kind::open};

} // namespace

void ui_install_translations()
{
    static QTranslator* translator = nullptr;
    if (translator || !QCoreApplication::instance()) return;
    // The whole interface is Hungarian, whatever the desktop's language.
    translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(QLocale(QLocale::Hungarian, QLocale::Hungary), QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
}

void ui_set_scripted_answer(const char* name)
{
    if (name)
        scripted_answer = name;
    else
        scripted_answer.reset();
    scripted_filter = 0;
}

void ui_set_scripted_filter(int index) { scripted_filter = index; }

void ui_set_dialog_hook(void (*hook)(QDialog*)) { dialog_hook = hook; }

int ui_tape_wav_rate() { return tape_wav_rate; }

int ui_run_dialog(QDialog& dialog)
{
    if (dialog_hook) {
        dialog_hook(&dialog);
        return dialog.result() == QDialog::Accepted ? 1 : 0;
    }
    if (scripted_answer) {
        if (scripted_answer->empty()) return 0;
        dialog.accept();
        return 1;
    }
    return dialog.exec() == QDialog::Accepted ? 1 : 0;
}

std::string ui_select_file(QWidget* owner, ui_purpose purpose)
{
    const chooser* c = nullptr;
    const char* extension = nullptr;
    switch (purpose) {
    case UI_DISK_IMAGE: c = &disk_image_chooser; break;
    case UI_AUTOLOAD: c = &autoload_chooser; break;
    case UI_SCREENSHOT: c = &screenshot_chooser; extension = ".bmp"; break;
    case UI_SOUND_WAV: c = &sound_wav_chooser; extension = ".wav"; break;
    default: return {};
    }
    std::string name;
    const int filter = run_chooser(owner, *c, name);
    if (filter < 0) return {};
    if (c == &screenshot_chooser && filter == 1) extension = ".png";
    if (extension) append_extension(name, extension);
    return name;
}

int ui_select_cpm_disk(QWidget* owner, std::string& name)
{
    name.clear();
    // One filter per format, in the table's order: the filter picks the format.
    std::vector<std::string> texts;
    for (const cpm_disk_format& f : cpm_disk_formats) {
        const disk_geometry& g = f.geometry;
        char text[96];
        std::snprintf(text, sizeof text, "%d KB: %d oldal, %d sáv, %d szektor - ", g.sides * g.tracks * g.sectors / 2,
                      g.sides, g.tracks, g.sectors);
        texts.push_back(std::string(text) + f.name + " (*.dsk)");
    }
    chooser c{"CP/M rendszerlemez készítése...", {}, chooser_kind::save_asking};
    for (const std::string& t : texts) c.filters.push_back(t.c_str());
    const int filter = run_chooser(owner, c, name);
    if (filter < 0 || filter >= static_cast<int>(texts.size())) {
        name.clear();
        return -1;
    }
    append_extension(name, ".dsk");
    return filter;
}

std::string ui_attach_ptp_file(QWidget* owner)
{
    std::string name;
    run_chooser(owner, ptp_chooser, name);
    return name;
}

void ui_load_pss(QWidget* owner)
{
    std::string name, why;
    if (run_chooser(owner, pss_load_chooser, name) < 0) return;
    if (!snapshot_load(name.c_str(), &why))
        host_message_box("PSS betöltés", ("A(z) \"" + name + "\" nem tölthető be: " + why).c_str());
}

void ui_save_pss(QWidget* owner)
{
    std::string name, why;
    if (run_chooser(owner, pss_save_chooser, name) < 0) return;
    append_extension(name, ".pss");
    ui_report_save("Pillanatkép", name, snapshot_save(name.c_str(), &why), why);
}

bool ui_report_save(const char* what, const std::string& path, bool ok, const std::string& why)
{
    if (ok) {
        StatusBarText("%s mentve: %s", what, path.c_str());
        return true;
    }
    StatusBarText("%s nem menthető: %s", what, path.c_str());
    host_message_box((std::string(what) + " mentése").c_str(), ("A(z) \"" + path + "\" nem menthető: " + why).c_str());
    return false;
}

void ui_create_wav(QWidget* owner)
{
    std::string name;
    const int filter = run_chooser(owner, tape_wav_chooser, name);
    if (filter >= 0) {
        append_extension(name, ".wav");
        if (filter < static_cast<int>(tape_wav_rates.size())) tape_wav_rate = tape_wav_rates[static_cast<size_t>(filter)];
    }
    if (std::string why; !name.empty() && !tape_create_wav(name.c_str(), tape_wav_rate, &why))
        shell_refused_wav_recording(name, why);
}

void ui_load_wav(QWidget* owner)
{
    std::string name;
    run_chooser(owner, wav_load_chooser, name);
    tape_close();
    if (std::string why; !name.empty() && !tape_open_wav(name.c_str(), &why)) shell_refused_wav(name, why);
}

int ui_load_rom_file(QWidget* owner, uint8_t* rom_area)
{
    std::string name;
    if (!rom_area || run_chooser(owner, rom_chooser, name) < 0) return 0;
    std::string why = file_unreadable_reason(name.c_str());
    std::ifstream file(name, std::ios::binary);
    if (why.empty() && !file) why = "nem nyitható meg: " + file_error_text(errno);
    std::array<char, ROM_AREA> data{};
    file.read(data.data(), ROM_AREA);
    const auto count = file.gcount();
    if (why.empty() && count <= 0) why = "üres állomány";
    if (!why.empty()) {
        host_message_box("Külső ROM betöltése", ("A(z) \"" + name + "\" nem tölthető be: " + why).c_str());
        return 0;
    }
    std::memcpy(rom_area, data.data(), static_cast<size_t>(count));
    return 1;
}

std::string gui_set_drive_dir(QWidget* owner, const std::string& folder)
{
    drivedir = folder;
    QString chosen;
    if (scripted_answer) {
        chosen = QString::fromStdString(*scripted_answer);
    } else {
        chosen = QFileDialog::getExistingDirectory(owner, QString::fromUtf8("Lemezegység könyvtára:"),
                                                   QFile::decodeName(drivedir.c_str()),
                                                   QFileDialog::ShowDirsOnly);
    }
    if (!chosen.isEmpty()) drivedir = QFile::encodeName(chosen).toStdString();
    return drivedir;
}
