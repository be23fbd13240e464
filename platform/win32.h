#pragma once
// The Win32 API subset that the px framework is written against.
//
// On Windows this is <windows.h> itself. Elsewhere it declares the same names
// with the same signatures and the sizes of a 64-bit Windows build (handles,
// WPARAM, LPARAM, LRESULT and UINT_PTR are pointer-sized; DWORD, LONG and UINT
// are 32 bits; BOOL is int), and the platform layer in platform/ implements
// them: one backend-neutral core plus one backend chosen when the program is
// linked (platform/sdl, platform/web or platform/headless).
//
// Only what the framework and its tests use is here. Where the layer chooses
// a behaviour Win32 leaves open, the choice is stated beside the function.
// Text is narrow UTF-8 internally; wide strings (class names) are compared as
// wide strings. Everything is single-threaded: call it from the thread that
// runs the message loop.

#if defined(_WIN32)

#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#else

#include <cstdint>

// Calling conventions mean nothing on x86-64 Linux.
#define WINAPI
#define CALLBACK
#define APIENTRY

// ---------------------------------------------------------------- base types

using BOOL = int;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using INT = int;
using SHORT = std::int16_t;
using USHORT = std::uint16_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using INT_PTR = std::intptr_t;
using UINT_PTR = std::uintptr_t;
using LONG_PTR = std::intptr_t;
using ULONG_PTR = std::uintptr_t;
using WPARAM = UINT_PTR;
using LPARAM = LONG_PTR;
using LRESULT = LONG_PTR;
using ATOM = WORD;
using WCHAR = wchar_t;
using CHAR = char;
using LPSTR = char*;
using LPCSTR = const char*;
using LPWSTR = wchar_t*;
using LPCWSTR = const wchar_t*;
using LPVOID = void*;
using LPCVOID = const void*;
using VOID = void;
using HANDLE = void*;
using HGDIOBJ = void*;

// Handles are distinct pointer types, as with STRICT on Windows. They are
// opaque: the layer never hands out addresses of its own records, and a stale
// or made-up handle is rejected, never dereferenced.
struct HWND__;
struct HDC__;
struct HBITMAP__;
struct HINSTANCE__;
struct HICON__;
struct HBRUSH__;
struct HMENU__;
using HWND = HWND__*;
using HDC = HDC__*;
using HBITMAP = HBITMAP__*;
using HINSTANCE = HINSTANCE__*;
using HMODULE = HINSTANCE;
using HICON = HICON__*;
using HCURSOR = HICON;
using HBRUSH = HBRUSH__*;
using HMENU = HMENU__*;

inline constexpr BOOL TRUE = 1;
inline constexpr BOOL FALSE = 0;

// ---------------------------------------------------------------- records

struct POINT {
    LONG x;
    LONG y;
};

struct RECT {
    LONG left;
    LONG top;
    LONG right;   // one past the last column
    LONG bottom;  // one past the last row
};
using LPRECT = RECT*;

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;  // milliseconds of the layer's clock when the message arrived
    POINT pt;
};
using LPMSG = MSG*;

using WNDPROC = LRESULT(CALLBACK*)(HWND, UINT, WPARAM, LPARAM);
using TIMERPROC = VOID(CALLBACK*)(HWND, UINT, UINT_PTR, DWORD);

struct WNDCLASSW {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCWSTR lpszMenuName;
    LPCWSTR lpszClassName;
};
using LPWNDCLASSW = WNDCLASSW*;

// What WM_NCCREATE and WM_CREATE point lparam at.
struct CREATESTRUCTW {
    LPVOID lpCreateParams;
    HINSTANCE hInstance;
    HMENU hMenu;
    HWND hwndParent;
    int cy;
    int cx;
    int y;
    int x;
    LONG style;
    LPCWSTR lpszName;
    LPCWSTR lpszClass;
    DWORD dwExStyle;
};

// What WM_GETMINMAXINFO points lparam at.
struct MINMAXINFO {
    POINT ptReserved;
    POINT ptMaxSize;
    POINT ptMaxPosition;
    POINT ptMinTrackSize;
    POINT ptMaxTrackSize;
};

