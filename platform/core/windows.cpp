// Module, window classes and windows: registration, the creation sequence,
// destruction, the per-window slots, title, visibility and the default
// window procedure.

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/core/core.h"
#include "platform/platform.h"

namespace pxNative {
namespace {

// Fixed handles for the things of which there is exactly one: the module
// (Windows' customary image base) and the stock objects. The counter for all
// other handles starts far above them.
const std::uintptr_t kModule = 0x400000;
const std::uintptr_t kStockBase = 0x500000;
const std::uintptr_t kCursorBase = 0x600000;

bool isAtom(LPCWSTR name) { return reinterpret_cast<std::uintptr_t>(name) <= 0xFFFF; }

const WindowClass* findClass(LPCWSTR name, HINSTANCE) {
    auto& classes = state().classes;
    if (name == nullptr) return nullptr;
    if (isAtom(name)) {
        const auto atom = static_cast<ATOM>(reinterpret_cast<std::uintptr_t>(name));
        for (const auto& [key, cls] : classes)
            if (cls.atom == atom) return &cls;
        return nullptr;
    }
    const auto it = classes.find(name);
    return it == classes.end() ? nullptr : &it->second;
}

// Ends a window whose creation was abandoned, or destroys a created one.
void finishWindow(HWND window, bool sendDestroy) {
    Window* record = findWindow(window);
    if (record == nullptr) return;
    record->destroying = true;
    if (sendDestroy) callProcedure(window, WM_DESTROY, 0, 0);
    // Children go after their parent's WM_DESTROY and before its WM_NCDESTROY.
    std::vector<HWND> children;
    for (const auto& [key, child] : state().windows)
        if (child->parent == window && !child->destroying) children.push_back(child->handle);
    for (HWND child : children) DestroyWindow(child);
    forgetWindow(window);
    callProcedure(window, WM_NCDESTROY, 0, 0);
    backend::closeWindow(window);
    state().windows.erase(handleValue(window));
}

}  // namespace

std::string narrow(const wchar_t* text) {
    std::string out;
    if (text == nullptr) return out;
    for (; *text; ++text) {
        auto c = static_cast<std::uint32_t>(*text);
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

State& state() {
    static State instance;
    return instance;
}

void resetState() {
    State& s = state();
    for (auto& [key, bitmap] : s.bitmaps) std::free(bitmap.memory);
    s = State{};
}

std::uintptr_t newHandleValue() {
    static std::uintptr_t next = 0x1000000;
    return next += 4;
}

Window* findWindow(HWND window) {
    auto& windows = state().windows;
    const auto it = windows.find(handleValue(window));
    return it == windows.end() ? nullptr : it->second.get();
}

backend::Size clampClientSize(std::int32_t width, std::int32_t height) {
    const backend::Size largest = backend::largestClient();
    return backend::Size{std::clamp(width, 0, largest.width), std::clamp(height, 0, largest.height)};
}

Rect clientRect(const Window& window) { return Rect{0, 0, window.image.width, window.image.height}; }

LRESULT callProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    const Window* record = findWindow(window);
    if (record == nullptr || record->procedure == nullptr) return 0;
    const ProcedureCall running;
    return record->procedure(window, message, wparam, lparam);
}

void setLastError(pxNativeFailure failure, const std::string& detail) {
    State& s = state();
    s.lastFailure = failure;
    s.lastError = pxNativeFailureText(failure);
    if (!detail.empty()) s.lastError += " (" + detail + ")";
}

}  // namespace pxNative

using namespace pxNative;

const char* pxNativeLastError() { return state().lastError.c_str(); }

pxNativeFailure pxNativeLastFailure() { return state().lastFailure; }

const char* pxNativeFailureText(pxNativeFailure failure) {
    switch (failure) {
    case pxNativeFailure::none: return "";
    case pxNativeFailure::noDisplay: return "no display: DISPLAY and WAYLAND_DISPLAY are not set";
    case pxNativeFailure::noServer: return "no display server answers";
    case pxNativeFailure::noInputSeat: return "the Wayland compositor offers no input seat (keyboard or mouse)";
    case pxNativeFailure::refusedByDisplay: return "the display refused the window";
    case pxNativeFailure::noSurface: return "the window has no drawing surface";
    case pxNativeFailure::childWindow: return "child windows are not supported";
    case pxNativeFailure::unknownClass: return "the window class is not registered";
    case pxNativeFailure::unknownParent: return "the parent window does not exist";
    case pxNativeFailure::refusedByProcedure: return "the window procedure refused the window";
    case pxNativeFailure::destroyedWhileCreated: return "the window was destroyed while it was being created";
    }
    return "the window could not be opened";
}

HMODULE WINAPI GetModuleHandleW(LPCWSTR lpModuleName) {
    return lpModuleName == nullptr ? reinterpret_cast<HMODULE>(kModule) : nullptr;
}

BOOL WINAPI GetClassInfoW(HINSTANCE hInstance, LPCWSTR lpClassName, LPWNDCLASSW lpWndClass) {
    const WindowClass* cls = findClass(lpClassName, hInstance);
    if (cls == nullptr || lpWndClass == nullptr) return FALSE;
    *lpWndClass = WNDCLASSW{};
    lpWndClass->style = cls->style;
    lpWndClass->lpfnWndProc = cls->procedure;
    lpWndClass->hInstance = cls->instance;
    lpWndClass->hIcon = cls->icon;
    lpWndClass->hCursor = cls->cursor;
    lpWndClass->hbrBackground = cls->background;
    lpWndClass->lpszClassName = lpClassName;
    return TRUE;
}

ATOM WINAPI RegisterClassW(const WNDCLASSW* lpWndClass) {
    if (lpWndClass == nullptr || lpWndClass->lpszClassName == nullptr || isAtom(lpWndClass->lpszClassName) ||
        lpWndClass->lpfnWndProc == nullptr || lpWndClass->cbClsExtra != 0 || lpWndClass->cbWndExtra != 0)
        return 0;
    State& s = state();
    if (s.classes.count(lpWndClass->lpszClassName) != 0) return 0;
    WindowClass cls;
    cls.name = lpWndClass->lpszClassName;
    cls.atom = s.nextAtom++;
    cls.instance = lpWndClass->hInstance;
    cls.style = lpWndClass->style;
    cls.procedure = lpWndClass->lpfnWndProc;
    cls.icon = lpWndClass->hIcon;
    cls.cursor = lpWndClass->hCursor;
    cls.background = lpWndClass->hbrBackground;
    const ATOM atom = cls.atom;
    s.classes.emplace(cls.name, std::move(cls));
    return atom;
}

BOOL WINAPI UnregisterClassW(LPCWSTR lpClassName, HINSTANCE hInstance) {
    const WindowClass* cls = findClass(lpClassName, hInstance);
    if (cls == nullptr) return FALSE;
    for (const auto& [key, window] : state().windows)
        if (window->className == cls->name) return FALSE;
    state().classes.erase(cls->name);
    return TRUE;
}

HCURSOR WINAPI LoadCursorW(HINSTANCE hInstance, LPCWSTR lpCursorName) {
    // Only the system's cursors, named by number.
    if (hInstance != nullptr || !isAtom(lpCursorName)) return nullptr;
    return reinterpret_cast<HCURSOR>(kCursorBase + reinterpret_cast<std::uintptr_t>(lpCursorName));
}

HGDIOBJ WINAPI GetStockObject(int i) {
    if (i < 0 || i > 19) return nullptr;
    return reinterpret_cast<HGDIOBJ>(kStockBase + static_cast<std::uintptr_t>(i));
}

namespace pxNative {
std::optional<std::uint32_t> brushColor(HBRUSH brush) {
    const auto value = handleValue(brush);
    if (value == kStockBase + WHITE_BRUSH) return 0xFFFFFF;
    if (value == kStockBase + 1) return 0xC0C0C0;  // LTGRAY_BRUSH
    if (value == kStockBase + 2) return 0x808080;  // GRAY_BRUSH
    if (value == kStockBase + 3) return 0x404040;  // DKGRAY_BRUSH
    if (value == kStockBase + BLACK_BRUSH) return 0x000000;
    return std::nullopt;  // NULL_BRUSH and anything unknown paint nothing
}
}  // namespace pxNative

HWND WINAPI CreateWindowExW(DWORD dwExStyle, LPCWSTR lpClassName, LPCWSTR lpWindowName, DWORD dwStyle, int X, int Y,
                            int nWidth, int nHeight, HWND hWndParent, HMENU hMenu, HINSTANCE hInstance,
                            LPVOID lpParam) {
    State& s = state();
    setLastError(pxNativeFailure::none, "");
    const WindowClass* cls = findClass(lpClassName, hInstance);
    if (cls == nullptr) {
        setLastError(pxNativeFailure::unknownClass, "");
        return nullptr;
    }
    if (hWndParent != nullptr && findWindow(hWndParent) == nullptr) {
        setLastError(pxNativeFailure::unknownParent, "");
        return nullptr;
    }

    const HWND window = reinterpret_cast<HWND>(newHandleValue());
    auto record = std::make_unique<Window>(window);
    record->order = s.nextOrder++;
    record->className = cls->name;
    record->classStyle = cls->style;
    record->background = cls->background;
    record->procedure = cls->procedure;
    record->parent = hWndParent;
    record->style = dwStyle & ~WS_VISIBLE;
    record->exStyle = dwExStyle;
    record->title = narrow(lpWindowName);
    record->x = X;
    record->y = Y;
    // On X11 and Wayland the window manager draws the frame outside the window
    // it is given, so the whole requested rectangle becomes the client area.
    // A 320 x 240 request is therefore a 320 x 240 client area.
    const backend::Size size = clampClientSize(nWidth, nHeight);

    backend::WindowRequest request;
    request.x = X;
    request.y = Y;
    request.width = size.width;
    request.height = size.height;
    request.resizable = (dwStyle & WS_THICKFRAME) != 0;
    request.decorated = (dwStyle & WS_CAPTION) == WS_CAPTION;
    request.toplevel = hWndParent == nullptr;
    backend::Refusal refusal;
    if (!backend::openWindow(window, request, refusal)) {
        setLastError(refusal.failure, refusal.detail);
        return nullptr;
    }
    // The image after the native window: a backend may give it memory that
    // belongs to the open display. Memory refused leaves a window of no
    // size, which the next resize that can be afforded gives its image.
    record->image.resize(size.width, size.height);
    backend::setTitle(window, record->title);
    const std::int32_t width = record->image.width;
    const std::int32_t height = record->image.height;
    s.windows.emplace(handleValue(window), std::move(record));

    // The procedure may destroy the window from any of the messages below.
    const auto gone = [&] {
        if (findWindow(window) != nullptr) return false;
        setLastError(pxNativeFailure::destroyedWhileCreated, "");
        return true;
    };

    MINMAXINFO limits{};
    limits.ptMaxSize = {32767, 32767};
    limits.ptMaxTrackSize = {32767, 32767};
    callProcedure(window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));

