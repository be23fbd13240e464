#pragma once
// What the platform offers beyond the Win32 names, never used by px/ itself,
// which stays Win32-only. Implemented by the platform layer on Linux and by
// platform/windows/ on Windows.

// The three mouse buttons the platform reports (the backends' and the
// headless controls' name for them; extra buttons have no messages).
enum class pxMouseButton { left, middle, right };

// Why window creation failed, by name, so that callers and tests can tell the
// cases apart; each has one sentence (pxNativeFailureText).
enum class pxNativeFailure {
    none,                   // the last creation succeeded, or none was tried
    noDisplay,              // neither DISPLAY nor WAYLAND_DISPLAY names a display
    noServer,               // a display is named, but no server answers there
    noInputSeat,            // the Wayland compositor offers no keyboard or mouse
    refusedByDisplay,       // the display server refused to make the window
    noSurface,              // the window has no surface to draw into
    childWindow,            // child windows are not supported
    unknownClass,           // the window class is not registered
    unknownParent,          // the parent window does not exist
    refusedByProcedure,     // the window procedure refused WM_NCCREATE or WM_CREATE
    destroyedWhileCreated,  // the window procedure destroyed the window while it was created
};

// The failure of the last CreateWindowExW.
pxNativeFailure pxNativeLastFailure();

// The sentence of a failure, without a final full stop ("" for none).
const char* pxNativeFailureText(pxNativeFailure failure);

// Why the last CreateWindowExW failed, as one human sentence without a final
// full stop: the failure's sentence, followed in parentheses by what the
// backend adds (the display's name, SDL's own words), such as "no display
// server answers (X display ":4242"; SDL: ...)"; on Windows, the system's
// message for GetLastError(). An empty string when the last creation
// succeeded or none was tried. The text stays valid until the next
// CreateWindowExW.
const char* pxNativeLastError();
