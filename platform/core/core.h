#pragma once
// The backend-neutral core of the platform layer: everything that is the
// platform's logic (window classes and records, the user-data slot, the
// creation sequence, the message queue and its retrieval order, timers,
// invalid regions and painting, capture, key state, leave tracking, bitmaps
// and the blit). Internal to the platform layer: px/ sees only win32.h.
//
// A backend (platform/sdl, platform/web or platform/headless, exactly one linked into a
// program) supplies the functions in pxNative::backend and reports native
// events through pxNative::input. The core never blocks except inside
// backend::waitEvents.

#include <algorithm>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/win32.h"

namespace pxNative {

// A rectangle in client pixels; right and bottom are exclusive.
struct Rect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;

    bool empty() const { return right <= left || bottom <= top; }
};
// A coordinate computed in 64 bits as the platform's 32-bit LONG, clamped.
inline LONG clampToLong(std::int64_t value) {
    return static_cast<LONG>(std::clamp<std::int64_t>(value, INT32_MIN, INT32_MAX));
}

// gdi.cpp
Rect intersect(const Rect& a, const Rect& b);
Rect unite(const Rect& a, const Rect& b);  // bounding box; an empty side is ignored

// A window's backing image: what the window shows. Top-down rows of
// 4 x width bytes, each pixel blue, green, red, alpha (always 0xFF).
//
// The pixel memory comes from the backend (backend::allocateImage), so that a
// backend can show the image straight from it: on X11 it is memory the X
// server reads too. After backend::present the screen may still be reading
// it; whoever writes into it calls writableBytes first, which waits until the
// screen is done. Reading needs no wait.
class Image {
public:
    explicit Image(HWND owner) : owner_(owner) {}
    ~Image();
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

    // Read them; resize alone changes them.
    std::int32_t width = 0;
    std::int32_t height = 0;

    // width x height x 4 bytes; null while the image is empty.
    const std::uint8_t* bytes() const { return bytes_; }
    // The same memory, for writing: returns once the screen no longer reads it.
    std::uint8_t* writableBytes();

    // Resizes, keeping the overlapping top-left part; new pixels are black.
    // The memory moves to a new block whenever the size changes. When the
    // backend cannot have a block of the new size, returns false and keeps
    // the image as it was: a window goes on with the picture it can afford.
    bool resize(std::int32_t newWidth, std::int32_t newHeight);

private:
    HWND owner_;
    std::uint8_t* bytes_ = nullptr;
};

// ------------------------------------------------------------------ state

struct WindowClass {
    std::wstring name;
    ATOM atom = 0;
    HINSTANCE instance = nullptr;
    UINT style = 0;
    WNDPROC procedure = nullptr;
    HICON icon = nullptr;
    HCURSOR cursor = nullptr;
    HBRUSH background = nullptr;
};

struct Window {
    explicit Window(HWND window) : handle(window), image(window) {}

    HWND handle = nullptr;
    std::uint64_t order = 0;  // creation order; paint is handed out in it
    std::wstring className;
    UINT classStyle = 0;
    HBRUSH background = nullptr;
    WNDPROC procedure = nullptr;
    HWND parent = nullptr;
    DWORD style = 0;
    DWORD exStyle = 0;
    LONG_PTR userData = 0;
    std::string title;  // UTF-8
    bool visible = false;
    bool destroying = false;
    // Outer position on the screen, as the backend last reported it; the
    // client area starts here too (the frame is the window manager's).
    std::int32_t x = 0;
    std::int32_t y = 0;
    Image image;  // client width x height
    std::optional<Rect> invalid;
    bool erasePending = false;
    bool pointerInside = false;  // the pointer is over the client area
    bool leaveArmed = false;     // TrackMouseEvent(TME_LEAVE) is waiting for the pointer to leave
    // What of the window's is waiting in the queue, so that a flood of the
    // same native event adds no more of it (see State::inputLimit).
    bool closeQueued = false;        // a WM_CLOSE from the close button
    bool destroyQueued = false;      // its destruction by another program
    std::int64_t resizeQueued = -1;  // the sequence number of its newest resize, or -1
};

struct Timer {
    HWND window = nullptr;
    UINT_PTR id = 0;
    UINT periodMs = 0;
    std::int64_t dueNs = 0;
    std::uint64_t order = 0;
    TIMERPROC callback = nullptr;
};