    CREATESTRUCTW create{};
    create.lpCreateParams = lpParam;
    create.hInstance = hInstance;
    create.hMenu = hMenu;
    create.hwndParent = hWndParent;
    create.cy = nHeight;
    create.cx = nWidth;
    create.y = Y;
    create.x = X;
    create.style = static_cast<LONG>(dwStyle);
    create.lpszName = lpWindowName;
    create.lpszClass = lpClassName;
    create.dwExStyle = dwExStyle;

    if (gone()) return nullptr;
    if (callProcedure(window, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&create)) == 0) {
        if (findWindow(window) != nullptr) finishWindow(window, false);
        setLastError(pxNativeFailure::refusedByProcedure, "WM_NCCREATE");
        return nullptr;
    }
    if (gone()) return nullptr;
    if (callProcedure(window, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
        if (findWindow(window) != nullptr) finishWindow(window, true);
        setLastError(pxNativeFailure::refusedByProcedure, "WM_CREATE");
        return nullptr;
    }
    if (gone()) return nullptr;
    // The backend reports no size when a window is created or shown, so the
    // first WM_SIZE comes from here, and the window can draw its first frame
    // before CreateWindowExW returns.
    callProcedure(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(width, height));
    if (gone()) return nullptr;
    if (dwStyle & WS_VISIBLE) ShowWindow(window, SW_SHOW);
    return window;
}

