#pragma once
// The headless backend's controls, for tests: windows with a backing image and
// no screen, input injected by the test, and a virtual clock.
//
// Link glintworks_platform_headless instead of glintworks_platform_sdl to use it.
//
// Time: the clock starts at 0 after reset and moves only when a test advances
// it or when the event loop would wait; nothing ever sleeps. Timers and
// QueryPerformanceCounter (nanoseconds) read this clock.
//
// Input: each call below is one native event. It becomes a message in the
// queue (or, for a resize, a sent message in its place in the queue) at once;
// handlers run only when messages are retrieved and dispatched, by
// dispatchPending or by pxMessagePump::runEventLoop.
//
// Painting: like the X11 backend, the (absent) screen goes on reading a
// window's image after EndPaint or ReleaseDC hands it over, until the core
// next waits before writing into it; if the pixels it was handed changed by
// then, the core wrote without waiting (a torn picture on a real screen), and
// the process prints why on standard error and aborts.
//
// Waiting: when GetMessageW finds nothing to hand out, the clock jumps to the
// next timer deadline or scheduled action, whichever comes first. With neither
// it would wait for ever: the process then prints why on standard error and
// aborts, so a test fails loudly instead of hanging.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/win32.h"

namespace pxHeadless {

// Forgets every window, class, queued message, quit request, timer, key and
// button state, capture, scheduled action and injected failure, and puts the
// clock back to 0. Handles from before stay invalid for good (never reused).
// Objects still attached to old windows get no further messages.
void reset();

// ------------------------------------------------------------------ clock

std::int64_t nowMs();
// Moves the clock forward (negative values are ignored). Scheduled actions
// that fall due run, in time order, each with the clock at its own time.
// Timers fall due but nothing is dispatched.
void advanceMs(std::int64_t ms);
// Runs action when the clock reaches atMs (at once on the next advance or wait
// if atMs is not in the future). Actions typically inject input.
void scheduleAtMs(std::int64_t atMs, std::function<void()> action);

// ------------------------------------------------------------------ input

// Virtual-key codes as Win32 numbers them. VK_LSHIFT/VK_RSHIFT,
// VK_LCONTROL/VK_RCONTROL and VK_LMENU/VK_RMENU press one side and arrive as
// VK_SHIFT, VK_CONTROL and VK_MENU; the generic codes mean the left key.
// A keyDown of a key that is already down is an auto-repeat. While Alt is
// down (and for Alt itself) keys arrive as WM_SYSKEYDOWN/WM_SYSKEYUP.
void keyDown(HWND window, int virtualKey);
void keyUp(HWND window, int virtualKey);

using Button = pxMouseButton;

// Pointer positions are client coordinates of `window`, and may lie outside
// it. Outside the client area, motion and buttons reach the window only while
// it has the mouse captured, or while a button pressed in it is still held
// (the grab lasts until every button is up); otherwise motion outside means
// the pointer left (WM_MOUSELEAVE when armed) and buttons outside go
// elsewhere. Which window a mouse message goes to is decided when it is
// retrieved, so a press, motion and release injected at once behave as if
// dispatched one by one.
void mouseMove(HWND window, std::int32_t x, std::int32_t y);
void mouseDown(HWND window, Button button, std::int32_t x, std::int32_t y);
void mouseUp(HWND window, Button button, std::int32_t x, std::int32_t y);

// The title bar's close button: posts WM_CLOSE.
void closeButton(HWND window);
// The user resized the client area (0 x 0: minimised; sizes are clamped to
// the virtual screen, 4096 x 4096). WM_SIZE is sent in its
// place in the queue; the backing image follows the size and the window is
// invalidated whole when the size changed.
void resize(HWND window, std::int32_t width, std::int32_t height);
// The window was moved: its top-left corner is now at (x, y) of the screen
// (windows start where CreateWindowExW put them). Mouse positions that
// arrive later are counted from there.
void move(HWND window, std::int32_t x, std::int32_t y);
// The window was uncovered: all of it becomes invalid, with erase.
void expose(HWND window);
// Another program destroyed the native window: the window is destroyed when
// the loop reaches this point (WM_DESTROY, WM_NCDESTROY), and the loop ends
// once no top-level window is left.
void destroyFromOutside(HWND window);

// ------------------------------------------------------------------ pumping

struct PumpResult {
    int dispatched = 0;  // messages handed to DispatchMessageW
    bool quit = false;   // WM_QUIT was retrieved (and ended the step)
    int exitCode = 0;    // its exit code
};

// One non-blocking step of the event loop: PeekMessageW / TranslateMessage /
// DispatchMessageW until nothing is retrievable at the current time, or until
// WM_QUIT is retrieved. Due timers fire at most once each. Aborts with a
// message if the step does not settle within a million messages (a handler
// that keeps re-posting or never validates).
PumpResult dispatchPending();

// ------------------------------------------------------------------ reading back

// A copy of a window's backing image: width x height pixels, top-down, rows
// 4 x width bytes apart, bytes blue, green, red, alpha (alpha always 255).
// Empty for an unknown window.
struct Image {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint8_t> bgra;
    // Pixel (x, y) as 0xAARRGGBB.
    std::uint32_t pixel(std::int32_t x, std::int32_t y) const;
};
Image windowImage(HWND window);

// How many times the window's image went to the (absent) screen: EndPaint and
// ReleaseDC each count one.
int presentCount(HWND window);

struct TimerInfo {
    UINT_PTR id = 0;
    UINT periodMs = 0;  // after raising to USER_TIMER_MINIMUM
    std::int64_t dueMs = 0;
};
// The window's running timers, by identifier.
std::vector<TimerInfo> timers(HWND window);

// ------------------------------------------------------------------ failures

// The next CreateWindowExW fails as if the backend could not open a window,
// for that reason: it returns null, calls no window procedure, and
// pxNativeLastFailure() and pxNativeLastError() say why.
void failNextWindowCreation(pxNativeFailure failure, const std::string& detail = "");
// The next `count` CreateDIBSection calls return null, as if memory ran out.
void failDibSections(int count = 1);
// From now until reset, CreateDIBSection refuses pixel memory of more than
// `bytes` bytes, as if no more could be had (the built-in limit, 2^31 - 1,
// still holds above it).
void limitDibSectionBytes(std::size_t bytes);
// From now until reset, a window's backing image of more than `bytes` bytes
// cannot be had, as if memory ran out: a resize to such a size leaves the
// window as it was (no WM_SIZE), and a window created that large has no size.
void limitWindowImageBytes(std::size_t bytes);
// From now until reset, at most `count` native events wait in the queue
// before a flood is dropped (the built-in bound is 10,000; see the core's
// State::inputLimit). For benchmarks and tests of the bound.
void limitQueuedInput(std::size_t count);

}  // namespace pxHeadless
