#include "px/pxWindow.h"

namespace {

constexpr const wchar_t* kClassName = L"pxWindow";

// A mouse position: two signed 16-bit words, x low. A captured mouse left of
// or above the client area gives negative values.
std::int32_t positionX(LPARAM lparam) { return static_cast<std::int16_t>(static_cast<std::uint16_t>(lparam & 0xFFFF)); }
std::int32_t positionY(LPARAM lparam) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>((lparam >> 16) & 0xFFFF));
}

bool held(int virtualKey) { return (GetKeyState(virtualKey) & 0x8000) != 0; }

// Button flags: the button that changed, then Ctrl and Shift from the
// message's own modifier word, then Alt from the key state.
std::uint32_t buttonFlags(std::uint32_t button, WPARAM wparam) {
    std::uint32_t flags = button;
    if (wparam & MK_CONTROL) flags |= PX_KEYMOD_CTRL;
    if (wparam & MK_SHIFT) flags |= PX_KEYMOD_SHIFT;
    if (held(VK_MENU)) flags |= PX_KEYMOD_ALT;
    return flags;
}

std::uint32_t keyFlags() {
    std::uint32_t flags = 0;
    if (held(VK_SHIFT)) flags |= PX_KEYMOD_SHIFT;
    if (held(VK_CONTROL)) flags |= PX_KEYMOD_CTRL;
    if (held(VK_MENU)) flags |= PX_KEYMOD_ALT;
    return flags;
}

pxWindowNative* attachedObject(HWND window) {
    return reinterpret_cast<pxWindowNative*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

}  // namespace

pxWindowNative::~pxWindowNative() {
    if (handle != nullptr && attachedObject(handle) == this) SetWindowLongPtrW(handle, GWLP_USERDATA, 0);
}

std::int32_t pxWindowNative::create(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height) {
    return createWithStyle(nullptr, x, y, width, height, WS_OVERLAPPEDWINDOW, 0);
}

std::int32_t pxWindowNative::createWithStyle(HWND parent, std::int32_t x, std::int32_t y, std::int32_t width,
                                             std::int32_t height, std::uint32_t style, std::uint32_t exStyle) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW existing{};
    if (!GetClassInfoW(instance, kClassName, &existing)) {
        // No CS_DBLCLKS: two quick clicks stay two presses and releases.
        WNDCLASSW windowClass{};
        windowClass.style = CS_HREDRAW | CS_VREDRAW;
        windowClass.lpfnWndProc = windowProc;
        windowClass.hInstance = instance;
        windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        windowClass.lpszClassName = kClassName;
        RegisterClassW(&windowClass);
    }
    // The procedure runs during this call: WM_NCCREATE attaches this object
    // and sets handle, WM_CREATE calls handleCreated, WM_SIZE handleResize.
    handle = CreateWindowExW(exStyle, kClassName, L"", style, x, y, width, height, parent, nullptr, instance, this);
    return handle == nullptr ? 1 : 0;
}

std::int32_t pxWindowNative::setTitle(const char* title) { return SetWindowTextA(handle, title); }

std::int32_t pxWindowNative::setVisible(bool visible) { return ShowWindow(handle, visible ? SW_SHOW : SW_HIDE); }

std::int32_t pxWindowNative::setTickRate(std::int32_t rate) {
    tickRate = rate;
    if (timerId != 0) {
        KillTimer(handle, timerId);
        timerId = 0;
    }
    // Without a native window the rate only waits in tickRate: message 2024,
    // queued by WM_CREATE, applies it once the window exists.
    if (rate > 0 && handle != nullptr) timerId = SetTimer(handle, 1, static_cast<UINT>(1000 / rate), nullptr);
    return 0;
}

void pxWindowNative::invalidate(const pxBox* box) {
    if (box == nullptr) {
        InvalidateRect(handle, nullptr, FALSE);
        return;
    }
    RECT area;
    SetRect(&area, box->left, box->top, box->right, box->bottom);
    InvalidateRect(handle, &area, FALSE);
}

std::int32_t pxWindowNative::postPair(std::int32_t first, std::int32_t second) {
    // A null window would make this a thread message, which no window
    // procedure ever sees: the pair could never be delivered.
    if (handle == nullptr) return 0;
    // The tag tells this pair's message from a stale one whose pair was freed
    // and whose address the allocator has since given to this pair.
    pendingPairs_.push_back({++lastPairTag_, {first, second}});
    const LPARAM address = reinterpret_cast<LPARAM>(pendingPairs_.back().values.data());
    const BOOL posted = PostMessageW(handle, PX_MSG_POSTED_PAIR, pendingPairs_.back().tag, address);
    if (!posted) pendingPairs_.pop_back();
    return posted;
}