BOOL WINAPI DestroyWindow(HWND hWnd) {
    Window* record = findWindow(hWnd);
    if (record == nullptr || record->destroying) return FALSE;
    finishWindow(hWnd, true);
    return TRUE;
}

BOOL WINAPI IsWindow(HWND hWnd) { return findWindow(hWnd) != nullptr ? TRUE : FALSE; }

BOOL WINAPI IsWindowVisible(HWND hWnd) {
    const Window* record = findWindow(hWnd);
    return record != nullptr && record->visible ? TRUE : FALSE;
}

LRESULT WINAPI DefWindowProcW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    switch (Msg) {
    case WM_NCCREATE: return TRUE;
    case WM_CLOSE: DestroyWindow(hWnd); return 0;
    case WM_ERASEBKGND: {
        Window* record = findWindow(hWnd);
        const DeviceContext* dc = findDeviceContext(reinterpret_cast<HDC>(wParam));
        if (record == nullptr || dc == nullptr || dc->window != hWnd) return 0;
        const auto color = brushColor(record->background);
        if (!color) return 0;
        fillImage(*record, dc->clip, *color);
        return 1;
    }
    case WM_PAINT: {
        PAINTSTRUCT paint;
        if (BeginPaint(hWnd, &paint) != nullptr) EndPaint(hWnd, &paint);
        return 0;
    }
    case WM_NCHITTEST: {
        // The frame is the window manager's: a point is in the client area or
        // nowhere on the window.
        const Window* record = findWindow(hWnd);
        if (record == nullptr) return HTNOWHERE;
        // The point carries the low 16 bits of each screen coordinate; so
        // does the difference taken modulo 2^16, which is the client position
        // wherever the window sits, as long as it lies within 32767 pixels.
        const auto client = [](WORD point, std::int32_t origin) -> std::int32_t {
            return static_cast<std::int16_t>(static_cast<std::uint16_t>(point - static_cast<std::uint16_t>(origin)));
        };
        const std::int32_t x = client(LOWORD(lParam), record->x);
        const std::int32_t y = client(HIWORD(lParam), record->y);
        return x >= 0 && y >= 0 && x < record->image.width && y < record->image.height ? HTCLIENT : HTNOWHERE;
    }
    default: return 0;
    }
}

