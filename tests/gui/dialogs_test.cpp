// Choosers with scripted answers and the colour and tape head dialogs
// driven through their fields.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "devices/screen.h"
#include "gui_app.h"
#include "host/dialogs/ui.h"

namespace {

class Dialogs : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        gui_app();
        ui_install_translations();   // as the program does at start
    }
    void TearDown() override
    {
        ui_set_scripted_answer(nullptr);
        ui_set_dialog_hook(nullptr);
    }
};

std::string chosen(ui_purpose purpose, const std::string& answer)
{
    ui_set_scripted_answer(answer.c_str());
    const std::string name = ui_select_file(nullptr, purpose);
    return (name.empty() ? "0:" : "1:") + name;
}

TEST_F(Dialogs, SaveChoosersAddTheirExtensionOnlyToNamesWithoutADot)
{
    EXPECT_EQ(chosen(UI_SCREENSHOT, "/tmp/kep"), "1:/tmp/kep.bmp");
    EXPECT_EQ(chosen(UI_SCREENSHOT, "/tmp/kep.v1"), "1:/tmp/kep.v1");
    EXPECT_EQ(chosen(UI_SOUND_WAV, "/tmp/hang"), "1:/tmp/hang.wav");
    EXPECT_EQ(chosen(UI_SOUND_WAV, "/tmp/dir.d/hang"), "1:/tmp/dir.d/hang.wav")
        << "a dot in a folder name does not count";
    EXPECT_EQ(chosen(UI_AUTOLOAD, "/tmp/game"), "1:/tmp/game") << "open choosers take the name as it is";
    const std::string deep = "/tmp/" + std::string(300, 'd') + "/kep";
    EXPECT_EQ(chosen(UI_SCREENSHOT, deep), "1:" + deep + ".bmp") << "a path of any length";
}

TEST_F(Dialogs, CancelledChooserLeavesAnEmptyName)
{
    EXPECT_EQ(chosen(UI_DISK_IMAGE, ""), "0:");
    EXPECT_EQ(chosen(ui_purpose{99}, "/tmp/x"), "0:") << "unknown purpose";
    ui_set_scripted_answer("");
    EXPECT_EQ(ui_attach_ptp_file(nullptr), "");
}

TEST_F(Dialogs, TapeWavFilterSelectsAndRemembersTheRate)
{
    const auto dir = std::filesystem::temp_directory_path();
    ui_set_scripted_answer((dir / "brevan_tape_rate").c_str());
    ui_set_scripted_filter(2);
    ui_create_wav(nullptr);
    EXPECT_EQ(ui_tape_wav_rate(), 11025);
    ui_set_scripted_answer("");
    ui_create_wav(nullptr);
    EXPECT_EQ(ui_tape_wav_rate(), 11025) << "a cancelled chooser keeps the last rate";
    std::filesystem::remove(dir / "brevan_tape_rate.wav");
}

TEST_F(Dialogs, RomFileLoadsAtMost16KAndShortFilesOnlyTheirBytes)
{
    const auto path = std::filesystem::temp_directory_path() / "brevan_dialogs.rom";
    std::vector<uint8_t> rom(16384, 0xAA);

    { std::ofstream(path, std::ios::binary).write(std::string(20000, '\x11').data(), 20000); }
    ui_set_scripted_answer(path.c_str());
    EXPECT_EQ(ui_load_rom_file(nullptr, rom.data()), 1);
    EXPECT_EQ(rom[16383], 0x11);

    std::fill(rom.begin(), rom.end(), 0xAA);
    { std::ofstream(path, std::ios::binary).write(std::string(100, '\x22').data(), 100); }
    EXPECT_EQ(ui_load_rom_file(nullptr, rom.data()), 1);
    EXPECT_EQ(rom[99], 0x22);
    EXPECT_EQ(rom[100], 0xAA);

    ui_set_scripted_answer((path.string() + ".missing").c_str());
    testing::internal::CaptureStderr();
    EXPECT_EQ(ui_load_rom_file(nullptr, rom.data()), 0);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("nem található"), std::string::npos) << "said, not silent";
    ui_set_scripted_answer("");
    EXPECT_EQ(ui_load_rom_file(nullptr, rom.data()), 0);
    std::filesystem::remove(path);
}

TEST_F(Dialogs, DriveFolderChooserKeepsTheFolderWhenCancelled)
{
    ui_set_scripted_answer("");
    EXPECT_EQ(gui_set_drive_dir(nullptr, "/home/primo"), "/home/primo");
    ui_set_scripted_answer("/tmp");
    EXPECT_EQ(gui_set_drive_dir(nullptr, "/home/primo"), "/tmp");
}

TEST(ColourText, SixDigitsInBlueGreenRedOrder)
{
    EXPECT_EQ(ui_colour_text(0x000000FF), "0000FF");
    EXPECT_EQ(ui_colour_text(0xFFFFFFFF), "FFFFFF") << "only the low 24 bits are shown";
    uint32_t colour = 7;
    EXPECT_TRUE(ui_colour_from_text("0000ff", &colour));
    EXPECT_EQ(colour, 0x0000FFu);
    EXPECT_FALSE(ui_colour_from_text("12G", &colour));
    EXPECT_FALSE(ui_colour_from_text("1234567", &colour));
    EXPECT_EQ(colour, 0x0000FFu);
}

// What the colour dialog showed and what the hook types into it.
std::array<std::string, 3> shown_fields;
const char* typed_ink = nullptr;
bool accept_dialog = true;

