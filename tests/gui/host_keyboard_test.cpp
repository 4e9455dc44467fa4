#include <gtest/gtest.h>

#include <QKeyEvent>

#include "devices/input.h"
#include "gui_app.h"
#include "host/platform/host_keyboard.h"

namespace {

// X11 keycodes of a PC keyboard.
constexpr uint32_t KC_2 = 11, KC_A = 38, KC_SEMICOLON = 47, KC_SHIFT_L = 50, KC_Z = 52,
                   KC_V = 55, KC_KP8 = 80, KC_ALT_R = 108;

QKeyEvent key(QEvent::Type type, int qt_key, uint32_t keycode, const QString& text = {},
              Qt::KeyboardModifiers mods = Qt::NoModifier, bool repeat = false)
{
    return QKeyEvent(type, qt_key, mods, keycode, 0, 0, text, repeat);
}

void press(int qt_key, uint32_t keycode, const QString& text = {}, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QKeyEvent e = key(QEvent::KeyPress, qt_key, keycode, text, mods);
    host_keyboard_press(&e);
}

void release(int qt_key, uint32_t keycode, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QKeyEvent e = key(QEvent::KeyRelease, qt_key, keycode, {}, mods);
    host_keyboard_release(&e);
}

class HostKeyboardTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        gui_app();
        keyboard_set_host(host_keyboard());
        host_keyboard_layout_changed();
        host_keyboard_release_all();
    }
    void TearDown() override
    {
        host_keyboard_release_all();
        host_keyboard_layout_changed();
        keyboard_change_mapping(0);
        keyboard_set_host(nullptr);
    }
};

TEST_F(HostKeyboardTest, KeysCountByPlaceNotByWhatTheyType)
{
    // The key right of Left Shift types y on a German layout; it is still HK_Z.
    press(Qt::Key_Y, KC_Z, QStringLiteral("y"));
    EXPECT_EQ(host_keyboard_key_down(HK_Z), 1);
    EXPECT_EQ(host_keyboard_key_down(HK_Y), 0);
    release(Qt::Key_Y, KC_Z);
    EXPECT_EQ(host_keyboard_key_down(HK_Z), 0);
}

TEST_F(HostKeyboardTest, WithoutKeycodesTheQtKeyDecides)
{
    press(Qt::Key_A, 0, QStringLiteral("a"));
    press(Qt::Key_PageDown, 0);
    EXPECT_EQ(host_keyboard_key_down(HK_A), 1);
    EXPECT_EQ(host_keyboard_key_down(HK_PAGE_DOWN), 1);
    release(Qt::Key_A, 0);
    EXPECT_EQ(host_keyboard_key_down(HK_A), 0);
    EXPECT_EQ(host_keyboard_key_down(HK_PAGE_DOWN), 1);
}

TEST_F(HostKeyboardTest, KeypadKeysAreNotTheDigitRow)
{
    QKeyEvent kp8 = key(QEvent::KeyPress, Qt::Key_8, KC_KP8, QStringLiteral("8"), Qt::KeypadModifier);
    EXPECT_TRUE(host_keyboard_is_keypad(&kp8));
    EXPECT_EQ(host_keyboard_key(&kp8), HK_KP_8);
    QKeyEvent kp8_unknown = key(QEvent::KeyPress, Qt::Key_8, 0, QStringLiteral("8"), Qt::KeypadModifier);
    EXPECT_TRUE(host_keyboard_is_keypad(&kp8_unknown));
    EXPECT_EQ(host_keyboard_key(&kp8_unknown), HK_KP_8);
    QKeyEvent row8 = key(QEvent::KeyPress, Qt::Key_8, 17, QStringLiteral("8"));
    EXPECT_FALSE(host_keyboard_is_keypad(&row8));
    EXPECT_EQ(host_keyboard_key(&row8), HK_8);
    // Typing on the keypad teaches nothing about the digit row.
    host_keyboard_press(&kp8);
    EXPECT_EQ(host_keyboard_char_key('8'), HK_8);
}

TEST_F(HostKeyboardTest, AutoRepeatDoesNotStackPresses)
{
    press(Qt::Key_A, KC_A, QStringLiteral("a"));
    QKeyEvent again = key(QEvent::KeyPress, Qt::Key_A, KC_A, QStringLiteral("a"), Qt::NoModifier, true);
    host_keyboard_press(&again);
    release(Qt::Key_A, KC_A);
    EXPECT_EQ(host_keyboard_key_down(HK_A), 0);
}