struct PAINTSTRUCT {
    HDC hdc;
    BOOL fErase;
    RECT rcPaint;
    BOOL fRestore;
    BOOL fIncUpdate;
    BYTE rgbReserved[32];
};
using LPPAINTSTRUCT = PAINTSTRUCT*;

struct TRACKMOUSEEVENT {
    DWORD cbSize;
    DWORD dwFlags;
    HWND hwndTrack;
    DWORD dwHoverTime;
};
using LPTRACKMOUSEEVENT = TRACKMOUSEEVENT*;

struct BITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;  // > 0: bottom-up rows; < 0: top-down rows
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
};

struct RGBQUAD {
    BYTE rgbBlue;
    BYTE rgbGreen;
    BYTE rgbRed;
    BYTE rgbReserved;
};

struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
};

using FXPT2DOT30 = LONG;
struct CIEXYZ {
    FXPT2DOT30 ciexyzX;
    FXPT2DOT30 ciexyzY;
    FXPT2DOT30 ciexyzZ;
};
struct CIEXYZTRIPLE {
    CIEXYZ ciexyzRed;
    CIEXYZ ciexyzGreen;
    CIEXYZ ciexyzBlue;
};

struct BITMAPV5HEADER {
    DWORD bV5Size;
    LONG bV5Width;
    LONG bV5Height;
    WORD bV5Planes;
    WORD bV5BitCount;
    DWORD bV5Compression;
    DWORD bV5SizeImage;
    LONG bV5XPelsPerMeter;
    LONG bV5YPelsPerMeter;
    DWORD bV5ClrUsed;
    DWORD bV5ClrImportant;
    DWORD bV5RedMask;
    DWORD bV5GreenMask;
    DWORD bV5BlueMask;
    DWORD bV5AlphaMask;
    DWORD bV5CSType;
    CIEXYZTRIPLE bV5Endpoints;
    DWORD bV5GammaRed;
    DWORD bV5GammaGreen;
    DWORD bV5GammaBlue;
    DWORD bV5Intent;
    DWORD bV5ProfileData;
    DWORD bV5ProfileSize;
    DWORD bV5Reserved;
};

static_assert(sizeof(BITMAPINFOHEADER) == 40);
static_assert(sizeof(BITMAPINFO) == 44);
static_assert(sizeof(BITMAPV5HEADER) == 124);

union LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    } u;
    LONGLONG QuadPart;
};

// ---------------------------------------------------------------- constants

// Window messages.
inline constexpr UINT WM_NULL = 0x0000;
inline constexpr UINT WM_CREATE = 0x0001;
inline constexpr UINT WM_DESTROY = 0x0002;
inline constexpr UINT WM_MOVE = 0x0003;
inline constexpr UINT WM_SIZE = 0x0005;
inline constexpr UINT WM_PAINT = 0x000F;
inline constexpr UINT WM_CLOSE = 0x0010;
inline constexpr UINT WM_QUIT = 0x0012;
inline constexpr UINT WM_ERASEBKGND = 0x0014;
inline constexpr UINT WM_SHOWWINDOW = 0x0018;
inline constexpr UINT WM_SETCURSOR = 0x0020;
inline constexpr UINT WM_GETMINMAXINFO = 0x0024;
inline constexpr UINT WM_NCCREATE = 0x0081;
inline constexpr UINT WM_NCHITTEST = 0x0084;
inline constexpr UINT WM_NCDESTROY = 0x0082;
inline constexpr UINT WM_KEYDOWN = 0x0100;
inline constexpr UINT WM_KEYUP = 0x0101;
inline constexpr UINT WM_CHAR = 0x0102;
inline constexpr UINT WM_SYSKEYDOWN = 0x0104;
inline constexpr UINT WM_SYSKEYUP = 0x0105;
inline constexpr UINT WM_SYSCHAR = 0x0106;
inline constexpr UINT WM_TIMER = 0x0113;
inline constexpr UINT WM_MOUSEMOVE = 0x0200;
inline constexpr UINT WM_LBUTTONDOWN = 0x0201;
inline constexpr UINT WM_LBUTTONUP = 0x0202;
inline constexpr UINT WM_LBUTTONDBLCLK = 0x0203;
inline constexpr UINT WM_RBUTTONDOWN = 0x0204;
inline constexpr UINT WM_RBUTTONUP = 0x0205;
inline constexpr UINT WM_RBUTTONDBLCLK = 0x0206;
inline constexpr UINT WM_MBUTTONDOWN = 0x0207;
inline constexpr UINT WM_MBUTTONUP = 0x0208;
inline constexpr UINT WM_MBUTTONDBLCLK = 0x0209;
inline constexpr UINT WM_MOUSEWHEEL = 0x020A;
inline constexpr UINT WM_CAPTURECHANGED = 0x0215;
inline constexpr UINT WM_MOUSELEAVE = 0x02A3;
inline constexpr UINT WM_USER = 0x0400;

