// Native input becoming messages: keys and their state, the mouse, capture
// and leave tracking; also the other events a backend reports (close, quit,
// resize, expose).

#include <algorithm>

#include "platform/core/core.h"

namespace pxNative {
namespace {

constexpr std::uint8_t kDown = 0x80;
constexpr std::uint8_t kToggled = 0x01;

struct KeySides {
    int generic;  // what wparam carries
    int sided;    // the key itself, left or right where there are two
};

KeySides sidesOf(int vk) {
    switch (vk) {
    case VK_SHIFT: return {VK_SHIFT, VK_LSHIFT};
    case VK_CONTROL: return {VK_CONTROL, VK_LCONTROL};
    case VK_MENU: return {VK_MENU, VK_LMENU};
    case VK_LSHIFT:
    case VK_RSHIFT: return {VK_SHIFT, vk};
    case VK_LCONTROL:
    case VK_RCONTROL: return {VK_CONTROL, vk};
    case VK_LMENU:
    case VK_RMENU: return {VK_MENU, vk};
    default: return {vk, vk};
    }
}

// The two sides of a generic modifier, or none.
bool sidesOfGeneric(int generic, int& left, int& right) {
    switch (generic) {
    case VK_SHIFT:
        left = VK_LSHIFT;
        right = VK_RSHIFT;
        return true;
    case VK_CONTROL:
        left = VK_LCONTROL;
        right = VK_RCONTROL;
        return true;
    case VK_MENU:
        left = VK_LMENU;
        right = VK_RMENU;
        return true;
    default: return false;
    }
}

void setKey(std::uint8_t* table, int vk, bool down) {
    if (down && !(table[vk] & kDown)) table[vk] ^= kToggled;
    table[vk] = static_cast<std::uint8_t>(down ? table[vk] | kDown : table[vk] & ~kDown);
}

// A key of one side changes the generic key too: it is down while either side is.
void applyKey(std::uint8_t* table, int sided, int generic, bool down) {
    setKey(table, sided, down);
    int left = 0;
    int right = 0;
    if (sided != generic && sidesOfGeneric(generic, left, right))
        setKey(table, generic, ((table[left] | table[right]) & kDown) != 0);
}

bool isDown(const std::uint8_t* table, int vk) { return (table[vk] & kDown) != 0; }

bool isExtended(int sided) {
    switch (sided) {
    case VK_RCONTROL:
    case VK_RMENU:
    case VK_LEFT:
    case VK_UP:
    case VK_RIGHT:
    case VK_DOWN:
    case VK_INSERT:
    case VK_DELETE:
    case VK_HOME:
    case VK_END:
    case VK_PRIOR:
    case VK_NEXT:
    case VK_DIVIDE:
    case VK_NUMLOCK:
    case VK_LWIN:
    case VK_RWIN:
    case VK_APPS: return true;
    default: return false;
    }
}

WPARAM mouseKeys(const std::uint8_t* table) {
    WPARAM bits = 0;
    if (isDown(table, VK_LBUTTON)) bits |= MK_LBUTTON;
    if (isDown(table, VK_RBUTTON)) bits |= MK_RBUTTON;
    if (isDown(table, VK_MBUTTON)) bits |= MK_MBUTTON;
    if (isDown(table, VK_SHIFT)) bits |= MK_SHIFT;
    if (isDown(table, VK_CONTROL)) bits |= MK_CONTROL;
    return bits;
}

// Two signed 16-bit words, x low, as the platform packs a mouse position:
// only the low 16 bits of each coordinate are kept.
LPARAM packPosition(std::int64_t x, std::int64_t y) {
    return MAKELPARAM(static_cast<std::uint16_t>(x), static_cast<std::uint16_t>(y));
}

void postLeave(Window& window) {
    window.leaveArmed = false;
    QueuedMessage entry;
    entry.msg = makeMessage(window.handle, WM_MOUSELEAVE, 0, 0);
    enqueue(entry);
}

// The window keeps the mouse: a leave waits until it lets go.
bool holdsMouse(HWND window) { return state().capture == window || state().grab == window; }

// The pointer is no longer over the window. Whether an armed leave fires is
// decided when retrieval reaches this point of the queue: a press queued
// before it may yet capture the mouse.
void pointerOut(Window& window) {
    window.pointerInside = false;
    QueuedMessage entry;
    entry.kind = QueuedMessage::Kind::leave;
    entry.msg = makeMessage(window.handle, WM_MOUSELEAVE, 0, 0);
    enqueue(entry);
}

// Moves the pointer to (x, y) of `window` and makes the queue entry of a
// mouse event there; its target is decided when it is retrieved.
bool insideClient(const Window& window, std::int32_t x, std::int32_t y) {
    return x >= 0 && y >= 0 && x < window.image.width && y < window.image.height;
}

QueuedMessage pointerAt(Window& window, std::int32_t x, std::int32_t y, UINT message) {
    State& s = state();
    s.pointerScreenX = std::int64_t{window.x} + x;
    s.pointerScreenY = std::int64_t{window.y} + y;
    const bool inside = insideClient(window, x, y);
    for (auto& [key, other] : s.windows)
        if (other.get() != &window && other->pointerInside && inside) pointerOut(*other);
    if (inside)
        window.pointerInside = true;
    else if (window.pointerInside)
        pointerOut(window);

    QueuedMessage entry;
    entry.kind = QueuedMessage::Kind::mouse;
    entry.msg = makeMessage(window.handle, message, mouseKeys(s.arrived), 0);
    entry.clientX = x;
    entry.clientY = y;
    entry.screenX = s.pointerScreenX;
    entry.screenY = s.pointerScreenY;
    entry.inside = inside;
    return entry;
}

// The queued entry that a move of `window` would update instead of queueing
// one more: the newest native event, if it is a move of that window with the
// same keys and on the same side of its edge; else null.
QueuedMessage* combinableMove(HWND window, WPARAM keys, bool inside) {
    State& s = state();
    if (s.input.empty()) return nullptr;
    QueuedMessage& last = s.input.back();
    if (!s.sent.empty() && s.sent.back().sequence > last.sequence) return nullptr;
    if (last.kind != QueuedMessage::Kind::mouse || last.buttonKey != 0 || last.msg.hwnd != window ||
        last.msg.wParam != keys || last.inside != inside)
        return nullptr;
    return &last;
}

bool anyButtonDown(const std::uint8_t* table) {
    return isDown(table, VK_LBUTTON) || isDown(table, VK_MBUTTON) || isDown(table, VK_RBUTTON);
}

int buttonKey(input::Button button) {
    switch (button) {
    case input::Button::left: return VK_LBUTTON;
    case input::Button::middle: return VK_MBUTTON;
    case input::Button::right: return VK_RBUTTON;
    }
    return VK_LBUTTON;
}

UINT buttonMessage(input::Button button, bool down) {
    switch (button) {
    case input::Button::left: return down ? WM_LBUTTONDOWN : WM_LBUTTONUP;
    case input::Button::middle: return down ? WM_MBUTTONDOWN : WM_MBUTTONUP;
    case input::Button::right: return down ? WM_RBUTTONDOWN : WM_RBUTTONUP;
    }
    return WM_NULL;
}

}  // namespace

void noteRetrieved(const QueuedMessage& entry, HWND target) {
    State& s = state();
    if (entry.kind == QueuedMessage::Kind::key) {
        applyKey(s.retrieved, entry.sidedKey, static_cast<int>(entry.msg.wParam), entry.down);
        return;
    }
    if (entry.kind == QueuedMessage::Kind::leave) {
        // The leave fired: the window must arm again to hear of the next one.
        if (Window* record = findWindow(target)) record->leaveArmed = false;
        return;
    }
    if (entry.kind != QueuedMessage::Kind::mouse || entry.buttonKey == 0) return;
    applyKey(s.retrieved, entry.buttonKey, entry.buttonKey, entry.down);
    if (entry.down && s.grab == nullptr) s.grab = target;
    if (entry.down || anyButtonDown(s.retrieved) || s.grab == nullptr) return;
    // The last button is up: the grab ends, and a leave it held back fires,
    // unless the capture still holds it (then ReleaseCapture fires it).
    Window* record = findWindow(s.grab);
    s.grab = nullptr;
    if (record != nullptr && record->leaveArmed && !record->pointerInside && s.capture != record->handle)
        postLeave(*record);
}

HWND mouseTarget(const QueuedMessage& entry, MSG& message) {
    const State& s = state();
    const HWND held = s.capture != nullptr ? s.capture : s.grab;
    const Window* target = held != nullptr ? findWindow(held) : (entry.inside ? findWindow(entry.msg.hwnd) : nullptr);
    if (target == nullptr) return nullptr;
    message = entry.msg;
    message.hwnd = target->handle;
    // In the window it was reported for, the position is the one reported;
    // in another (one holding the capture), counted from the screen.
    message.lParam = target->handle == entry.msg.hwnd
                         ? packPosition(entry.clientX, entry.clientY)
                         : packPosition(entry.screenX - target->x, entry.screenY - target->y);
    return target->handle;
}

bool leaveDue(const QueuedMessage& entry) {
    const Window* record = findWindow(entry.msg.hwnd);
    return record != nullptr && record->leaveArmed && !holdsMouse(record->handle);
}

namespace input {

void key(HWND window, int vk, bool down) {
    if (findWindow(window) == nullptr || vk <= 0 || vk > 255) return;
    State& s = state();
    const KeySides key = sidesOf(vk);
    const bool wasDown = isDown(s.arrived, key.sided);
    // A full queue takes only the release of a key that is down.
    if (inputFull() && (down || !wasDown)) return;
    applyKey(s.arrived, key.sided, key.generic, down);
    // Alt itself, and any key while Alt is held, is a system key.
    const bool altHeld = isDown(s.arrived, VK_MENU);
    const bool system = key.generic == VK_MENU || altHeld;
    const UINT message = down ? (system ? WM_SYSKEYDOWN : WM_KEYDOWN) : (system ? WM_SYSKEYUP : WM_KEYUP);
    // Repeat count 1; extended-key bit 24; context bit 29 while Alt is held;
    // bit 30: the key was down before; bit 31: the key is being released.
    std::uint32_t bits = 1;
    if (isExtended(key.sided)) bits |= 1u << 24;
    if (altHeld) bits |= 1u << 29;
    if (wasDown) bits |= 1u << 30;
    if (!down) bits |= 1u << 31;

    QueuedMessage entry;
    entry.kind = QueuedMessage::Kind::key;
    entry.msg = makeMessage(window, message, static_cast<WPARAM>(key.generic), static_cast<LPARAM>(bits));
    entry.sidedKey = key.sided;
    entry.down = down;
    enqueue(entry);
}

void mouseMove(HWND window, std::int32_t x, std::int32_t y) {
    Window* record = findWindow(window);
    if (record == nullptr) return;
    // A full queue takes motion only where it updates a queued move.
    if (inputFull() && combinableMove(window, mouseKeys(state().arrived), insideClient(*record, x, y)) == nullptr)
        return;
    QueuedMessage entry = pointerAt(*record, x, y, WM_MOUSEMOVE);
    // As on Windows, a move right after another one, with nothing else of
    // the input between them, updates that one instead of queueing a second:
    // a slow frame never leaves a backlog of motion behind it.
    if (QueuedMessage* last = combinableMove(window, entry.msg.wParam, entry.inside)) {
        entry.sequence = last->sequence;
        *last = entry;
        return;
    }
    enqueue(entry);
}

void mouseButton(HWND window, Button button, bool down, std::int32_t x, std::int32_t y) {
    Window* record = findWindow(window);
    if (record == nullptr) return;
    const int vk = buttonKey(button);
    // A full queue takes only the release of a button that is down.
    if (inputFull() && (down || !isDown(state().arrived, vk))) return;
    applyKey(state().arrived, vk, vk, down);
    QueuedMessage entry = pointerAt(*record, x, y, buttonMessage(button, down));
    entry.buttonKey = vk;
    entry.down = down;
    enqueue(entry);
}

void pointerLeft(HWND window) {
    Window* record = findWindow(window);
    if (record == nullptr || (inputFull() && !record->pointerInside)) return;
    pointerOut(*record);
}

void closeRequested(HWND window) {
    Window* record = findWindow(window);
    if (record == nullptr || (inputFull() && record->closeQueued)) return;
    record->closeQueued = true;
    QueuedMessage entry;
    entry.msg = makeMessage(window, WM_CLOSE, 0, 0);
    entry.closeRequest = true;
    enqueue(entry);
}

void quitRequested() {
    std::vector<HWND> toplevel;
    for (const auto& [key, window] : state().windows)
        if (window->parent == nullptr && !window->destroying) toplevel.push_back(window->handle);
    for (HWND window : toplevel) closeRequested(window);
}

void resized(HWND window, std::int32_t width, std::int32_t height) {
    Window* record = findWindow(window);
    if (record == nullptr) return;
    const backend::Size size = clampClientSize(width, height);
    QueuedMessage entry;
    entry.kind = QueuedMessage::Kind::resize;
    entry.msg = makeMessage(window, WM_SIZE, static_cast<WPARAM>(size.width), static_cast<LPARAM>(size.height));
    if (inputFull() && record->resizeQueued >= 0) {
        // A full queue changes the window's newest queued resize to this size.
        auto& sent = state().sent;
        const auto it = std::lower_bound(
            sent.begin(), sent.end(), record->resizeQueued,
            [](const QueuedMessage& queued, std::int64_t sequence) { return queued.sequence < sequence; });
        if (it != sent.end() && it->sequence == record->resizeQueued) {
            it->msg.wParam = entry.msg.wParam;
            it->msg.lParam = entry.msg.lParam;
            return;
        }
    }
    record->resizeQueued = enqueue(entry);
}

void moved(HWND window, std::int32_t x, std::int32_t y) {
    if (Window* record = findWindow(window)) {
        record->x = x;
        record->y = y;
    }
}

void exposed(HWND window) { InvalidateRect(window, nullptr, TRUE); }

void destroyed(HWND window) {
    Window* record = findWindow(window);
    // One destruction is all there is to apply.
    if (record == nullptr || record->destroyQueued) return;
    record->destroyQueued = true;
    QueuedMessage entry;
    entry.kind = QueuedMessage::Kind::destroyed;
    entry.msg = makeMessage(window, WM_NULL, 0, 0);
    enqueue(entry);
}

}  // namespace input
}  // namespace pxNative

