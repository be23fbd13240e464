#pragma once
// Transcript tools for the window framework's tests and the platform core's:
// a recording window appends one line per handler call (and, when asked, per
// message its filter sees), a spy in front of the framework's window procedure
// logs what the procedure receives and returns, and a test compares the whole
// transcript with the expected sequence. The same sources run over the
// headless backend and, built for Windows, over a real Win32.

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/headless/headless.h"
#include "platform/platform.h"
#include "px/pxMessagePump.h"
#include "px/pxOffscreen.h"
#include "px/pxWindow.h"
#include "tests/px_platform.h"

namespace {

using Transcript = std::vector<std::string>;
using pxHeadless::Button;

std::string messageName(UINT message) {
    switch (message) {
    case WM_CREATE: return "WM_CREATE";
    case WM_DESTROY: return "WM_DESTROY";
    case WM_SIZE: return "WM_SIZE";
    case WM_PAINT: return "WM_PAINT";
    case WM_CLOSE: return "WM_CLOSE";
    case WM_QUIT: return "WM_QUIT";
    case WM_ERASEBKGND: return "WM_ERASEBKGND";
    case WM_SHOWWINDOW: return "WM_SHOWWINDOW";
    case WM_SETCURSOR: return "WM_SETCURSOR";
    case WM_GETMINMAXINFO: return "WM_GETMINMAXINFO";
    case WM_NCCREATE: return "WM_NCCREATE";
    case WM_NCDESTROY: return "WM_NCDESTROY";
    case WM_NCHITTEST: return "WM_NCHITTEST";
    case WM_CAPTURECHANGED: return "WM_CAPTURECHANGED";
    case WM_KEYDOWN: return "WM_KEYDOWN";
    case WM_KEYUP: return "WM_KEYUP";
    case WM_CHAR: return "WM_CHAR";
    case WM_SYSKEYDOWN: return "WM_SYSKEYDOWN";
    case WM_SYSKEYUP: return "WM_SYSKEYUP";
    case WM_SYSCHAR: return "WM_SYSCHAR";
    case WM_TIMER: return "WM_TIMER";
    case WM_MOUSEMOVE: return "WM_MOUSEMOVE";
    case WM_LBUTTONDOWN: return "WM_LBUTTONDOWN";
    case WM_LBUTTONUP: return "WM_LBUTTONUP";
    case WM_LBUTTONDBLCLK: return "WM_LBUTTONDBLCLK";
    case WM_RBUTTONDOWN: return "WM_RBUTTONDOWN";
    case WM_RBUTTONUP: return "WM_RBUTTONUP";
    case WM_MBUTTONDOWN: return "WM_MBUTTONDOWN";
    case WM_MBUTTONUP: return "WM_MBUTTONUP";
    case WM_MOUSELEAVE: return "WM_MOUSELEAVE";
    case PX_MSG_APPLY_TICK_RATE: return "2024";
    case PX_MSG_POSTED_PAIR: return "2025";
    default: return std::to_string(message);
    }
}

// A window that writes its handler calls to a transcript. Flags are printed
// as numbers: left 1, middle 2, right 4, Shift 8, Ctrl 16, Alt 32.
class Recorder : public pxWindow {
public:
    Transcript log;
    Transcript* out = &log;                               // where the lines go (a test may redirect them)
    bool logMessages = false;                             // also a "msg NAME" line for each message the filter sees
    std::function<bool(const pxNativeMessage&)> consume;  // the filter consumes when it returns true
    std::function<void()> onCreated;
    std::function<void()> onTimer;
    std::function<void(HDC)> onPaint;
    std::vector<LPARAM> pairAddresses;  // lparam of every 2025 the filter saw
    std::vector<WPARAM> pairTags;       // and its wparam