LRESULT CALLBACK pxWindowNative::windowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    // 1. Find the object: WM_NCCREATE brings it as the creation parameter;
    //    every later message finds it in the user-data slot.
    pxWindowNative* object = nullptr;
    if (message == WM_NCCREATE) {
        object = static_cast<pxWindowNative*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(object));
        if (object != nullptr) object->handle = window;
    } else {
        object = attachedObject(window);
    }
    // 2. Before the association, or after it was removed.
    if (object == nullptr) return DefWindowProcW(window, message, wparam, lparam);

    // 3. and 4. The filter may take the message for itself.
    const pxNativeMessage record{window, message, wparam, lparam};
    bool consumed = false;
    object->filterMessage(&record, consumed);
    if (consumed) return record.message == WM_SETCURSOR ? 1 : 0;

    // 5. The filter may have detached the object.
    object = attachedObject(window);
    if (object == nullptr) return DefWindowProcW(window, message, wparam, lparam);
    return object->dispatch(window, message, wparam, lparam);
}

LRESULT pxWindowNative::dispatch(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_CREATE:
        handleCreated();
        PostMessageW(window, PX_MSG_APPLY_TICK_RATE, 0, 0);
        break;
    case WM_DESTROY: handleDestroyed(); break;
    case WM_SIZE:
        handleResize(static_cast<std::int32_t>(lparam & 0xFFFF), static_cast<std::int32_t>((lparam >> 16) & 0xFFFF));
        break;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        const HDC surface = BeginPaint(handle, &paint);
        handlePaint(surface);
        EndPaint(handle, &paint);
        return 0;
    }
    case WM_CLOSE: handleCloseRequest(); return 0;
    case WM_ERASEBKGND:
        // The window shows only what handlePaint draws.
        return 0;
    case WM_NCDESTROY: SetWindowLongPtrW(window, GWLP_USERDATA, 0); break;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: handleKeyPress(static_cast<std::uint32_t>(wparam), keyFlags()); break;
    case WM_KEYUP:
    case WM_SYSKEYUP: handleKeyRelease(static_cast<std::uint32_t>(wparam), keyFlags()); break;
    case WM_TIMER: handleTimer(); break;
    case WM_MOUSEMOVE:
        if (!mouseTracked) {
            TRACKMOUSEEVENT track{};
            track.cbSize = sizeof(track);
            track.dwFlags = TME_LEAVE;
            track.hwndTrack = window;
            if (TrackMouseEvent(&track)) mouseTracked = true;
        }
        handleMouseMove(positionX(lparam), positionY(lparam));
        break;
    case WM_LBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_RBUTTONDOWN: {
        // Capture first, so that the drag and the release keep coming from
        // outside the window.
        SetCapture(handle);
        const std::uint32_t button = message == WM_LBUTTONDOWN   ? PX_BTN_LEFT
                                     : message == WM_MBUTTONDOWN ? PX_BTN_MIDDLE
                                                                 : PX_BTN_RIGHT;
        handleMousePress(positionX(lparam), positionY(lparam), buttonFlags(button, wparam));
        break;
    }
    case WM_LBUTTONUP:
    case WM_MBUTTONUP:
    case WM_RBUTTONUP: {
        ReleaseCapture();
        const std::uint32_t button = message == WM_LBUTTONUP   ? PX_BTN_LEFT
                                     : message == WM_MBUTTONUP ? PX_BTN_MIDDLE
                                                               : PX_BTN_RIGHT;
        handleMouseRelease(positionX(lparam), positionY(lparam), buttonFlags(button, wparam));
        break;
    }
    case WM_MOUSELEAVE:
        mouseTracked = false;
        handleMouseLeave();
        break;
    case PX_MSG_APPLY_TICK_RATE:
        // Applies a rate set before the window existed; a timer that already
        // runs was started at that rate and is left alone, so its ticks stay
        // on their grid.
        if (tickRate != 0 && timerId == 0) setTickRate(tickRate);
        break;
    case PX_MSG_POSTED_PAIR: {
        // Only a pair this object posted and still holds is read, and only
        // through its own message; any other lparam is compared, never
        // followed.
        const auto* address = reinterpret_cast<const std::int32_t*>(lparam);
        for (auto it = pendingPairs_.begin(); it != pendingPairs_.end(); ++it) {
            if (it->values.data() != address || it->tag != wparam) continue;
            const std::array<std::int32_t, 2> pair = it->values;
            pendingPairs_.erase(it);
            handlePostedPair(pair[0], pair[1]);
            break;
        }
        break;
    }
    default: break;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}