void colour_hook(QDialog* dialog)
{
    const char* names[] = {"paper", "ink", "border"};
    for (int i = 0; i < 3; ++i) {
        auto* field = dialog->findChild<QLineEdit*>(names[i]);
        ASSERT_NE(field, nullptr);
        shown_fields[static_cast<size_t>(i)] = field->text().toStdString();
    }
    if (typed_ink) dialog->findChild<QLineEdit*>("ink")->setText(typed_ink);
    dialog->findChild<QComboBox*>("palette")->setCurrentIndex(2);
    accept_dialog ? dialog->accept() : dialog->reject();
}

TEST_F(Dialogs, ColourDialogShowsAndAcceptsSixHexDigits)
{
    g_ColorPaper = 0x00123456;
    g_ColorInk = 0xFFFFFFFF;
    g_ColorBorder = 0;
    g_ColorPalette = 0;
    typed_ink = "0000FF";
    accept_dialog = true;
    ui_set_dialog_hook(colour_hook);
    EXPECT_EQ(ui_choose_colors(nullptr), 1);
    EXPECT_EQ(shown_fields[0], "123456");
    EXPECT_EQ(shown_fields[1], "FFFFFF");
    EXPECT_EQ(shown_fields[2], "000000");
    EXPECT_EQ(g_ColorInk, 0x000000FFu) << "0000FF is red";
    EXPECT_EQ(g_ColorPaper, 0x00123456u);
    EXPECT_EQ(g_ColorPalette, 2);
}

TEST_F(Dialogs, CancelledColourDialogChangesNothing)
{
    g_ColorInk = 0x00ABCDEF;
    g_ColorPalette = 1;
    typed_ink = "000000";
    accept_dialog = false;
    ui_set_dialog_hook(colour_hook);
    EXPECT_EQ(ui_choose_colors(nullptr), 0);
    EXPECT_EQ(g_ColorInk, 0x00ABCDEFu);
    EXPECT_EQ(g_ColorPalette, 1);
    g_ColorPalette = 0;
}

const char* typed_level = nullptr;
int slider_to = -1;
int slider_start = -1, slider_max = -1, slider_tick = -1;

void head_hook(QDialog* dialog)
{
    auto* slider = dialog->findChild<QSlider*>("slider");
    auto* field = dialog->findChild<QLineEdit*>("level");
    ASSERT_NE(slider, nullptr);
    ASSERT_NE(field, nullptr);
    slider_start = slider->value();
    slider_max = slider->maximum();
    slider_tick = slider->tickInterval();
    if (slider_to >= 0) slider->setValue(slider_to);
    if (typed_level) field->setText(typed_level);
    accept_dialog ? dialog->accept() : dialog->reject();
}

TEST_F(Dialogs, HeadDialogStoresTheTypedLevelMaskedTo127)
{
    uint8_t level = 40;
    typed_level = "200";
    slider_to = -1;
    accept_dialog = true;
    ui_set_dialog_hook(head_hook);
    EXPECT_EQ(ui_tape_adjust_head(nullptr, &level), 1);
    EXPECT_EQ(slider_start, 40);
    EXPECT_EQ(slider_max, 127);
    EXPECT_EQ(slider_tick, 7);
    EXPECT_EQ(level, 72);
}

TEST_F(Dialogs, HeadSliderMovesTheFieldAndCancelKeepsTheLevel)
{
    uint8_t level = 10;
    typed_level = nullptr;
    slider_to = 99;
    accept_dialog = true;
    ui_set_dialog_hook(head_hook);
    EXPECT_EQ(ui_tape_adjust_head(nullptr, &level), 1);
    EXPECT_EQ(level, 99);

    accept_dialog = false;
    slider_to = 5;
    EXPECT_EQ(ui_tape_adjust_head(nullptr, &level), 0);
    EXPECT_EQ(level, 99);
}

QString about_text;
void about_hook(QDialog* dialog)
{
    for (auto* label : dialog->findChildren<QLabel*>()) about_text += label->text() + "\n";
    dialog->accept();
}

TEST_F(Dialogs, AboutNamesTheProgramAndKeyboardPictureHasTheKeys)
{
    ui_set_dialog_hook(about_hook);
    ui_about_dialog(nullptr);
    EXPECT_TRUE(about_text.contains("Brevan"));
    EXPECT_TRUE(about_text.contains(QString::fromUtf8("Primo emulátor")));
    EXPECT_TRUE(about_text.contains(BREVAN_VERSION));
    EXPECT_TRUE(about_text.contains("GNU General Public License 2.")) << about_text.toStdString();

    EXPECT_TRUE(about_text.contains(QString::fromUtf8("Primo A64: beépített firmware")));

    static QStringList captions;
    ui_set_dialog_hook([](QDialog* dialog) {
        for (const QPushButton* b : dialog->findChildren<QPushButton*>()) captions << b->text();
        dialog->accept();
    });
    ui_show_keyboard(nullptr);
    EXPECT_EQ(captions.size(), 62 + 1) << "the 62 Primo keys and OK";
    EXPECT_TRUE(captions.contains("&&\n6")) << "key 6 shows its & instead of taking it as a mnemonic";
}

TEST_F(Dialogs, StandardButtonsSpeakHungarian)
{
    static QStringList buttons;
    ui_set_dialog_hook([](QDialog* dialog) {
        for (const QPushButton* b : dialog->findChildren<QPushButton*>()) buttons << b->text();
        dialog->reject();
    });
    ui_choose_colors(nullptr);
    EXPECT_TRUE(buttons.contains(QString::fromUtf8("Mégse"))) << buttons.join('|').toStdString();
}

} // namespace
