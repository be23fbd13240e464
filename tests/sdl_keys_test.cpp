// The SDL backend's translation of keys and mouse buttons into the platform's
// terms. Expected values are the Win32 numbers written out, not the layer's
// own constants, so a wrong constant fails too. Scancode and symbol pairs are
// the ones SDL 2.26 delivers under X11 (measured with xdotool in Xvfb), plus
// the other layouts a user may have.

#include <gtest/gtest.h>

#include <SDL_keycode.h>

#include "platform/sdl/sdl_keys.h"

namespace {

using pxNative::sdl::virtualKey;

SDL_Scancode scancode(int value) { return static_cast<SDL_Scancode>(value); }
// The symbol SDL gives a key that types no character.
SDL_Keycode symbolOf(int code) { return SDL_SCANCODE_TO_KEYCODE(code); }

TEST(SdlKeys, LettersAreCapitalWhateverShiftDoes) {
    // SDL reports the unshifted, lower-case symbol with or without Shift.
    for (int i = 0; i < 26; ++i)
        EXPECT_EQ(virtualKey(scancode(SDL_SCANCODE_A + i), 'a' + i), 'A' + i) << static_cast<char>('a' + i);
}

TEST(SdlKeys, LettersFollowTheLayout) {
    // AZERTY: the key where a US keyboard has Q types 'a' and is VK 'A'.
    EXPECT_EQ(virtualKey(SDL_SCANCODE_Q, 'a'), 'A');
    EXPECT_EQ(virtualKey(SDL_SCANCODE_SEMICOLON, 'm'), 'M');
    // A layout without Latin letters (Cyrillic ef on the A key): the key's
    // place on a US keyboard.
    EXPECT_EQ(virtualKey(SDL_SCANCODE_A, 0x444), 'A');
    EXPECT_EQ(virtualKey(SDL_SCANCODE_Z, 0x44F), 'Z');
}

TEST(SdlKeys, DigitsOfTheMainRow) {
    const SDL_Keycode symbols[10] = {'1', '2', '3', '4', '5', '6', '7', '8', '9', '0'};
    for (int i = 0; i < 10; ++i) EXPECT_EQ(virtualKey(scancode(SDL_SCANCODE_1 + i), symbols[i]), symbols[i]) << i;
    // A layout whose digit row types symbols (AZERTY's '&' and e-acute).
    EXPECT_EQ(virtualKey(SDL_SCANCODE_1, '&'), '1');
    EXPECT_EQ(virtualKey(SDL_SCANCODE_2, 0xE9), '2');
    EXPECT_EQ(virtualKey(SDL_SCANCODE_0, 0xE0), '0');
}

TEST(SdlKeys, KeysWhoseSymbolIsTheirCode) {
    EXPECT_EQ(virtualKey(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE), 27);
    EXPECT_EQ(virtualKey(SDL_SCANCODE_RETURN, SDLK_RETURN), 13);
    EXPECT_EQ(virtualKey(SDL_SCANCODE_TAB, SDLK_TAB), 9);
    EXPECT_EQ(virtualKey(SDL_SCANCODE_BACKSPACE, SDLK_BACKSPACE), 8);
    EXPECT_EQ(virtualKey(SDL_SCANCODE_SPACE, SDLK_SPACE), 32);
}

TEST(SdlKeys, FunctionKeys) {
    for (int i = 0; i < 12; ++i) EXPECT_EQ(virtualKey(scancode(58 + i), symbolOf(58 + i)), 112 + i) << "F" << i + 1;
    EXPECT_EQ(virtualKey(SDL_SCANCODE_F1, SDLK_F1), 112);
    EXPECT_EQ(virtualKey(SDL_SCANCODE_F12, SDLK_F12), 123);
}

TEST(SdlKeys, ArrowsAndTheKeysAboveThem) {
    // Scancodes 79..82 run right, left, down, up; the virtual keys run left,
    // up, right, down.
    EXPECT_EQ(virtualKey(SDL_SCANCODE_RIGHT, SDLK_RIGHT), 39);
    EXPECT_EQ(virtualKey(SDL_SCANCODE_LEFT, SDLK_LEFT), 37);
    EXPECT_EQ(virtualKey(SDL_SCANCODE_DOWN, SDLK_DOWN), 40);
    EXPECT_EQ(virtualKey(SDL_SCANCODE_UP, SDLK_UP), 38);
    EXPECT_EQ(virtualKey(SDL_SCANCODE_INSERT, SDLK_INSERT), 45);
    EXPECT_EQ(virtualKey(SDL_SCANCODE_DELETE, SDLK_DELETE), 46);
    EXPECT_EQ(virtualKey(SDL_SCANCODE_HOME, SDLK_HOME), 36);
    EXPECT_EQ(virtualKey(SDL_SCANCODE_END, SDLK_END), 35);
    EXPECT_EQ(virtualKey(SDL_SCANCODE_PAGEUP, SDLK_PAGEUP), 33);
    EXPECT_EQ(virtualKey(SDL_SCANCODE_PAGEDOWN, SDLK_PAGEDOWN), 34);
}

TEST(SdlKeys, ModifiersKeepTheirSide) {
    // Scancodes 224..230; the core folds each pair into 16, 17 or 18.
    EXPECT_EQ(virtualKey(SDL_SCANCODE_LCTRL, SDLK_LCTRL), 0xA2);
    EXPECT_EQ(virtualKey(SDL_SCANCODE_RCTRL, SDLK_RCTRL), 0xA3);
    EXPECT_EQ(virtualKey(SDL_SCANCODE_LSHIFT, SDLK_LSHIFT), 0xA0);
    EXPECT_EQ(virtualKey(SDL_SCANCODE_RSHIFT, SDLK_RSHIFT), 0xA1);
    EXPECT_EQ(virtualKey(SDL_SCANCODE_LALT, SDLK_LALT), 0xA4);
    EXPECT_EQ(virtualKey(SDL_SCANCODE_RALT, SDLK_RALT), 0xA5);
    EXPECT_EQ(virtualKey(SDL_SCANCODE_LGUI, SDLK_LGUI), 0x5B);
    EXPECT_EQ(virtualKey(SDL_SCANCODE_RGUI, SDLK_RGUI), 0x5C);
}

TEST(SdlKeys, KeypadIsNotTheMainKeyboard) {
    // Scancodes 89..97 are keypad 1..9 and 98 is keypad 0; SDL gives them
    // their own symbols whether Num Lock is on or off.
    for (int i = 1; i <= 9; ++i)
        EXPECT_EQ(virtualKey(scancode(SDL_SCANCODE_KP_1 + i - 1), symbolOf(SDL_SCANCODE_KP_1 + i - 1)), 0x60 + i)
            << "keypad " << i;
    EXPECT_EQ(virtualKey(SDL_SCANCODE_KP_0, SDLK_KP_0), 0x60);
    EXPECT_EQ(virtualKey(SDL_SCANCODE_KP_PERIOD, SDLK_KP_PERIOD), 0x6E);
    EXPECT_EQ(virtualKey(SDL_SCANCODE_KP_DIVIDE, SDLK_KP_DIVIDE), 0x6F);
    EXPECT_EQ(virtualKey(SDL_SCANCODE_KP_MULTIPLY, SDLK_KP_MULTIPLY), 0x6A);
    EXPECT_EQ(virtualKey(SDL_SCANCODE_KP_MINUS, SDLK_KP_MINUS), 0x6D);
    EXPECT_EQ(virtualKey(SDL_SCANCODE_KP_PLUS, SDLK_KP_PLUS), 0x6B);
    EXPECT_EQ(virtualKey(SDL_SCANCODE_KP_ENTER, SDLK_KP_ENTER), 13);
    EXPECT_EQ(virtualKey(SDL_SCANCODE_NUMLOCKCLEAR, SDLK_NUMLOCKCLEAR), 0x90);
}

TEST(SdlKeys, PunctuationOfAUsKeyboard) {
    EXPECT_EQ(virtualKey(SDL_SCANCODE_SEMICOLON, ';'), 0xBA);
    EXPECT_EQ(virtualKey(SDL_SCANCODE_EQUALS, '='), 0xBB);
    EXPECT_EQ(virtualKey(SDL_SCANCODE_COMMA, ','), 0xBC);
    EXPECT_EQ(virtualKey(SDL_SCANCODE_MINUS, '-'), 0xBD);
    EXPECT_EQ(virtualKey(SDL_SCANCODE_PERIOD, '.'), 0xBE);
    EXPECT_EQ(virtualKey(SDL_SCANCODE_SLASH, '/'), 0xBF);
    EXPECT_EQ(virtualKey(SDL_SCANCODE_GRAVE, '`'), 0xC0);
    EXPECT_EQ(virtualKey(SDL_SCANCODE_LEFTBRACKET, '['), 0xDB);
    EXPECT_EQ(virtualKey(SDL_SCANCODE_BACKSLASH, '\\'), 0xDC);
    EXPECT_EQ(virtualKey(SDL_SCANCODE_RIGHTBRACKET, ']'), 0xDD);
    EXPECT_EQ(virtualKey(SDL_SCANCODE_APOSTROPHE, '\''), 0xDE);
}

TEST(SdlKeys, KeysWithoutAVirtualKeyGiveZero) {
    EXPECT_EQ(virtualKey(SDL_SCANCODE_UNKNOWN, SDLK_UNKNOWN), 0);
    // Media keys: the framework has no code for them.
    EXPECT_EQ(virtualKey(SDL_SCANCODE_MUTE, SDLK_MUTE), 0);
    EXPECT_EQ(virtualKey(SDL_SCANCODE_AUDIONEXT, SDLK_AUDIONEXT), 0);
    // A scancode SDL does not name, with the symbol SDL derives from it.
    EXPECT_EQ(virtualKey(scancode(400), symbolOf(400)), 0);
}

TEST(SdlKeys, EveryKeyGivesZeroOrAKeyOfTheTable) {
    // Whatever SDL pairs with a scancode, the code fits the layer's 256-entry
    // key state (0 means no key).
    const SDL_Keycode symbols[] = {SDLK_UNKNOWN, 'a', 'z', '0', '9', ';', 0x444, 0xE9, SDLK_CAPSLOCK, SDLK_KP_1};
    for (int code = 0; code < SDL_NUM_SCANCODES; ++code) {
        for (const SDL_Keycode symbol : symbols) {
            const int vk = virtualKey(scancode(code), symbol);
            EXPECT_TRUE(vk >= 0 && vk <= 255) << "scancode " << code << " symbol " << symbol << ": " << vk;
        }
        const int own = virtualKey(scancode(code), symbolOf(code));
        EXPECT_TRUE(own >= 0 && own <= 255) << "scancode " << code << ": " << own;
    }
}

TEST(SdlButtons, TheThreeButtonsAndNoOthers) {
    using pxNative::input::Button;
    Button button = Button::right;
    ASSERT_TRUE(pxNative::sdl::mouseButton(1, button));
    EXPECT_EQ(button, Button::left);
    // SDL numbers the middle button 2 and the right one 3.
    ASSERT_TRUE(pxNative::sdl::mouseButton(2, button));
    EXPECT_EQ(button, Button::middle);
    ASSERT_TRUE(pxNative::sdl::mouseButton(3, button));
    EXPECT_EQ(button, Button::right);
    for (const Uint8 extra : {Uint8{0}, Uint8{4}, Uint8{5}, Uint8{6}, Uint8{255}}) {
        button = Button::middle;
        EXPECT_FALSE(pxNative::sdl::mouseButton(extra, button)) << int{extra};
        EXPECT_EQ(button, Button::middle) << "refused button " << int{extra} << " changed the result";
    }
}

// Only the releases SDL makes up as the focus goes, never a real one that
// happens to be followed by other events.
TEST(SdlKeys, OnlyTheReleasesThatComeWithTheFocusLossAreMadeUp) {
    const auto keyUp = [](Uint32 window) {
        SDL_Event event{};
        event.type = SDL_KEYUP;
        event.key.type = SDL_KEYUP;
        event.key.windowID = window;
        return event;
    };
    const auto windowEvent = [](Uint32 window, Uint8 what) {
        SDL_Event event{};
        event.type = SDL_WINDOWEVENT;
        event.window.windowID = window;
        event.window.event = what;
        return event;
    };
    SDL_Event motion{};
    motion.type = SDL_MOUSEMOTION;
    const SDL_Event release = keyUp(1);
    using pxNative::sdl::releasedByFocusLoss;

    const SDL_Event focusGoes[] = {keyUp(1), keyUp(1), windowEvent(1, SDL_WINDOWEVENT_FOCUS_LOST)};
    EXPECT_TRUE(releasedByFocusLoss(release.key, focusGoes, 3));
    EXPECT_TRUE(releasedByFocusLoss(release.key, focusGoes + 2, 1));

    const SDL_Event later[] = {motion, windowEvent(1, SDL_WINDOWEVENT_FOCUS_LOST)};
    EXPECT_FALSE(releasedByFocusLoss(release.key, later, 2)) << "a release before other input is real";
    const SDL_Event otherWindow[] = {windowEvent(2, SDL_WINDOWEVENT_FOCUS_LOST)};
    EXPECT_FALSE(releasedByFocusLoss(release.key, otherWindow, 1));
    const SDL_Event otherEvent[] = {windowEvent(1, SDL_WINDOWEVENT_FOCUS_GAINED)};
    EXPECT_FALSE(releasedByFocusLoss(release.key, otherEvent, 1));
    EXPECT_FALSE(releasedByFocusLoss(release.key, nullptr, 0)) << "nothing after it: a real release";
}

}  // namespace