// WM_SIZE wparam.
inline constexpr WPARAM SIZE_RESTORED = 0;

// WM_NCHITTEST results: where on the window a screen point lies.
inline constexpr LRESULT HTNOWHERE = 0;
inline constexpr LRESULT HTCLIENT = 1;
inline constexpr WPARAM SIZE_MINIMIZED = 1;
inline constexpr WPARAM SIZE_MAXIMIZED = 2;

// Mouse message wparam bits.
inline constexpr WPARAM MK_LBUTTON = 0x0001;
inline constexpr WPARAM MK_RBUTTON = 0x0002;
inline constexpr WPARAM MK_SHIFT = 0x0004;
inline constexpr WPARAM MK_CONTROL = 0x0008;
inline constexpr WPARAM MK_MBUTTON = 0x0010;

// Virtual-key codes. Letters are 'A'..'Z' and digits '0'..'9'.
inline constexpr int VK_LBUTTON = 0x01;
inline constexpr int VK_RBUTTON = 0x02;
inline constexpr int VK_MBUTTON = 0x04;
inline constexpr int VK_BACK = 0x08;
inline constexpr int VK_TAB = 0x09;
inline constexpr int VK_RETURN = 0x0D;
inline constexpr int VK_SHIFT = 0x10;
inline constexpr int VK_CONTROL = 0x11;
inline constexpr int VK_MENU = 0x12;
inline constexpr int VK_PAUSE = 0x13;
inline constexpr int VK_CAPITAL = 0x14;
inline constexpr int VK_ESCAPE = 0x1B;
inline constexpr int VK_SPACE = 0x20;
inline constexpr int VK_PRIOR = 0x21;
inline constexpr int VK_NEXT = 0x22;
inline constexpr int VK_END = 0x23;
inline constexpr int VK_HOME = 0x24;
inline constexpr int VK_LEFT = 0x25;
inline constexpr int VK_UP = 0x26;
inline constexpr int VK_RIGHT = 0x27;
inline constexpr int VK_DOWN = 0x28;
inline constexpr int VK_SNAPSHOT = 0x2C;
inline constexpr int VK_INSERT = 0x2D;
inline constexpr int VK_DELETE = 0x2E;
inline constexpr int VK_LWIN = 0x5B;
inline constexpr int VK_RWIN = 0x5C;
inline constexpr int VK_APPS = 0x5D;
inline constexpr int VK_NUMPAD0 = 0x60;
inline constexpr int VK_NUMPAD9 = 0x69;
inline constexpr int VK_MULTIPLY = 0x6A;
inline constexpr int VK_ADD = 0x6B;
inline constexpr int VK_SUBTRACT = 0x6D;
inline constexpr int VK_DECIMAL = 0x6E;
inline constexpr int VK_DIVIDE = 0x6F;
inline constexpr int VK_F1 = 0x70;
inline constexpr int VK_F12 = 0x7B;
inline constexpr int VK_NUMLOCK = 0x90;
inline constexpr int VK_SCROLL = 0x91;
inline constexpr int VK_LSHIFT = 0xA0;
inline constexpr int VK_RSHIFT = 0xA1;
inline constexpr int VK_LCONTROL = 0xA2;
inline constexpr int VK_RCONTROL = 0xA3;
inline constexpr int VK_LMENU = 0xA4;
inline constexpr int VK_RMENU = 0xA5;
inline constexpr int VK_OEM_1 = 0xBA;       // ;:
inline constexpr int VK_OEM_PLUS = 0xBB;    // =+
inline constexpr int VK_OEM_COMMA = 0xBC;   // ,<
inline constexpr int VK_OEM_MINUS = 0xBD;   // -_
inline constexpr int VK_OEM_PERIOD = 0xBE;  // .>
inline constexpr int VK_OEM_2 = 0xBF;       // /?
inline constexpr int VK_OEM_3 = 0xC0;       // `~
inline constexpr int VK_OEM_4 = 0xDB;       // [{
inline constexpr int VK_OEM_5 = 0xDC;       // backslash |
inline constexpr int VK_OEM_6 = 0xDD;       // ]}
inline constexpr int VK_OEM_7 = 0xDE;       // '"