TEST_F(HostKeyboardTest, BothShiftKeysMustBeReleased)
{
    press(Qt::Key_Shift, KC_SHIFT_L);
    press(Qt::Key_Shift, 62);
    release(Qt::Key_Shift, KC_SHIFT_L);
    EXPECT_EQ(host_keyboard_key_down(HK_SHIFT), 1);
    release(Qt::Key_Shift, 62);
    EXPECT_EQ(host_keyboard_key_down(HK_SHIFT), 0);
}

TEST_F(HostKeyboardTest, ReleaseAllForgetsEveryHeldKey)
{
    press(Qt::Key_Shift, KC_SHIFT_L);
    press(Qt::Key_A, KC_A, QStringLiteral("A"), Qt::ShiftModifier);
    host_keyboard_release_all();
    EXPECT_EQ(host_keyboard_key_down(HK_SHIFT), 0);
    EXPECT_EQ(host_keyboard_key_down(HK_A), 0);
    // A release that comes after does no harm.
    release(Qt::Key_A, KC_A);
    EXPECT_EQ(host_keyboard_key_down(HK_A), 0);
}

TEST_F(HostKeyboardTest, StartsFromTheUsLayout)
{
    EXPECT_EQ(host_keyboard_char_key('a'), HK_A);
    EXPECT_EQ(host_keyboard_char_key('A'), HK_A | KEYMOD_SHIFT);
    EXPECT_EQ(host_keyboard_char_key('"'), int{HK_QUOTE} | KEYMOD_SHIFT);
    EXPECT_EQ(host_keyboard_char_key('@'), HK_2 | KEYMOD_SHIFT);
    EXPECT_EQ(host_keyboard_char_key('\r'), HK_ENTER);
    EXPECT_EQ(host_keyboard_char_key(0xE9), -1);
}

TEST_F(HostKeyboardTest, LearnsTheCharacterAKeyTypesWithItsModifiers)
{
    // Hungarian layout: Shift+2 types ".
    press(Qt::Key_Shift, KC_SHIFT_L);
    press(Qt::Key_QuoteDbl, KC_2, QStringLiteral("\""), Qt::ShiftModifier);
    EXPECT_EQ(host_keyboard_char_key('"'), HK_2 | KEYMOD_SHIFT);
    EXPECT_EQ(host_keyboard_char_key('@'), -1);   // that key no longer types @
    // Learning rebuilt the map without letting go of the keys held.
    EXPECT_EQ(host_keyboard_key_down(HK_SHIFT), 1);
    EXPECT_EQ(host_keyboard_key_down(HK_2), 1);
}

TEST_F(HostKeyboardTest, LearnsHungarianLettersInCp1250)
{
    press(Qt::Key_Eacute, KC_SEMICOLON, QString::fromUtf8("é"));
    EXPECT_EQ(host_keyboard_char_key(0xE9), HK_SEMICOLON);
    EXPECT_EQ(host_keyboard_char_key(';'), -1);
}

TEST_F(HostKeyboardTest, CapsLockLettersTeachNothing)
{
    press(Qt::Key_A, KC_A, QStringLiteral("A"));
    EXPECT_EQ(host_keyboard_char_key('A'), HK_A | KEYMOD_SHIFT);
    EXPECT_EQ(host_keyboard_char_key('a'), HK_A);
}

TEST_F(HostKeyboardTest, AltGrIsCtrlAltToTheLayout)
{
    press(Qt::Key_AltGr, KC_ALT_R);
    EXPECT_EQ(host_keyboard_key_down(HK_ALT), 1);
    EXPECT_EQ(host_keyboard_key_down(HK_CTRL), 1);
    press(Qt::Key_At, KC_V, QStringLiteral("@"));
    EXPECT_EQ(host_keyboard_char_key('@'), HK_V | int{KEYMOD_CTRL} | int{KEYMOD_ALT});
    release(Qt::Key_At, KC_V);
    release(Qt::Key_AltGr, KC_ALT_R);
    EXPECT_EQ(host_keyboard_key_down(HK_ALT), 0);
    EXPECT_EQ(host_keyboard_key_down(HK_CTRL), 0);
}

TEST_F(HostKeyboardTest, ANewInputLanguageStartsLearningAgain)
{
    press(Qt::Key_Eacute, KC_SEMICOLON, QString::fromUtf8("é"));
    host_keyboard_layout_changed();
    EXPECT_EQ(host_keyboard_char_key(0xE9), -1);
    EXPECT_EQ(host_keyboard_char_key(';'), HK_SEMICOLON);
}