    void handleCreated() override {
        add(handle != nullptr ? "created" : "created without handle");
        if (onCreated) onCreated();
    }
    void handleCloseRequest() override { add("close"); }
    void handleDestroyed() override { add("destroyed"); }
    void handleResize(std::int32_t width, std::int32_t height) override {
        add("resize " + std::to_string(width) + " " + std::to_string(height));
    }
    void handleMousePress(std::int32_t x, std::int32_t y, std::uint32_t flags) override {
        // The capture must already be taken when the handler runs.
        add("press " + position(x, y) + " " + std::to_string(flags) + (GetCapture() == handle ? "" : " uncaptured"));
    }
    void handleMouseRelease(std::int32_t x, std::int32_t y, std::uint32_t flags) override {
        add("release " + position(x, y) + " " + std::to_string(flags) + (GetCapture() == nullptr ? "" : " captured"));
    }
    void handleMouseMove(std::int32_t x, std::int32_t y) override { add("move " + position(x, y)); }
    void handleKeyPress(std::uint32_t key, std::uint32_t flags) override {
        add("key-press " + std::to_string(key) + " " + std::to_string(flags));
    }
    void handleKeyRelease(std::uint32_t key, std::uint32_t flags) override {
        add("key-release " + std::to_string(key) + " " + std::to_string(flags));
    }
    void handlePaint(HDC surface) override {
        add("paint");
        if (onPaint) onPaint(surface);
    }
    void handleTimer() override {
        add("timer @" + std::to_string(pxHeadless::nowMs()));
        if (onTimer) onTimer();
    }
    void handleMouseLeave() override { add("leave"); }
    void handlePostedPair(std::int32_t first, std::int32_t second) override {
        add("pair " + std::to_string(first) + " " + std::to_string(second));
    }
    void filterMessage(const pxNativeMessage* message, bool& consumed) override {
        if (logMessages) add("msg " + messageName(message->message));
        if (message->message == PX_MSG_POSTED_PAIR) {
            pairAddresses.push_back(message->lparam);
            pairTags.push_back(message->wparam);
        }
        if (consume && consume(*message)) consumed = true;
    }

private:
    void add(std::string line) { out->push_back(std::move(line)); }
    static std::string position(std::int32_t x, std::int32_t y) { return std::to_string(x) + " " + std::to_string(y); }
};

// A procedure in front of the framework's own: it logs each message the
// window procedure receives and what it returns, so a transcript also shows
// messages that reach no filter and the results given to the platform.
namespace spy {
Transcript* out = nullptr;
WNDPROC framework = nullptr;

LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    out->push_back("> " + messageName(message));
    const LRESULT result = framework(window, message, wparam, lparam);
    std::string line = "< " + std::to_string(result);
    if (message == WM_NCDESTROY)
        line += GetWindowLongPtrW(window, GWLP_USERDATA) == 0 ? " slot cleared" : " slot still set";
    out->push_back(line);
    return result;
}
}  // namespace spy

// Registers the class "pxWindow" with the spy in front of the framework's
// procedure; windows the framework creates afterwards use it, because the
// framework registers the class only when it is not known yet.
[[maybe_unused]] void installSpy(Transcript& out) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    pxWindow probe;
    ASSERT_EQ(probe.create(0, 0, 8, 8), 0);
    WNDCLASSW windowClass{};
    ASSERT_TRUE(GetClassInfoW(instance, L"pxWindow", &windowClass));
    spy::framework = windowClass.lpfnWndProc;
    ASSERT_TRUE(DestroyWindow(probe.handle));
    ASSERT_TRUE(UnregisterClassW(L"pxWindow", instance));
    windowClass.lpfnWndProc = spy::procedure;
    windowClass.lpszClassName = L"pxWindow";
    ASSERT_NE(RegisterClassW(&windowClass), 0);
    spy::out = &out;
}

int pump() { return pxHeadless::dispatchPending().dispatched; }

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override { pxHeadless::reset(); }
    void TearDown() override { pxHeadless::reset(); }

    // Creates the window as the program does, shows it, lets the messages of
    // creation and showing through and starts a fresh transcript.
    void open(Recorder& target, bool visible = true) {
        ASSERT_EQ(target.create(10, 64, 320, 240), 0);
        if (visible) target.setVisible(true);
        pump();
        target.log.clear();
    }

    Recorder window;
};

}  // namespace
