#include "px/pxMessagePump.h"

#include "platform/win32.h"

void pxMessagePump::runEventLoop() {
    MSG message;
    // GetMessageW returns 0 for the quit request; -1 (an invalid window
    // filter) cannot happen without a filter but would end the loop too.
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void pxMessagePump::quitEventLoop() { PostQuitMessage(0); }