LRESULT WINAPI CallWindowProcW(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    return lpPrevWndFunc ? lpPrevWndFunc(hWnd, Msg, wParam, lParam) : 0;
}

LONG_PTR WINAPI SetWindowLongPtrW(HWND hWnd, int nIndex, LONG_PTR dwNewLong) {
    Window* record = findWindow(hWnd);
    if (record == nullptr) return 0;
    LONG_PTR previous = 0;
    if (nIndex == GWLP_USERDATA) {
        previous = record->userData;
        record->userData = dwNewLong;
    } else if (nIndex == GWLP_WNDPROC && dwNewLong != 0) {
        previous = reinterpret_cast<LONG_PTR>(record->procedure);
        record->procedure = reinterpret_cast<WNDPROC>(dwNewLong);
    }
    return previous;
}

LONG_PTR WINAPI GetWindowLongPtrW(HWND hWnd, int nIndex) {
    const Window* record = findWindow(hWnd);
    if (record == nullptr) return 0;
    if (nIndex == GWLP_USERDATA) return record->userData;
    if (nIndex == GWLP_WNDPROC) return reinterpret_cast<LONG_PTR>(record->procedure);
    return 0;
}

BOOL WINAPI SetWindowTextA(HWND hWnd, LPCSTR lpString) {
    Window* record = findWindow(hWnd);
    if (record == nullptr) return FALSE;
    record->title = lpString ? lpString : "";
    backend::setTitle(hWnd, record->title);
    return TRUE;
}

int WINAPI GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount) {
    const Window* record = findWindow(hWnd);
    if (record == nullptr || lpString == nullptr || nMaxCount <= 0) return 0;
    const std::size_t n = std::min(record->title.size(), static_cast<std::size_t>(nMaxCount - 1));
    std::memcpy(lpString, record->title.data(), n);
    lpString[n] = '\0';
    return static_cast<int>(n);
}

BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow) {
    Window* record = findWindow(hWnd);
    if (record == nullptr) return FALSE;
    const bool wasVisible = record->visible;
    const bool visible = nCmdShow != SW_HIDE;
    if (visible == wasVisible) return wasVisible ? TRUE : FALSE;
    callProcedure(hWnd, WM_SHOWWINDOW, visible ? TRUE : FALSE, 0);
    record = findWindow(hWnd);
    if (record == nullptr) return wasVisible ? TRUE : FALSE;
    record->visible = visible;
    backend::setVisible(hWnd, visible);
    if (visible) {
        InvalidateRect(hWnd, nullptr, TRUE);
    } else {
        record->invalid.reset();
        record->erasePending = false;
        if (state().capture == hWnd) ReleaseCapture();
    }
    return wasVisible ? TRUE : FALSE;
}

BOOL WINAPI GetClientRect(HWND hWnd, LPRECT lpRect) {
    const Window* record = findWindow(hWnd);
    if (record == nullptr || lpRect == nullptr) return FALSE;
    *lpRect = RECT{0, 0, record->image.width, record->image.height};
    return TRUE;
}
