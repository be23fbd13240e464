#pragma once
// What the platform layer offers beyond the Win32 names: Linux-only, and never
// used by px/ itself, which stays Win32-only.

// Why the last CreateWindowExW failed, as one human sentence without a final
// full stop, such as "no display: DISPLAY and WAYLAND_DISPLAY are not set".
// An empty string when the last creation succeeded or none was tried. The text
// stays valid until the next CreateWindowExW.
const char* pxNativeLastError();
