#pragma once
// The browser's keys in the platform's terms. A plain function of the key
// event's fields, so it is tested without a browser.

namespace pxNative::web {

// The Win32 virtual-key code of a browser key event, sided for the modifiers
// (VK_LSHIFT, VK_RCONTROL ...); 0 when the key has none. `keyCode` is the
// event's legacy key code, which browsers took from Windows' virtual-key
// codes; `location` is the event's location (1 left, 2 right).
int virtualKey(unsigned long keyCode, unsigned long location);

}  // namespace pxNative::web