// One entry of the queue. Posted and input messages wait in arrival order
// (retrieval hands out posted ones first); a resize waits too and is applied
// and sent to the window procedure when retrieval reaches it, and so does a
// window destroyed by someone else. Each kind has a list of its own
// (State::posted, input, sent), and `sequence` keeps the order across them.
//
// Mouse input is kept as it arrived (the window it was reported for, the
// pointer's place on the screen, whether it was over that window's client
// area) and gets its target window when it is retrieved, from the capture
// and the button grab as they are then: a press, its motion and its release
// that arrive in one batch reach the window that the press captured.
struct QueuedMessage {
    // resize: msg.wParam is the width, msg.lParam the height.
    // mouse: msg.hwnd is the window the event was reported for.
    // leave: the pointer left msg.hwnd; whether WM_MOUSELEAVE follows is
    // decided when retrieval reaches it.
    enum class Kind { posted, key, mouse, leave, resize, destroyed };
    Kind kind = Kind::posted;
    std::int64_t sequence = 0;  // arrival order over all three lists; set by enqueue
    MSG msg{};
    int sidedKey = 0;          // key: VK_LSHIFT etc. when the key has sides, else the key itself
    bool down = false;         // key and mouse button: pressed
    int buttonKey = 0;         // mouse: VK_LBUTTON, VK_MBUTTON or VK_RBUTTON for a button, 0 for motion
    std::int32_t clientX = 0;  // mouse: the pointer in msg.hwnd's client area, as reported
    std::int32_t clientY = 0;
    std::int64_t screenX = 0;  // mouse: the pointer on the screen (64 bits: a window may sit at any int)
    std::int64_t screenY = 0;
    bool inside = false;        // mouse: over the client area of msg.hwnd
    bool closeRequest = false;  // posted: the WM_CLOSE of the close button
};

// Win32 refuses PostMessage with ERROR_NOT_ENOUGH_QUOTA once this many posted
// messages wait in a thread's queue.
constexpr std::size_t kPostedLimit = 10000;
// Native input (and resizes) waiting in the queue past which new input is
// dropped rather than memory grown; see State::inputLimit.
constexpr std::size_t kInputLimit = 10000;

struct DeviceContext {
    std::uintptr_t handle = 0;  // the HDC's value
    HWND window = nullptr;
    Rect clip;  // in client pixels
};

struct Bitmap {
    void* memory = nullptr;  // std::calloc'd, freed by DeleteObject
};

struct State {
    std::map<std::wstring, WindowClass> classes;
    ATOM nextAtom = 0xC000;
    std::map<std::uintptr_t, std::unique_ptr<Window>> windows;
    std::uint64_t nextOrder = 1;
    // The queue, one list per kind, each in arrival order, so that retrieval
    // takes the front of a list instead of searching one list from its start:
    // its cost follows the messages it hands out, not the messages waiting.
    std::deque<QueuedMessage> posted;  // posted messages, WM_CLOSE and WM_MOUSELEAVE of the system too
    std::deque<QueuedMessage> input;   // key, mouse and leave
    std::deque<QueuedMessage> sent;    // resize and destroyed
    std::int64_t nextSequence = 0;
    std::int64_t firstSequence = 0;  // below every entry's: the next one put in front gets it minus one
    // Native input and resizes waiting, past which a flood is dropped: what
    // would start something (a key or button press, motion) is dropped
    // whole, as if it never happened; what ends something that is queued (the
    // release of a key or button whose press is queued or handled, the leave
    // of a window the pointer is in) still goes in, at most one per key,
    // button and window; close requests, destructions and resizes of a window
    // join the one of each already waiting. kInputLimit; tests may lower it.
    std::size_t inputLimit = kInputLimit;
    DWORD lastErrorCode = 0;  // GetLastError
    bool quitPending = false;
    int quitCode = 0;
    std::vector<Timer> timers;
    // The open drawing surfaces, seldom more than one. A vector, because
    // erasing keeps its memory: painting allocates nothing once it has run.
    std::vector<DeviceContext> deviceContexts;
    std::map<std::uintptr_t, Bitmap> bitmaps;
    HWND capture = nullptr;
    // The window a mouse button was pressed in, while any button is held: it
    // gets the mouse input whether or not it holds the capture, as X11 and
    // SDL deliver it (the capture is released on every button release, so a
    // press of a second button would otherwise end the drag of the first).
    HWND grab = nullptr;
    // Key and button state, indexed by virtual-key code: 0x80 down, 0x01
    // toggled. `arrived` follows native events as they arrive (it decides
    // WM_SYSKEYDOWN and the MK_ bits); `retrieved` follows the messages as
    // GetMessageW/PeekMessageW hand them out, and GetKeyState reads it.
    std::uint8_t arrived[256] = {};
    std::uint8_t retrieved[256] = {};
    std::int64_t pointerScreenX = 0;  // 64 bits: window position plus client position
    std::int64_t pointerScreenY = 0;
    // Window procedures and timer callbacks running now, one inside another:
    // 0 while the program is in its message loop itself.
    int procedureDepth = 0;
    pxNativeFailure lastFailure = pxNativeFailure::none;
    std::string lastError;  // the failure's sentence and its detail
    int dibFailures = 0;    // CreateDIBSection calls still to refuse (tests)
    // The largest pixel memory a bitmap section may have: its byte count must
    // fit the header's 32-bit image size and every row offset a 32-bit int.
    std::uint64_t dibByteLimit = 0x7FFFFFFF;
};

