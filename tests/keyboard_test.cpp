#include <gtest/gtest.h>

#include <set>

#include "core/machine.h"
#include "devices/input.h"
#include "support/fake_keyboard.h"

namespace {

class Keyboard : public ::testing::Test {
protected:
    void SetUp() override
    {
        the_machine = machine{};   // a machine of its own
        fake_keyboard_install();
        keyboard_change_mapping(1);
        keyboard_change_model(0);
        keyboard_init();
    }
    void TearDown() override { keyboard_set_host(nullptr); }

    static std::set<int> pressed_positions()
    {
        std::set<int> down;
        for (int p = 0; p < 64; ++p)
            if (p != 3 && input_get_key_state(p)) down.insert(p);
        return down;
    }
};

TEST(KeyboardTables, LayoutsDifferOnlyAtTheTwelvePositions)
{
    const std::set<int> differing{17, 19, 21, 23, 35, 37, 39, 41, 43, 47, 49, 51};
    for (int p = 0; p < 64; ++p) {
        const bool same = kb_symbolic[p] == kb_symbolic[128 + p] && kb_symbolic[64 + p] == kb_symbolic[192 + p];
        EXPECT_EQ(same, differing.count(p) == 0) << "position " << p;
    }
}

TEST(KeyboardNoHost, EveryKeyReadsUp)
{
    keyboard_set_host(nullptr);
    keyboard_init();
    for (int mapping : {0, 1}) {
        keyboard_change_mapping(mapping);
        for (int p = 0; p < 64; ++p) EXPECT_EQ(input_get_key_state(p), 0) << p;
    }
    keyboard_change_mapping(1);
}

TEST_F(Keyboard, PositionalShiftFollowsTheHostShiftKey)
{
    keyboard_change_mapping(0);
    EXPECT_EQ(input_get_key_state(3), 0);
    fake_keyboard_press(HK_SHIFT);
    EXPECT_EQ(input_get_key_state(3), 1);
    EXPECT_EQ(input_get_key_state(3), 1);
    fake_keyboard_release(HK_SHIFT);
    EXPECT_EQ(input_get_key_state(3), 0);
    fake_keyboard_press(HK_A);
    EXPECT_EQ(input_get_key_state(14), 1);
    EXPECT_EQ(input_get_key_state(0x40 | 14), 1);   // only the low six bits count
}

TEST_F(Keyboard, PositionalUnusedPositionsNeverReadDown)
{
    keyboard_change_mapping(0);
    for (int k = 1; k < 256; ++k) fake_keyboard_press(host_key(k));
    EXPECT_EQ(input_get_key_state(54), 0);
    EXPECT_EQ(input_get_key_state(56), 0);
    EXPECT_EQ(input_get_key_state(55), 1);
}

TEST_F(Keyboard, ShiftedCharacterHoldsThePrimoShiftForTenReads)
{
    fake_keyboard_press(HK_SHIFT);
    fake_keyboard_press(HK_2);
    EXPECT_EQ(input_get_key_state(3), 0);    // host Shift never reaches it
    EXPECT_EQ(input_get_key_state(11), 1);   // '"' is Primo shift + 2
    for (int i = 0; i < 10; ++i) EXPECT_EQ(input_get_key_state(3), 1) << i;
    EXPECT_EQ(input_get_key_state(3), 0);
}

TEST_F(Keyboard, PlainCharacterCancelsThePendingShift)
{
    fake_keyboard_press(HK_SHIFT);
    fake_keyboard_press(HK_2);
    EXPECT_EQ(input_get_key_state(11), 1);
    fake_keyboard_release(HK_SHIFT);
    EXPECT_EQ(input_get_key_state(11), 1);   // now the plain '2'
    EXPECT_EQ(input_get_key_state(3), 0);
}

TEST_F(Keyboard, CtrlWithALetterGivesCtrlAndTheLetter)
{
    fake_keyboard_press(HK_CTRL);
    fake_keyboard_press(HK_A);
    EXPECT_EQ(pressed_positions(), (std::set<int>{7, 14}));
}

TEST_F(Keyboard, AltGrMatchesOnlyCharactersThatNeedIt)
{
    fake_keyboard_press(HK_MINUS);
    EXPECT_EQ(pressed_positions(), (std::set<int>{41}));   // '-'
    fake_keyboard_press(HK_CTRL);
    fake_keyboard_press(HK_ALT);
    EXPECT_EQ(pressed_positions(), (std::set<int>{49}));   // '*'
    fake_keyboard_release(HK_ALT);
    EXPECT_EQ(pressed_positions(), (std::set<int>{7, 41}));
}

TEST_F(Keyboard, RightArrowMatchesOnlyWithoutShiftOrAlt)
{
    fake_keyboard_press(HK_RIGHT);
    EXPECT_EQ(input_get_key_state(61), 1);
    fake_keyboard_press(HK_CTRL);
    EXPECT_EQ(input_get_key_state(61), 1);
    fake_keyboard_release(HK_CTRL);
    fake_keyboard_press(HK_SHIFT);
    EXPECT_EQ(input_get_key_state(61), 0);
    fake_keyboard_release(HK_SHIFT);
    fake_keyboard_press(HK_ALT);
    EXPECT_EQ(input_get_key_state(61), 0);
}

TEST_F(Keyboard, MappingSwitchTakesEffectAtTheNextRead)
{
    fake_keyboard_press(HK_SHIFT);
    EXPECT_EQ(input_get_key_state(3), 0);
    keyboard_change_mapping(0);
    EXPECT_EQ(input_get_key_state(3), 1);
    keyboard_change_mapping(1);
    EXPECT_EQ(input_get_key_state(3), 0);
}

TEST_F(Keyboard, SecondLayoutPlacesPunctuationElsewhere)
{
    fake_keyboard_press(HK_SHIFT);
    fake_keyboard_press(HK_COMMA);   // ';'
    EXPECT_EQ(pressed_positions(), (std::set<int>{47}));
    EXPECT_EQ(input_get_key_state(3), 1);

    keyboard_reset();
    fake_keyboard_press(HK_SHIFT);
    fake_keyboard_press(HK_COMMA);
    keyboard_change_model(1);
    EXPECT_EQ(pressed_positions(), (std::set<int>{35}));
    EXPECT_EQ(input_get_key_state(3), 0);
}

TEST_F(Keyboard, CharactersTheLayoutCannotTypeNeverMatch)
{
    fake_keyboard_clear_layout();
    keyboard_init();
    fake_keyboard_press(HK_A);
    fake_keyboard_press(HK_ENTER);
    EXPECT_EQ(pressed_positions(), (std::set<int>{55}));   // raw key codes still work
}

TEST_F(Keyboard, ResetForgetsHeldKeysAndThePendingShift)
{
    const int before = fake_keyboard_release_all_count();
    fake_keyboard_press(HK_SHIFT);
    fake_keyboard_press(HK_2);
    EXPECT_EQ(input_get_key_state(11), 1);
    keyboard_reset();
    EXPECT_EQ(fake_keyboard_release_all_count(), before + 1);
    EXPECT_EQ(input_get_key_state(3), 0);
    EXPECT_EQ(input_get_key_state(11), 0);

    fake_keyboard_press(HK_SHIFT);
    fake_keyboard_press(HK_2);
    EXPECT_EQ(input_get_key_state(11), 1);
    keyboard_init();   // so does a change of host layout
    EXPECT_EQ(input_get_key_state(3), 0);
}

} // namespace
