// The Win32 subset that px/ is written against, checked at compile time.
//
// This file is compiled twice: into the px unit tests on Linux, against our
// own platform/win32.h, and by the MinGW-w64 cross compiler against the real
// <windows.h> (tests/px_mingw_check.sh). Every assertion must hold on both
// sides, so a constant, a record layout or a function signature of our subset
// that drifts from the platform's own breaks one of the two builds.
//
// Signatures are spelled with the platform's type names and without WINAPI or
// CALLBACK, which mean nothing on x86-64.

#include <cstddef>
#include <type_traits>

#include "platform/win32.h"

namespace {

static_assert(sizeof(void*) == 8, "the layer mirrors a 64-bit Windows build");

// ------------------------------------------------------------------ types

template <typename T, std::size_t size, bool isSigned>
constexpr bool integer = std::is_integral_v<T> && sizeof(T) == size&& std::is_signed_v<T> == isSigned;

static_assert(integer<BOOL, 4, true>);
static_assert(integer<BYTE, 1, false>);
static_assert(integer<WORD, 2, false>);
static_assert(integer<DWORD, 4, false>);
static_assert(integer<UINT, 4, false>);
static_assert(integer<LONG, 4, true>);
static_assert(integer<SHORT, 2, true>);
static_assert(integer<WPARAM, 8, false>);
static_assert(integer<LPARAM, 8, true>);
static_assert(integer<LRESULT, 8, true>);
static_assert(integer<UINT_PTR, 8, false>);
static_assert(integer<LONG_PTR, 8, true>);
static_assert(integer<ATOM, 2, false>);
static_assert(sizeof(WCHAR) == sizeof(wchar_t));

// Handles are distinct pointer types (STRICT), so that one cannot be passed
// for another.
static_assert(std::is_pointer_v<HWND> && std::is_pointer_v<HDC> && std::is_pointer_v<HBITMAP>);
static_assert(!std::is_same_v<HWND, HDC> && !std::is_same_v<HDC, HBITMAP> && !std::is_same_v<HWND, HINSTANCE>);
static_assert(std::is_same_v<HMODULE, HINSTANCE> && std::is_same_v<HCURSOR, HICON>);

// ------------------------------------------------------------------ records

static_assert(sizeof(POINT) == 8 && sizeof(RECT) == 16);
static_assert(offsetof(RECT, left) == 0 && offsetof(RECT, top) == 4 && offsetof(RECT, right) == 8 &&
              offsetof(RECT, bottom) == 12);

static_assert(sizeof(MSG) == 48);
static_assert(offsetof(MSG, hwnd) == 0 && offsetof(MSG, message) == 8 && offsetof(MSG, wParam) == 16 &&
              offsetof(MSG, lParam) == 24 && offsetof(MSG, time) == 32 && offsetof(MSG, pt) == 36);

static_assert(sizeof(WNDCLASSW) == 72);
static_assert(offsetof(WNDCLASSW, style) == 0 && offsetof(WNDCLASSW, lpfnWndProc) == 8 &&
              offsetof(WNDCLASSW, hInstance) == 24 && offsetof(WNDCLASSW, hCursor) == 40 &&
              offsetof(WNDCLASSW, hbrBackground) == 48 && offsetof(WNDCLASSW, lpszClassName) == 64);

// The window procedure finds its object as the first field of the record
// that WM_NCCREATE points at.
static_assert(offsetof(CREATESTRUCTW, lpCreateParams) == 0);
static_assert(sizeof(CREATESTRUCTW) == 80);

static_assert(sizeof(MINMAXINFO) == 40);
static_assert(sizeof(PAINTSTRUCT) == 72 && offsetof(PAINTSTRUCT, hdc) == 0 && offsetof(PAINTSTRUCT, rcPaint) == 12);
static_assert(sizeof(TRACKMOUSEEVENT) == 24 && offsetof(TRACKMOUSEEVENT, hwndTrack) == 8);

static_assert(sizeof(BITMAPINFOHEADER) == 40 && sizeof(BITMAPINFO) == 44 && sizeof(RGBQUAD) == 4);
static_assert(offsetof(BITMAPINFOHEADER, biWidth) == 4 && offsetof(BITMAPINFOHEADER, biHeight) == 8 &&
              offsetof(BITMAPINFOHEADER, biPlanes) == 12 && offsetof(BITMAPINFOHEADER, biBitCount) == 14 &&
              offsetof(BITMAPINFOHEADER, biCompression) == 16);
static_assert(sizeof(BITMAPV5HEADER) == 124);
static_assert(offsetof(BITMAPV5HEADER, bV5RedMask) == 40 && offsetof(BITMAPV5HEADER, bV5GreenMask) == 44 &&
              offsetof(BITMAPV5HEADER, bV5BlueMask) == 48 && offsetof(BITMAPV5HEADER, bV5AlphaMask) == 52 &&
              offsetof(BITMAPV5HEADER, bV5CSType) == 56 && offsetof(BITMAPV5HEADER, bV5Intent) == 108);
static_assert(sizeof(LARGE_INTEGER) == 8);

// ------------------------------------------------------------------ constants

static_assert(WM_CREATE == 1 && WM_DESTROY == 2 && WM_SIZE == 5 && WM_PAINT == 15 && WM_CLOSE == 16 && WM_QUIT == 18 &&
              WM_ERASEBKGND == 20 && WM_SETCURSOR == 32 && WM_GETMINMAXINFO == 36 && WM_NCCREATE == 129 &&
              WM_NCDESTROY == 130 && WM_NCHITTEST == 132);
static_assert(WM_KEYDOWN == 256 && WM_KEYUP == 257 && WM_CHAR == 258 && WM_SYSKEYDOWN == 260 && WM_SYSKEYUP == 261 &&
              WM_SYSCHAR == 262 && WM_TIMER == 275);
static_assert(WM_MOUSEMOVE == 512 && WM_LBUTTONDOWN == 513 && WM_LBUTTONUP == 514 && WM_LBUTTONDBLCLK == 515 &&
              WM_RBUTTONDOWN == 516 && WM_RBUTTONUP == 517 && WM_MBUTTONDOWN == 519 && WM_MBUTTONUP == 520 &&
              WM_MOUSEWHEEL == 522 && WM_CAPTURECHANGED == 533 && WM_MOUSELEAVE == 675 && WM_USER == 1024);
static_assert(HTNOWHERE == 0 && HTCLIENT == 1);
static_assert(MK_LBUTTON == 1 && MK_RBUTTON == 2 && MK_SHIFT == 4 && MK_CONTROL == 8 && MK_MBUTTON == 16);
static_assert(VK_BACK == 8 && VK_TAB == 9 && VK_RETURN == 13 && VK_SHIFT == 16 && VK_CONTROL == 17 && VK_MENU == 18 &&
              VK_ESCAPE == 27 && VK_SPACE == 32 && VK_LEFT == 37 && VK_UP == 38 && VK_RIGHT == 39 && VK_DOWN == 40 &&
              VK_F1 == 112 && VK_F12 == 123);
static_assert(VK_LSHIFT == 160 && VK_RSHIFT == 161 && VK_LCONTROL == 162 && VK_RCONTROL == 163 && VK_LMENU == 164 &&
              VK_RMENU == 165);
static_assert(GWLP_USERDATA == -21 && SW_HIDE == 0 && SW_SHOW == 5 && TME_LEAVE == 2);
static_assert(CS_VREDRAW == 1 && CS_HREDRAW == 2 && CS_DBLCLKS == 8);
static_assert(WS_OVERLAPPEDWINDOW == 0x00CF0000 && WS_VISIBLE == 0x10000000);
static_assert(PM_NOREMOVE == 0 && PM_REMOVE == 1 && USER_TIMER_MINIMUM == 10);
static_assert(ERROR_NOT_ENOUGH_QUOTA == 1816);
static_assert(WHITE_BRUSH == 0 && BI_RGB == 0 && BI_BITFIELDS == 3 && DIB_RGB_COLORS == 0);

// ------------------------------------------------------------------ functions

template <auto function, typename Signature>
constexpr bool signature = std::is_same_v<decltype(function), Signature*>;

static_assert(std::is_same_v<WNDPROC, LRESULT (*)(HWND, UINT, WPARAM, LPARAM)>);
static_assert(std::is_same_v<TIMERPROC, VOID (*)(HWND, UINT, UINT_PTR, DWORD)>);

static_assert(signature<&GetModuleHandleW, HMODULE(LPCWSTR)>);
static_assert(signature<&GetClassInfoW, BOOL(HINSTANCE, LPCWSTR, LPWNDCLASSW)>);
static_assert(signature<&RegisterClassW, ATOM(const WNDCLASSW*)>);
static_assert(signature<&LoadCursorW, HCURSOR(HINSTANCE, LPCWSTR)>);
static_assert(signature<&GetStockObject, HGDIOBJ(int)>);
static_assert(signature<&CreateWindowExW,
                        HWND(DWORD, LPCWSTR, LPCWSTR, DWORD, int, int, int, int, HWND, HMENU, HINSTANCE, LPVOID)>);
static_assert(signature<&DestroyWindow, BOOL(HWND)>);
static_assert(signature<&DefWindowProcW, LRESULT(HWND, UINT, WPARAM, LPARAM)>);
static_assert(signature<&SetWindowLongPtrW, LONG_PTR(HWND, int, LONG_PTR)>);
static_assert(signature<&GetWindowLongPtrW, LONG_PTR(HWND, int)>);
static_assert(signature<&SetWindowTextA, BOOL(HWND, LPCSTR)>);
static_assert(signature<&ShowWindow, BOOL(HWND, int)>);
static_assert(signature<&GetMessageW, BOOL(LPMSG, HWND, UINT, UINT)>);
static_assert(signature<&PeekMessageW, BOOL(LPMSG, HWND, UINT, UINT, UINT)>);
static_assert(signature<&PostMessageW, BOOL(HWND, UINT, WPARAM, LPARAM)>);
static_assert(signature<&GetLastError, DWORD()>);
static_assert(signature<&SendMessageW, LRESULT(HWND, UINT, WPARAM, LPARAM)>);
static_assert(signature<&TranslateMessage, BOOL(const MSG*)>);
static_assert(signature<&DispatchMessageW, LRESULT(const MSG*)>);
static_assert(signature<&PostQuitMessage, VOID(int)>);
static_assert(signature<&BeginPaint, HDC(HWND, LPPAINTSTRUCT)>);
static_assert(signature<&EndPaint, BOOL(HWND, const PAINTSTRUCT*)>);
static_assert(signature<&GetDC, HDC(HWND)>);
static_assert(signature<&ReleaseDC, int(HWND, HDC)>);
static_assert(signature<&InvalidateRect, BOOL(HWND, const RECT*, BOOL)>);
static_assert(signature<&SetRect, BOOL(LPRECT, int, int, int, int)>);
static_assert(signature<&GetKeyState, SHORT(int)>);
static_assert(signature<&SetCapture, HWND(HWND)>);
static_assert(signature<&ReleaseCapture, BOOL()>);
static_assert(signature<&TrackMouseEvent, BOOL(LPTRACKMOUSEEVENT)>);
static_assert(signature<&SetTimer, UINT_PTR(HWND, UINT_PTR, UINT, TIMERPROC)>);
static_assert(signature<&KillTimer, BOOL(HWND, UINT_PTR)>);
static_assert(signature<&CreateDIBSection, HBITMAP(HDC, const BITMAPINFO*, UINT, VOID**, HANDLE, DWORD)>);
static_assert(signature<&DeleteObject, BOOL(HGDIOBJ)>);
static_assert(signature<&SetDIBitsToDevice,
                        int(HDC, int, int, DWORD, DWORD, int, int, UINT, UINT, const VOID*, const BITMAPINFO*, UINT)>);
static_assert(signature<&QueryPerformanceFrequency, BOOL(LARGE_INTEGER*)>);
static_assert(signature<&QueryPerformanceCounter, BOOL(LARGE_INTEGER*)>);

}  // namespace