// Window and class styles.
inline constexpr DWORD WS_OVERLAPPED = 0x00000000;
inline constexpr DWORD WS_MAXIMIZEBOX = 0x00010000;
inline constexpr DWORD WS_MINIMIZEBOX = 0x00020000;
inline constexpr DWORD WS_THICKFRAME = 0x00040000;
inline constexpr DWORD WS_SYSMENU = 0x00080000;
inline constexpr DWORD WS_CAPTION = 0x00C00000;
inline constexpr DWORD WS_VISIBLE = 0x10000000;
inline constexpr DWORD WS_CHILD = 0x40000000;
inline constexpr DWORD WS_POPUP = 0x80000000;
inline constexpr DWORD WS_OVERLAPPEDWINDOW = 0x00CF0000;
inline constexpr UINT CS_VREDRAW = 0x0001;
inline constexpr UINT CS_HREDRAW = 0x0002;
inline constexpr UINT CS_DBLCLKS = 0x0008;

inline constexpr int GWLP_WNDPROC = -4;
inline constexpr int GWLP_USERDATA = -21;

inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOWNORMAL = 1;
inline constexpr int SW_SHOW = 5;

inline constexpr DWORD TME_HOVER = 0x00000001;
inline constexpr DWORD TME_LEAVE = 0x00000002;
inline constexpr DWORD TME_CANCEL = 0x80000000;

inline constexpr UINT PM_NOREMOVE = 0x0000;
inline constexpr UINT PM_REMOVE = 0x0001;

inline constexpr UINT USER_TIMER_MINIMUM = 10;  // milliseconds; shorter periods are raised to it

inline constexpr int WHITE_BRUSH = 0;
inline constexpr int BLACK_BRUSH = 4;

inline constexpr DWORD BI_RGB = 0;
inline constexpr DWORD BI_BITFIELDS = 3;
inline constexpr UINT DIB_RGB_COLORS = 0;

// ---------------------------------------------------------------- macros

// Function-like macros, as the platform spells them.
#define LOWORD(l) ((WORD)(((ULONG_PTR)(l)) & 0xffff))
#define HIWORD(l) ((WORD)((((ULONG_PTR)(l)) >> 16) & 0xffff))
#define MAKELONG(a, b) \
    ((LONG)(((WORD)(((ULONG_PTR)(a)) & 0xffff)) | ((DWORD)((WORD)(((ULONG_PTR)(b)) & 0xffff))) << 16))
#define MAKELPARAM(l, h) ((LPARAM)(DWORD)MAKELONG(l, h))
#define MAKEINTRESOURCEW(i) ((LPWSTR)((ULONG_PTR)((WORD)(i))))
#define IDC_ARROW MAKEINTRESOURCEW(32512)

// ---------------------------------------------------------------- functions

// Module and classes. There is one module, the program; GetModuleHandleW(null)
// returns its handle, and any other name returns null.
HMODULE WINAPI GetModuleHandleW(LPCWSTR lpModuleName);
BOOL WINAPI GetClassInfoW(HINSTANCE hInstance, LPCWSTR lpClassName, LPWNDCLASSW lpWndClass);
// Returns 0 when a class of that name is already registered for the instance,
// when the record has no name or no window procedure, or when the extra byte
// counts are not 0 (the layer keeps no extra bytes).
ATOM WINAPI RegisterClassW(const WNDCLASSW* lpWndClass);
BOOL WINAPI UnregisterClassW(LPCWSTR lpClassName, HINSTANCE hInstance);
HCURSOR WINAPI LoadCursorW(HINSTANCE hInstance, LPCWSTR lpCursorName);
HGDIOBJ WINAPI GetStockObject(int i);