using namespace pxNative;

SHORT WINAPI GetKeyState(int nVirtKey) {
    if (nVirtKey < 0 || nVirtKey > 255) return 0;
    const std::uint8_t value = state().retrieved[nVirtKey];
    return static_cast<SHORT>(static_cast<std::uint16_t>(((value & kDown) ? 0x8000 : 0) | (value & kToggled)));
}

HWND WINAPI SetCapture(HWND hWnd) {
    if (findWindow(hWnd) == nullptr) return nullptr;
    const HWND previous = state().capture;
    state().capture = hWnd;
    if (previous != nullptr && previous != hWnd)
        callProcedure(previous, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(hWnd));
    return previous;
}

BOOL WINAPI ReleaseCapture() {
    State& s = state();
    const HWND previous = s.capture;
    s.capture = nullptr;
    // A leave that happened while the mouse was captured fires now, unless a
    // button held since the press still grabs it.
    if (Window* record = findWindow(previous);
        record != nullptr && record->leaveArmed && !record->pointerInside && s.grab != previous)
        postLeave(*record);
    if (previous != nullptr) callProcedure(previous, WM_CAPTURECHANGED, 0, 0);
    return TRUE;
}

HWND WINAPI GetCapture() { return state().capture; }

BOOL WINAPI TrackMouseEvent(LPTRACKMOUSEEVENT lpEventTrack) {
    if (lpEventTrack == nullptr || lpEventTrack->cbSize != sizeof(TRACKMOUSEEVENT)) return FALSE;
    Window* record = findWindow(lpEventTrack->hwndTrack);
    if (record == nullptr) return FALSE;
    if (!(lpEventTrack->dwFlags & TME_LEAVE)) return TRUE;
    if (lpEventTrack->dwFlags & TME_CANCEL) {
        record->leaveArmed = false;
        return TRUE;
    }
    record->leaveArmed = true;
    // Not over the window (and not holding the mouse): the leave is due at once.
    if (!record->pointerInside && !holdsMouse(record->handle)) postLeave(*record);
    return TRUE;
}
