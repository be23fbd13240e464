// The browser backend's key translation, which needs no browser: the legacy
// key codes browsers report, with the event's location, as Win32 virtual-key
// codes. Expected values are the Win32 numbers written out.

#include <gtest/gtest.h>

#include "platform/web/web_keys.h"

namespace {

using pxNative::web::virtualKey;

constexpr unsigned long kStandard = 0;
constexpr unsigned long kLeft = 1;
constexpr unsigned long kRight = 2;

TEST(WebKeys, ModifiersTakeTheirSideFromTheLocation) {
    EXPECT_EQ(virtualKey(16, kLeft), 0xA0);
    EXPECT_EQ(virtualKey(16, kRight), 0xA1);
    EXPECT_EQ(virtualKey(17, kLeft), 0xA2);
    EXPECT_EQ(virtualKey(17, kRight), 0xA3);
    EXPECT_EQ(virtualKey(18, kLeft), 0xA4);
    EXPECT_EQ(virtualKey(18, kRight), 0xA5);
    // A synthetic event may carry no location: the left key, as Win32 takes it.
    EXPECT_EQ(virtualKey(17, kStandard), 0xA2);
}

TEST(WebKeys, KeysAreTheirCodesExceptFirefoxsOwnAndThoseWithout) {
    EXPECT_EQ(virtualKey(27, kStandard), 0x1B);  // Esc ends the run
    EXPECT_EQ(virtualKey('A', kStandard), 'A');
    EXPECT_EQ(virtualKey(186, kStandard), 0xBA);  // ; in the others
    EXPECT_EQ(virtualKey(59, kStandard), 0xBA);   // ; in Firefox
    EXPECT_EQ(virtualKey(61, kStandard), 0xBB);
    EXPECT_EQ(virtualKey(173, kStandard), 0xBD);
    EXPECT_EQ(virtualKey(224, kLeft), 0x5B);
    // No code, an input method composing, or beyond the table: no key.
    EXPECT_EQ(virtualKey(0, kStandard), 0);
    EXPECT_EQ(virtualKey(229, kStandard), 0);
    EXPECT_EQ(virtualKey(300, kStandard), 0);
}

}  // namespace