// ------------------------------------------------------------------ windows.cpp
// Module, classes and windows: registration, the creation sequence,
// destruction, the per-window slots, title, visibility, the default procedure.

State& state();
// Forgets everything except the handle counter, so old handles stay invalid.
void resetState();

// Handles are numbers from one counter that never repeats; a handle is valid
// only while its record is in the map of its kind.
std::uintptr_t newHandleValue();
Window* findWindow(HWND window);
template <typename H>
std::uintptr_t handleValue(H handle) {
    return reinterpret_cast<std::uintptr_t>(handle);
}

// Calls the window's procedure (null-safe: 0 for an unknown window). The
// record may be gone afterwards: look it up again.
LRESULT callProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// Counts a window procedure or timer callback as running while it lives
// (State::procedureDepth).
class ProcedureCall {
public:
    ProcedureCall() { ++state().procedureDepth; }
    ~ProcedureCall() { --state().procedureDepth; }
    ProcedureCall(const ProcedureCall&) = delete;
    ProcedureCall& operator=(const ProcedureCall&) = delete;
};

// Client rectangle of a window record.
Rect clientRect(const Window& window);

// The colour a brush paints, if it paints one.
std::optional<std::uint32_t> brushColor(HBRUSH brush);

// Records why the last creation failed (none: it did not), for
// pxNativeLastFailure and pxNativeLastError.
void setLastError(pxNativeFailure failure, const std::string& detail);

// UTF-8 from a wide string (UTF-32 on Linux).
std::string narrow(const wchar_t* text);

// ------------------------------------------------------------------ messages.cpp
// The queue and its retrieval order, posting and sending, the quit request,
// timers and the clock.

// The layer's clock, from the backend.
std::int64_t nowNs();
DWORD messageTime();

// A message stamped with the time and pointer position of now.
MSG makeMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// Adds to the end of its kind's list (internal callers; PostMessageW
// validates first) and returns its sequence number.
std::int64_t enqueue(QueuedMessage entry);

// Whether native input and resizes waiting have reached State::inputLimit.
bool inputFull();

// Applies a resize that retrieval reached: sizes the image, sends WM_SIZE and
// invalidates as the class style says.
void applyResize(HWND window, std::int32_t width, std::int32_t height);

// Destroys a window that another program destroyed (see input::destroyed).
void applyDestroyed(HWND window);

// Removes everything that refers to a window being destroyed: queued
// messages, timers, capture and grab, device contexts.
void forgetWindow(HWND window);

// The earliest deadline of the timers a retrieval with this window filter
// could hand out, if any runs.
std::optional<std::int64_t> nextTimerDeadline(HWND filter);

// ------------------------------------------------------------------ input.cpp
// Native input becoming messages (see also namespace input below): keys and
// their state, the mouse, capture, the button grab and leave tracking.

// Updates the key state that GetKeyState reads, and the button grab, as a
// message is retrieved; `target` is the window a mouse message went to.
void noteRetrieved(const QueuedMessage& entry, HWND target);

// The window a queued mouse message goes to now (null: no one), with the
// message made for it: its window and its position in that window's client
// coordinates.
HWND mouseTarget(const QueuedMessage& entry, MSG& message);

// Whether a queued leave becomes WM_MOUSELEAVE now: the window is armed and
// does not hold the mouse (a held-back leave fires when the capture or the
// grab ends instead).
bool leaveDue(const QueuedMessage& entry);

// ------------------------------------------------------------------ gdi.cpp
// Device contexts, painting, bitmaps and the blit; rectangles and images.

// The open drawing surface of that handle, or null.
DeviceContext* findDeviceContext(HDC dc);

// Fills `area` of the window's image with an opaque colour (0xRRGGBB).
void fillImage(Window& window, const Rect& area, std::uint32_t rgb);