// Windows. CreateWindowExW calls the window procedure before it returns, in
// this order: WM_GETMINMAXINFO, WM_NCCREATE (lparam: CREATESTRUCTW*), WM_CREATE
// (lparam: CREATESTRUCTW*), WM_SIZE with the client size. A procedure that
// returns 0 for WM_NCCREATE, or -1 for WM_CREATE, abandons the creation: the
// window gets WM_NCDESTROY (after WM_DESTROY for a refused WM_CREATE) and the
// call returns null. The window starts hidden unless the style has WS_VISIBLE.
// Position and size are the outer rectangle; on X11 and Wayland the frame is
// the window manager's, so the client area is exactly width x height (clamped
// to what the screen allows: 4096 x 4096 headless, 16384 x 16384 with SDL,
// and WM_SIZE always reports the clamped size). When the
// backend cannot open a window the call returns null without calling the
// procedure at all; pxNativeLastError (platform/platform.h) says why.
HWND WINAPI CreateWindowExW(DWORD dwExStyle, LPCWSTR lpClassName, LPCWSTR lpWindowName, DWORD dwStyle, int X, int Y,
                            int nWidth, int nHeight, HWND hWndParent, HMENU hMenu, HINSTANCE hInstance, LPVOID lpParam);
// Sends WM_DESTROY then WM_NCDESTROY; after that the handle is invalid for good.
BOOL WINAPI DestroyWindow(HWND hWnd);
BOOL WINAPI IsWindow(HWND hWnd);
BOOL WINAPI IsWindowVisible(HWND hWnd);
// DefWindowProcW: WM_NCCREATE gives TRUE; WM_CLOSE destroys the window;
// WM_ERASEBKGND fills the invalid region with the class brush and gives 1;
// WM_PAINT validates the window; everything else gives 0.
LRESULT WINAPI DefWindowProcW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
LRESULT WINAPI CallWindowProcW(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
// Only GWLP_USERDATA and GWLP_WNDPROC. SetWindowLongPtrW returns the previous
// value; both return 0 for an unknown window or index.
LONG_PTR WINAPI SetWindowLongPtrW(HWND hWnd, int nIndex, LONG_PTR dwNewLong);
LONG_PTR WINAPI GetWindowLongPtrW(HWND hWnd, int nIndex);
BOOL WINAPI SetWindowTextA(HWND hWnd, LPCSTR lpString);
int WINAPI GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount);
// Returns whether the window was visible before the call. Showing a hidden
// window invalidates all of it, with erase. Only SW_HIDE hides.
BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow);
BOOL WINAPI GetClientRect(HWND hWnd, LPRECT lpRect);

// Messages. GetMessageW blocks until it can hand out, in this order: posted and
// input messages in arrival order; WM_QUIT once those are exhausted; WM_PAINT
// for a visible window with an invalid region; WM_TIMER for a due timer. It
// returns 0 for WM_QUIT, -1 for an unknown filter window, else non-zero.
// Resizes reach the window procedure inside GetMessageW and PeekMessageW, as
// sent messages do, in their place in arrival order.
BOOL WINAPI GetMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax);
BOOL WINAPI PeekMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg);
// Refuses (FALSE) WM_CREATE, WM_NCCREATE and WM_GETMINMAXINFO, whose lparam
// points at a record: those are only ever sent. Refuses any message while
// 10,000 posted messages wait, as Win32 does, and GetLastError then gives
// ERROR_NOT_ENOUGH_QUOTA.
BOOL WINAPI PostMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
// The error code that the last failing call set (only PostMessageW sets one).
DWORD WINAPI GetLastError();
inline constexpr DWORD ERROR_NOT_ENOUGH_QUOTA = 1816;
// Calls the window procedure at once and returns its result.
LRESULT WINAPI SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
// Produces WM_CHAR / WM_SYSCHAR after the key message for keys that type a
// character; returns whether it did.
BOOL WINAPI TranslateMessage(const MSG* lpMsg);
LRESULT WINAPI DispatchMessageW(const MSG* lpMsg);
VOID WINAPI PostQuitMessage(int nExitCode);

