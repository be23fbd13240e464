// Windows: why the last window creation failed, in the system's own words.

#include "platform/platform.h"
#include "platform/win32.h"

#include <cstdio>

// Windows names a failure by its error code; our names only tell whether
// there was one.
pxNativeFailure pxNativeLastFailure() {
    return GetLastError() == 0 ? pxNativeFailure::none : pxNativeFailure::refusedByDisplay;
}

const char* pxNativeLastError() {
    // The system's message for GetLastError(), in the user's language, with the
    // line break Windows puts at its end dropped so it fits in one line.
    static char text[512];
    const DWORD code = GetLastError();
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                                  sizeof text, nullptr);
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' || text[length - 1] == '.')) --length;
    if (length == 0) length = static_cast<DWORD>(std::snprintf(text, sizeof text, "system error %lu", code));
    text[length] = '\0';
    return text;
}
