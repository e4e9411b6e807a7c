#include "display/x11_display.h"

#include <gtest/gtest.h>

namespace {
TEST(EscapeKeyState, DownNowAndPressedSincePollAreSeparateBits)
{
    char keymap[32] = {};
    const unsigned escape = 9;
    EXPECT_EQ(escape_key_state(keymap, escape, false), 0);
    EXPECT_EQ(escape_key_state(keymap, escape, true), 0x0001);
    keymap[1] = 0x02; // keycode 9: byte 1, bit 1
    EXPECT_EQ(escape_key_state(keymap, escape, false), 0x8000);
    EXPECT_EQ(escape_key_state(keymap, escape, true), 0x8001);
}

TEST(EscapeKeyState, OtherKeysDownDoNotCount)
{
    char keymap[32];
    for (char& byte : keymap)
        byte = static_cast<char>(0xff);
    keymap[1] = static_cast<char>(0xfd); // everything down but keycode 9
    EXPECT_EQ(escape_key_state(keymap, 9, false), 0);
    // The highest keycode reads the last bit of the map.
    char only_last[32] = {};
    only_last[31] = static_cast<char>(0x80);
    EXPECT_EQ(escape_key_state(only_last, 255, false), 0x8000);
    EXPECT_EQ(escape_key_state(only_last, 254, false), 0);
}

TEST(EscapeKeyState, UnmappedEscapeIsNeverDown)
{
    // XKeysymToKeycode gives 0 when no key carries Escape.
    char keymap[32] = {};
    keymap[0] = 0x01;
    EXPECT_EQ(escape_key_state(keymap, 0, false), 0);
}
} // namespace