// Painting. BeginPaint sends WM_ERASEBKGND first when an erase is pending,
// validates the window and returns a surface bound to the window's backing
// image and clipped to the region that was invalid; EndPaint presents that
// region on the screen.
HDC WINAPI BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint);
BOOL WINAPI EndPaint(HWND hWnd, const PAINTSTRUCT* lpPaint);
// A surface over the whole client area; ReleaseDC presents what was drawn.
HDC WINAPI GetDC(HWND hWnd);
int WINAPI ReleaseDC(HWND hWnd, HDC hDC);
// The invalid region is kept as its bounding rectangle, clipped to the client
// area. A hidden window collects none.
BOOL WINAPI InvalidateRect(HWND hWnd, const RECT* lpRect, BOOL bErase);
BOOL WINAPI ValidateRect(HWND hWnd, const RECT* lpRect);
BOOL WINAPI GetUpdateRect(HWND hWnd, LPRECT lpRect, BOOL bErase);
BOOL WINAPI SetRect(LPRECT lprc, int xLeft, int yTop, int xRight, int yBottom);

// Input state. GetKeyState answers as of the last input message retrieved:
// bit 0x8000 while the key is down, bit 1 toggled by each press.
SHORT WINAPI GetKeyState(int nVirtKey);
HWND WINAPI SetCapture(HWND hWnd);
BOOL WINAPI ReleaseCapture();
HWND WINAPI GetCapture();
// TME_LEAVE arms one WM_MOUSELEAVE for when the pointer leaves the client
// area (at once when it is not over it). While the mouse is captured the
// leave is held back until the capture is released.
BOOL WINAPI TrackMouseEvent(LPTRACKMOUSEEVENT lpEventTrack);

// Timers. One timer per (window, identifier): setting it again replaces it.
// Periods below USER_TIMER_MINIMUM are raised to it. At most one WM_TIMER per
// timer is ever pending. A null window is refused (returns 0).
UINT_PTR WINAPI SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc);
BOOL WINAPI KillTimer(HWND hWnd, UINT_PTR uIDEvent);

// Bitmaps. CreateDIBSection accepts 32 bits per pixel, BI_RGB or BI_BITFIELDS,
// DIB_RGB_COLORS, no file mapping; it refuses (returns null) zero or negative
// widths, a zero height, sizes whose byte count does not fit in 31 bits, and
// memory that cannot be had. The pixel memory starts zeroed.
HBITMAP WINAPI CreateDIBSection(HDC hdc, const BITMAPINFO* pbmi, UINT usage, VOID** ppvBits, HANDLE hSection,
                                DWORD offset);
BOOL WINAPI DeleteObject(HGDIOBJ ho);
// Copies a w x h rectangle of 32-bit BI_RGB pixels one to one, the fourth
// byte ignored. For a bottom-up image ySrc is counted upwards from the bottom
// row to the lowest row of the rectangle; for a top-down image downwards from
// the top row. lpvBits holds cLines rows starting at row uStartScan, in memory
// order. The copy is clipped to those rows, the image's width and the
// surface's client area and clip region: it never reads or writes outside
// them. w or h beyond the int range (a negative int passed in) copies
// nothing. Returns the number of rows that received pixels (0: none).
int WINAPI SetDIBitsToDevice(HDC hdc, int xDest, int yDest, DWORD w, DWORD h, int xSrc, int ySrc, UINT StartScan,
                             UINT cLines, const VOID* lpvBits, const BITMAPINFO* lpbmi, UINT ColorUse);

// A monotonic clock: nanoseconds, so the frequency is 1e9.
BOOL WINAPI QueryPerformanceFrequency(LARGE_INTEGER* lpFrequency);
BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER* lpPerformanceCount);

#endif
