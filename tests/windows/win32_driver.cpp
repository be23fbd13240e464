// The test driver of the framework's tests (platform/headless/headless.h)
// over a real Win32, so that the same test sources that run against our
// platform layer on Linux run against wine (or Windows) as well.
//
// Implements:
// - [x] reset: destroys this thread's windows (without calling their
//       procedures), empties the queue, forgets the
//       class, the capture and the key state, and restarts the clock
// - [x] the clock: real milliseconds since reset; advancing it sleeps
// - [x] keys and buttons through SendInput, as a user's would arrive; the
//       pointer is placed with SetCursorPos first
// - [x] the close button (WM_SYSCOMMAND SC_CLOSE, as the caption's button
//       sends it), resize (SetWindowPos to the client size), expose
// - [x] pumping: PeekMessageW / TranslateMessage / DispatchMessageW
// - [x] reading back a window's pixels through its device context
// - [ ] timers, presents and injected failures: Win32 has no way to list a
//       window's timers, count what reached the screen, or make creation or
//       CreateDIBSection fail on request. These calls fail the test that makes
//       them rather than answer wrongly; the tests that need them are marked
//       as our platform's only (PX_OUR_PLATFORM_ONLY, tests/px_platform.h).

#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "platform/headless/headless.h"

namespace pxHeadless {

namespace {

struct DriverState {
    ULONGLONG originMs = 0;
    std::multimap<std::int64_t, std::function<void()>> scheduled;
};

DriverState& driver() {
    static DriverState instance;
    return instance;
}

void unsupported(const char* what) {
    ADD_FAILURE() << "the Win32 test driver cannot do " << what
                  << " on a real Win32; mark the test PX_OUR_PLATFORM_ONLY";
}

void runScheduled() {
    DriverState& d = driver();
    while (!d.scheduled.empty() && d.scheduled.begin()->first <= nowMs()) {
        auto action = std::move(d.scheduled.begin()->second);
        d.scheduled.erase(d.scheduled.begin());
        action();
    }
}

// As with our layer's reset, the objects of old windows get no further
// messages: the window is handed to the default procedure before it is
// destroyed, so that no handler of a test already over runs.
BOOL CALLBACK destroyOne(HWND window, LPARAM) {
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(DefWindowProcW));
    DestroyWindow(window);
    return TRUE;
}

void sendKey(int virtualKey, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = static_cast<WORD>(virtualKey);
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(static_cast<UINT>(virtualKey), MAPVK_VK_TO_VSC));
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    if (virtualKey == VK_RCONTROL || virtualKey == VK_RMENU) input.ki.dwFlags |= KEYEVENTF_EXTENDEDKEY;
    SendInput(1, &input, sizeof input);
}

// Puts the pointer at client position (x, y) of window, the window in front
// so that its thread gets the input.
void pointAt(HWND window, std::int32_t x, std::int32_t y) {
    POINT p{x, y};
    ClientToScreen(window, &p);
    SetCursorPos(p.x, p.y);
}

void sendButton(Button button, bool up) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    switch (button) {
    case Button::left: input.mi.dwFlags = up ? MOUSEEVENTF_LEFTUP : MOUSEEVENTF_LEFTDOWN; break;
    case Button::middle: input.mi.dwFlags = up ? MOUSEEVENTF_MIDDLEUP : MOUSEEVENTF_MIDDLEDOWN; break;
    case Button::right: input.mi.dwFlags = up ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_RIGHTDOWN; break;
    }
    SendInput(1, &input, sizeof input);
}

// Input reaches the queue through the system's input thread; a short wait
// lets it arrive before the test pumps.
void settle() { Sleep(20); }

}  // namespace

void reset() {
    EnumThreadWindows(GetCurrentThreadId(), destroyOne, 0);
    ReleaseCapture();
    for (int key : {VK_SHIFT, VK_CONTROL, VK_MENU, VK_LSHIFT, VK_RSHIFT, VK_LCONTROL, VK_RCONTROL, VK_LMENU, VK_RMENU})
        if (GetAsyncKeyState(key) & 0x8000) sendKey(key, true);
    for (Button b : {Button::left, Button::middle, Button::right}) {
        const int vk = b == Button::left ? VK_LBUTTON : b == Button::middle ? VK_MBUTTON : VK_RBUTTON;
        if (GetAsyncKeyState(vk) & 0x8000) sendButton(b, true);
    }
    settle();
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
    }
    UnregisterClassW(L"pxWindow", GetModuleHandleW(nullptr));
    driver().scheduled.clear();
    driver().originMs = GetTickCount64();
}