TEST_F(HostKeyboardTest, TypedCharactersReachTheSymbolicMatrix)
{
    keyboard_change_mapping(1);
    keyboard_change_model(0);
    press(Qt::Key_Shift, KC_SHIFT_L);
    press(Qt::Key_QuoteDbl, KC_2, QStringLiteral("\""), Qt::ShiftModifier);
    // Position 11 carries 2 and, shifted, ".
    EXPECT_EQ(input_get_key_state(11), 1);
    EXPECT_EQ(input_get_key_state(3), 1);   // the Primo shift follows
    release(Qt::Key_QuoteDbl, KC_2, Qt::ShiftModifier);
    release(Qt::Key_Shift, KC_SHIFT_L);
    EXPECT_EQ(input_get_key_state(11), 0);
}

TEST_F(HostKeyboardTest, PositionalMappingFollowsThePhysicalKey)
{
    keyboard_change_mapping(0);
    press(Qt::Key_Y, KC_Z, QStringLiteral("y"));
    EXPECT_EQ(input_get_key_state(34), 1);   // position 34 is key Z
    EXPECT_EQ(input_get_key_state(0), 0);    // position 0 is key Y
}

TEST(Cp1250, HungarianLettersHaveTheirCodes)
{
    EXPECT_EQ(host_char_to_cp1250(U'ő'), 0xF5);
    EXPECT_EQ(host_char_to_cp1250(U'Ű'), 0xDB);
    EXPECT_EQ(host_char_to_cp1250(U'á'), 0xE1);
    EXPECT_EQ(host_char_to_cp1250(U'A'), 'A');
    EXPECT_EQ(host_char_to_cp1250(U'中'), 0);
}

}  // namespace

TEST(HostKeyboardTap, QuickKeyChangesWaitUntilTheMachineHasScannedThem)
{
    gui_app();
    host_keyboard_release_all();
    host_keyboard_frame_done();   // the main loop is running frames
    auto frames = [](int n) { while (n--) host_keyboard_frame_done(); };

    // A tap within one frame stays down for two.
    press(Qt::Key_A, KC_A, QStringLiteral("a"));
    release(Qt::Key_A, KC_A);
    EXPECT_EQ(host_keyboard_key_down(HK_A), 1);
    frames(1);
    EXPECT_EQ(host_keyboard_key_down(HK_A), 1);
    frames(1);
    EXPECT_EQ(host_keyboard_key_down(HK_A), 0);

    // Pressed again at once: the key is seen up for two frames first, so a
    // doubled letter types twice.
    press(Qt::Key_A, KC_A, QStringLiteral("a"));
    EXPECT_EQ(host_keyboard_key_down(HK_A), 0);
    frames(2);
    EXPECT_EQ(host_keyboard_key_down(HK_A), 1);

    // A key held longer goes up as soon as it is released.
    frames(5);
    release(Qt::Key_A, KC_A);
    EXPECT_EQ(host_keyboard_key_down(HK_A), 0);
}

TEST(HostKeyboardTap, ALongRunOfTapsNeverSticksOrDropsAKey)
{
    gui_app();
    host_keyboard_release_all();
    host_keyboard_frame_done();
    // X11 keycodes 24..33 and 38..46 are the letter rows q..p and a..l.
    for (int round = 0; round < 6; ++round) {
        for (uint32_t code : {24u, 25u, 26u, 27u, 28u, 38u, 39u, 40u, 41u, 42u}) {
            QKeyEvent down(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, code, 0, 0, QStringLiteral("x"));
            QKeyEvent up(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, code, 0, 0, QString());
            host_keyboard_press(&down);
            host_keyboard_release(&up);
            const host_key pressed = host_keyboard_key(&down);
            EXPECT_EQ(host_keyboard_key_down(pressed), 1) << "round " << round << " keycode " << code;
            host_keyboard_frame_done();
            host_keyboard_frame_done();
            EXPECT_EQ(host_keyboard_key_down(pressed), 0) << "round " << round << " keycode " << code;
        }
    }
}

TEST(HostKeyboardTap, TypingFasterThanTheMachineScansLosesNoRelease)
{
    gui_app();
    host_keyboard_release_all();
    host_keyboard_frame_done();
    // A burst of taps, many per frame: the waiting changes pile up, and
    // when there is no more room the oldest goes at once rather than a
    // newer one being dropped.
    for (int round = 0; round < 20; ++round) {
        for (uint32_t code : {24u, 25u, 26u, 27u, 28u}) {
            QKeyEvent down(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, code, 0, 0, QStringLiteral("x"));
            QKeyEvent up(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, code, 0, 0, QString());
            host_keyboard_press(&down);
            host_keyboard_release(&up);
        }
    }
    for (int frame = 0; frame < 400; ++frame) host_keyboard_frame_done();
    for (int k = 1; k < 256; ++k) EXPECT_EQ(host_keyboard_key_down(host_key(k)), 0) << "key " << k;
}
