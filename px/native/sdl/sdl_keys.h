#pragma once
// SDL's keys and buttons in the platform's terms. Plain functions of their
// arguments, so they are tested without a display.

#include <SDL_keyboard.h>
#include <SDL_mouse.h>

#include "px/native/core.h"

namespace pxNative::sdl {

// The Win32 virtual-key code of a key, sided for the modifiers (VK_LSHIFT,
// VK_RCONTROL ...); 0 when the key has none. Letters, digits and punctuation
// follow the layout (the symbol); keys without a printable symbol follow the
// scancode.
int virtualKey(SDL_Scancode scancode, SDL_Keycode symbol);

// Left, middle or right; false for the other buttons (extra buttons have no
// messages in the framework).
bool mouseButton(Uint8 sdlButton, input::Button& button);

}  // namespace pxNative::sdl