std::int64_t nowMs() { return static_cast<std::int64_t>(GetTickCount64() - driver().originMs); }

void advanceMs(std::int64_t ms) {
    if (ms > 0) Sleep(static_cast<DWORD>(ms));
    runScheduled();
}

void scheduleAtMs(std::int64_t atMs, std::function<void()> action) {
    driver().scheduled.emplace(atMs, std::move(action));
}

void keyDown(HWND window, int virtualKey) {
    SetForegroundWindow(window);
    SetFocus(window);
    sendKey(virtualKey, false);
    settle();
}

void keyUp(HWND window, int virtualKey) {
    SetForegroundWindow(window);
    SetFocus(window);
    sendKey(virtualKey, true);
    settle();
}

void mouseMove(HWND window, std::int32_t x, std::int32_t y) {
    pointAt(window, x, y);
    settle();
}

void mouseDown(HWND window, Button button, std::int32_t x, std::int32_t y) {
    pointAt(window, x, y);
    sendButton(button, false);
    settle();
}

void mouseUp(HWND window, Button button, std::int32_t x, std::int32_t y) {
    pointAt(window, x, y);
    sendButton(button, true);
    settle();
}

void closeButton(HWND window) { PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0); }

void resize(HWND window, std::int32_t width, std::int32_t height) {
    if (width == 0 && height == 0) {
        ShowWindow(window, SW_MINIMIZE);
        return;
    }
    RECT frame{0, 0, width, height};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE)));
    SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void move(HWND window, std::int32_t x, std::int32_t y) {
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void expose(HWND window) { RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE); }

PumpResult dispatchPending() {
    runScheduled();
    PumpResult result;
    MSG m;
    for (int i = 0; i < 1'000'000 && PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE); ++i) {
        if (m.message == WM_QUIT) {
            result.quit = true;
            result.exitCode = static_cast<int>(m.wParam);
            return result;
        }
        TranslateMessage(&m);
        DispatchMessageW(&m);
        ++result.dispatched;
    }
    return result;
}

std::uint32_t Image::pixel(std::int32_t x, std::int32_t y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return 0;
    const std::uint8_t* p = bgra.data() + (static_cast<std::size_t>(y) * width + x) * 4;
    return 0xFF000000u | static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[1]) << 8 | p[0];
}

Image windowImage(HWND window) {
    Image copy;
    RECT client{};
    if (!GetClientRect(window, &client)) return copy;
    copy.width = client.right;
    copy.height = client.bottom;
    copy.bgra.assign(static_cast<std::size_t>(copy.width) * copy.height * 4, 0);
    if (copy.width == 0 || copy.height == 0) return copy;
    const HDC surface = GetDC(window);
    const HDC memory = CreateCompatibleDC(surface);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = copy.width;
    info.bmiHeader.biHeight = -copy.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, copy.width, copy.height, surface, 0, 0, SRCCOPY);
    GdiFlush();
    const auto* in = static_cast<const std::uint8_t*>(bits);
    for (std::size_t i = 0; i < copy.bgra.size(); i += 4) {
        copy.bgra[i] = in[i];
        copy.bgra[i + 1] = in[i + 1];
        copy.bgra[i + 2] = in[i + 2];
        copy.bgra[i + 3] = 255;
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, surface);
    return copy;
}

int presentCount(HWND) {
    unsupported("presentCount");
    return -1;
}
std::vector<TimerInfo> timers(HWND) {
    unsupported("timers");
    return {};
}
void failNextWindowCreation(pxNativeFailure, const std::string&) { unsupported("failNextWindowCreation"); }
void destroyFromOutside(HWND) { unsupported("destroyFromOutside"); }
void failDibSections(int) { unsupported("failDibSections"); }
void limitDibSectionBytes(std::size_t) { unsupported("limitDibSectionBytes"); }
void limitWindowImageBytes(std::size_t) { unsupported("limitWindowImageBytes"); }
void limitQueuedInput(std::size_t) { unsupported("limitQueuedInput"); }

}  // namespace pxHeadless
