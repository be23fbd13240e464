#pragma once
// SDL's keys and buttons in the platform's terms. Plain functions of their
// arguments, so they are tested without a display.

#include <SDL_events.h>
#include <SDL_keyboard.h>
#include <SDL_mouse.h>

#include "platform/core/core.h"

namespace pxNative::sdl {

// The Win32 virtual-key code of a key, sided for the modifiers (VK_LSHIFT,
// VK_RCONTROL ...); 0 when the key has none. Letters, digits and punctuation
// follow the layout (the symbol); keys without a printable symbol follow the
// scancode.
int virtualKey(SDL_Scancode scancode, SDL_Keycode symbol);

// Left, middle or right; false for the other buttons (extra buttons have no
// messages in the framework).
bool mouseButton(Uint8 sdlButton, input::Button& button);

// Whether a key release is one SDL made up because the window is losing the
// keyboard focus: SDL then reports every held key as released, just before
// SDL_WINDOWEVENT_FOCUS_LOST and in the same batch of events. `following` are
// the events queued after the release. Such a release is dropped: the key was
// not released, the window only stops hearing of it (a real release reaches
// whichever window has the focus by then).
bool releasedByFocusLoss(const SDL_KeyboardEvent& release, const SDL_Event* following, int count);

}  // namespace pxNative::sdl
