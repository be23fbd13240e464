#pragma once
// What the platform offers beyond the Win32 names, never used by px/ itself,
// which stays Win32-only. Implemented by the platform layer on Linux and by
// px/windows/ on Windows.

// Why the last CreateWindowExW failed, as one human sentence without a final
// full stop, such as "no display: DISPLAY and WAYLAND_DISPLAY are not set"
// (on Windows, the system's message for GetLastError()).
// An empty string when the last creation succeeded or none was tried. The text
// stays valid until the next CreateWindowExW.
const char* pxNativeLastError();
