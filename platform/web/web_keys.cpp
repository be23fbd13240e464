#include "platform/web/web_keys.h"

#include "platform/win32.h"

namespace pxNative::web {

namespace {

constexpr unsigned long kRight = 2;  // KeyboardEvent.DOM_KEY_LOCATION_RIGHT

}  // namespace

int virtualKey(unsigned long keyCode, unsigned long location) {
    const bool right = location == kRight;
    switch (keyCode) {
    case 0:    // a key the browser has no code for
    case 229:  // a key an input method is composing with
        return 0;
    case 16: return right ? VK_RSHIFT : VK_LSHIFT;
    case 17: return right ? VK_RCONTROL : VK_LCONTROL;
    case 18: return right ? VK_RMENU : VK_LMENU;
    // Firefox's own codes where the others use Windows' ones.
    case 59: return VK_OEM_1;
    case 61: return VK_OEM_PLUS;
    case 173: return VK_OEM_MINUS;
    case 224: return right ? VK_RWIN : VK_LWIN;
    default: return keyCode < 256 ? static_cast<int>(keyCode) : 0;
    }
}

}  // namespace pxNative::web