// ------------------------------------------------------------------ backend
// Implemented by the one linked backend.
namespace backend {

struct WindowRequest {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool resizable = false;
    bool decorated = false;
    bool toplevel = true;
};

// Why a backend could not open a window: the failure, and what it can add
// (the display's name, the library's own words), or nothing.
struct Refusal {
    pxNativeFailure failure = pxNativeFailure::refusedByDisplay;
    std::string detail;
};

// Opens a hidden native window for `window`. On failure returns false and
// says why in `refusal`.
bool openWindow(HWND window, const WindowRequest& request, Refusal& refusal);
void closeWindow(HWND window);
void setTitle(HWND window, const std::string& utf8);
void setVisible(HWND window, bool visible);
// Backing-image memory for `window`: width x height pixels of 4 bytes, rows
// 4 x width bytes apart, with no gap; width and height are above 0. Its
// contents are undefined (the core fills it). Null when that much memory
// cannot be had: the window then keeps the image it has. The window's native side
// may not be open yet. Kept until freeImage, which may come after
// closeWindow; both blocks exist for a moment while an image is resized.
std::uint8_t* allocateImage(HWND window, std::int32_t width, std::int32_t height);
void freeImage(HWND window, std::uint8_t* memory);
// Returns once the screen has finished reading `memory` (from an earlier
// present), so that it may be written. Never blocks for longer than the
// screen takes to copy what it was handed.
void waitImageIdle(HWND window, std::uint8_t* memory);
// The image changed inside `area` (clipped to it): show that part. The backend
// may hand the image's memory to the screen and return before the screen has
// read it (see waitImageIdle). A window that cannot be shown anything (it has
// no surface to draw on) is an error the backend reports itself: one line on
// standard error and exit status 1, never a run that shows nothing.
void present(HWND window, const Image& image, const Rect& area);
// Reports every native event that is waiting through pxNative::input.
// Never blocks.
void pollEvents();
// Blocks until a native event may be waiting, or until the clock reaches
// deadlineNs; without a deadline, until an event comes.
void waitEvents(std::optional<std::int64_t> deadlineNs);
// A monotonic clock in nanoseconds.
std::int64_t nowNs();

// The largest client area the backend's screen allows; larger sizes are
// clamped to it, as a window manager (or Windows' WM_GETMINMAXINFO) would.
struct Size {
    std::int32_t width;
    std::int32_t height;
};
Size largestClient();

}  // namespace backend

// Clamps a requested client size to [0, the backend's largest] (windows.cpp).
backend::Size clampClientSize(std::int32_t width, std::int32_t height);

// ------------------------------------------------------------------ input (input.cpp)
// Native events, reported by the backend in the order they happened. Each
// becomes queue entries at once. Unknown windows are ignored.
namespace input {

using Button = pxMouseButton;

// vk may name a side (VK_LSHIFT ...) or not (VK_SHIFT means the left key).
void key(HWND window, int vk, bool down);
// Client coordinates of `window`; they may lie outside it.
void mouseMove(HWND window, std::int32_t x, std::int32_t y);
void mouseButton(HWND window, Button button, bool down, std::int32_t x, std::int32_t y);
// The pointer left the client area, position unknown.
void pointerLeft(HWND window);
// The close button: WM_CLOSE is posted.
void closeRequested(HWND window);
// The process was asked to end (SIGINT, SIGTERM): every top-level window gets
// WM_CLOSE, as if its close button was pressed.
void quitRequested();
void resized(HWND window, std::int32_t width, std::int32_t height);
// The window's outer top-left corner is now at (x, y) on the screen. Taken at
// once: the positions of mouse input that arrives later are counted from it.
void moved(HWND window, std::int32_t x, std::int32_t y);
void exposed(HWND window);
// Another program destroyed the native window. When retrieval reaches it the
// window is destroyed as DestroyWindow does (WM_DESTROY, WM_NCDESTROY); once
// no top-level window is left the quit request is posted, since nothing can
// reach the program any more.
void destroyed(HWND window);

}  // namespace input

// ------------------------------------------------------------------ inspect.cpp
// For the headless backend's test controls: what no Win32 call offers.
namespace inspect {

const Image* image(HWND window);
std::vector<Timer> timers(HWND window);
void failDibSections(int count);
void limitDibSectionBytes(std::uint64_t bytes);  // never above the built-in limit
void limitQueuedInput(std::size_t count);        // State::inputLimit; 0 puts back kInputLimit

}  // namespace inspect

}  // namespace pxNative
