#pragma once
// The window half of the framework: one native top-level window wrapped in an
// object whose virtual handlers receive the window's messages.
//
// Contracts a caller relies on:
// - Everything runs on the thread that calls create and runs the event loop;
//   handlers are called synchronously from the window procedure.
// - create calls handleCreated and handleResize (with the client size) before
//   it returns; everything else arrives from pxMessagePump::runEventLoop.
// - Coordinates are client-area pixels, x right and y down from the top-left
//   corner; with the mouse captured they may be negative or beyond the size.
// - Mouse and key handlers get PX_ flag bits: exactly one button bit for a
//   press or release (the button that changed), plus the modifiers held.
// - The object neither destroys the native window nor stops its timer; its
//   destructor only detaches it, so the native window ends with the process.

#include <array>
#include <cstdint>
#include <list>

#include "platform/win32.h"
#include "px/pxMessagePump.h"

inline constexpr std::uint32_t PX_BTN_LEFT = 1;
inline constexpr std::uint32_t PX_BTN_MIDDLE = 2;
inline constexpr std::uint32_t PX_BTN_RIGHT = 4;
inline constexpr std::uint32_t PX_KEYMOD_SHIFT = 8;
inline constexpr std::uint32_t PX_KEYMOD_CTRL = 16;
inline constexpr std::uint32_t PX_KEYMOD_ALT = 32;

// A message as the window procedure received it, for filterMessage.
struct pxNativeMessage {
    HWND window;
    UINT message;
    WPARAM wparam;
    LPARAM lparam;
};

// A rectangle in client-area pixels; right and bottom lie one past the last
// pixel covered.
struct pxBox {
    std::int32_t left;
    std::int32_t top;
    std::int32_t right;
    std::int32_t bottom;
};

// Private messages of the framework.
inline constexpr UINT PX_MSG_APPLY_TICK_RATE = WM_USER + 1000;  // 2024: re-applies a non-zero tickRate
inline constexpr UINT PX_MSG_POSTED_PAIR = WM_USER + 1001;      // 2025: see postPair

class pxWindowNative {
public:
    HWND handle = nullptr;      // set on WM_NCCREATE and again from the creation's result
    UINT_PTR timerId = 0;       // the running tick timer; 0: none
    std::int32_t tickRate = 0;  // the last rate given to setTickRate; 2024 re-applies it when non-zero
    bool mouseTracked = false;  // a WM_MOUSELEAVE is armed

    pxWindowNative() = default;
    // Detaches the object from the native window (its user-data slot goes to
    // null), after which the window's messages reach no handler.
    virtual ~pxWindowNative();

    pxWindowNative(const pxWindowNative&) = delete;
    pxWindowNative& operator=(const pxWindowNative&) = delete;

    // createWithStyle(null, x, y, width, height, WS_OVERLAPPEDWINDOW, 0).
    std::int32_t create(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height);
    // Registers the window class "pxWindow" once per process and creates the
    // window hidden, with an empty title. x, y, width and height are the outer
    // rectangle. Returns 0 when created, 1 when the platform refused.
    std::int32_t createWithStyle(HWND parent, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                                 std::uint32_t style, std::uint32_t exStyle);

    // The platform's result, unchanged (non-zero: done).
    std::int32_t setTitle(const char* title);
    // The platform's result, unchanged (non-zero: the window was visible before).
    std::int32_t setVisible(bool visible);
    // Stops the tick timer and, for a rate above 0, starts it again with a
    // period of 1000 / rate milliseconds (truncated). Records the rate in
    // tickRate, so a rate set before the native window exists takes effect once
    // it is created. Always 0.
    std::int32_t setTickRate(std::int32_t rate);
    // Marks the box, or the whole client area when none is given, for
    // repainting without erasing the background.
    void invalidate(const pxBox* box = nullptr);

    // Posts message 2025 carrying the pair: lparam is the address of the two
    // values, wparam a number that no other pair of this object carries. The
    // object keeps the values until that message is dispatched to it, then
    // hands them to handlePostedPair and frees them; values never dispatched
    // are freed with the object. A 2025 whose wparam and lparam this object
    // did not issue for a pair it still holds reaches no handler: lparam is
    // compared, never read through, so a foreign address or the stale message
    // of a pair already handed out (even if a newer pair reuses its memory) is
    // ignored. Returns the platform's result of posting (0: not posted,
    // nothing kept); without a native window nothing is posted.
    std::int32_t postPair(std::int32_t first, std::int32_t second);

    virtual void handleCreated() = 0;
    virtual void handleCloseRequest() = 0;
    virtual void handleDestroyed() = 0;
    virtual void handleResize(std::int32_t width, std::int32_t height) = 0;
    virtual void handleMousePress(std::int32_t x, std::int32_t y, std::uint32_t flags) = 0;
    virtual void handleMouseRelease(std::int32_t x, std::int32_t y, std::uint32_t flags) = 0;
    virtual void handleMouseMove(std::int32_t x, std::int32_t y) = 0;
    virtual void handleKeyPress(std::uint32_t key, std::uint32_t flags) = 0;
    virtual void handleKeyRelease(std::uint32_t key, std::uint32_t flags) = 0;
    virtual void handlePaint(HDC surface) = 0;
    virtual void handleTimer() = 0;
    virtual void handleMouseLeave() {}
    virtual void handlePostedPair(std::int32_t, std::int32_t) {}
    // Sees every message before its handler. Setting consumed stops it there:
    // the window procedure then returns 1 for WM_SETCURSOR and 0 otherwise.
    virtual void filterMessage(const pxNativeMessage*, bool&) {}

private:
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT dispatch(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

    struct PendingPair {
        WPARAM tag;                          // the wparam its message carries
        std::array<std::int32_t, 2> values;  // the lparam points here
    };
    // Pairs posted by postPair and not yet dispatched; a list, so each pair
    // keeps its address while others come and go.
    std::list<PendingPair> pendingPairs_;
    WPARAM lastPairTag_ = 0;
};

class pxWindow : public pxWindowNative {
public:
    void handleCreated() override {}
    void handleCloseRequest() override {}
    void handleDestroyed() override {}
    void handleResize(std::int32_t, std::int32_t) override {}
    void handleMousePress(std::int32_t, std::int32_t, std::uint32_t) override {}
    void handleMouseRelease(std::int32_t, std::int32_t, std::uint32_t) override {}
    void handleMouseMove(std::int32_t, std::int32_t) override {}
    void handleKeyPress(std::uint32_t, std::uint32_t) override {}
    void handleKeyRelease(std::uint32_t, std::uint32_t) override {}
    void handlePaint(HDC) override {}
    void handleTimer() override {}
};
