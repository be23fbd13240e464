// The window framework (pxWindowNative, pxWindow, pxMessagePump) over the
// platform: the creation sequence, the message table, dissociation, the tick
// timer, the event loop, painting, mouse and key flags, posted pairs. The
// platform's own rules (retrieval order, key state, leave tracking, where
// mouse input goes) are tested in px_native_test.cpp.

#include "tests/px_transcript.h"

namespace {

class PxWindow : public WindowTest {};

// ------------------------------------------------------------------ creation

TEST_F(PxWindow, CreationRunsTheHandlersInsideCreateAndQueuesTheTickRateMessage) {
    PX_OUR_PLATFORM_ONLY(
        "Win32 sends WM_NCCALCSIZE, which computes the client area, between WM_NCCREATE and WM_CREATE; our "
        "layer sends none. Also, under wine a window created hidden gets its first WM_SIZE when first shown, "
        "not inside CreateWindowEx as here (Win32's documentation does not say when). And the driver cannot "
        "list timers");
    installSpy(window.log);
    window.logMessages = true;
    window.onCreated = [&] { window.setTickRate(60); };
    ASSERT_EQ(window.create(10, 64, 320, 240), 0);
    EXPECT_EQ(window.log, (Transcript{
                              // Before the association: the default procedure, no filter.
                              "> WM_GETMINMAXINFO",
                              "< 0",
                              "> WM_NCCREATE",
                              "msg WM_NCCREATE",
                              "< 1",
                              "> WM_CREATE",
                              "msg WM_CREATE",
                              "created",
                              "< 0",
                              // The client area is the requested size: the frame is the window manager's.
                              "> WM_SIZE",
                              "msg WM_SIZE",
                              "resize 320 240",
                              "< 0",
                          }));
    EXPECT_EQ(GetWindowLongPtrW(window.handle, GWLP_USERDATA), reinterpret_cast<LONG_PTR>(&window));

    // 2024 waits in the queue; the loop hands it to the window.
    MSG queued{};
    ASSERT_TRUE(PeekMessageW(&queued, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(queued.message, 2024u);
    EXPECT_EQ(queued.hwnd, window.handle);
    EXPECT_EQ(queued.wParam, 0u);
    EXPECT_EQ(queued.lParam, 0);
    window.log.clear();
    pump();
    EXPECT_EQ(window.log, (Transcript{"> 2024", "msg 2024", "< 0"}));
    ASSERT_EQ(pxHeadless::timers(window.handle).size(), 1u) << "the timer started in handleCreated, once";
}

TEST_F(PxWindow, TheWindowStartsHiddenUntitledAndAsLargeAsAsked) {
    PX_OUR_PLATFORM_ONLY(
        "departure: on Linux the client area is the requested 320x240 rectangle; on Windows the frame takes part "
        "of it");
    ASSERT_EQ(window.create(10, 64, 320, 240), 0);
    RECT client{};
    ASSERT_TRUE(GetClientRect(window.handle, &client));
    EXPECT_EQ(client.right - client.left, 320);
    EXPECT_EQ(client.bottom - client.top, 240);
    char title[32] = "unset";
    EXPECT_EQ(GetWindowTextA(window.handle, title, sizeof title), 0);
    EXPECT_STREQ(title, "");
    EXPECT_FALSE(IsWindowVisible(window.handle));

    EXPECT_NE(window.setTitle("Glintworks"), 0);
    GetWindowTextA(window.handle, title, sizeof title);
    EXPECT_STREQ(title, "Glintworks");
    // setVisible passes back whether the window was visible before.
    EXPECT_EQ(window.setVisible(true), 0);
    EXPECT_TRUE(IsWindowVisible(window.handle));
    EXPECT_NE(window.setVisible(true), 0);
    EXPECT_NE(window.setVisible(false), 0);
    EXPECT_FALSE(IsWindowVisible(window.handle));

    // The class: registered once, whole-window repaint on resize, no double
    // clicks, the arrow cursor and a white background.
    WNDCLASSW windowClass{};
    ASSERT_TRUE(GetClassInfoW(GetModuleHandleW(nullptr), L"pxWindow", &windowClass));
    EXPECT_EQ(windowClass.style, static_cast<UINT>(CS_HREDRAW | CS_VREDRAW));
    EXPECT_EQ(windowClass.hCursor, LoadCursorW(nullptr, IDC_ARROW));
    EXPECT_EQ(windowClass.hbrBackground, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    Recorder second;
    EXPECT_EQ(second.create(400, 64, 100, 50), 0) << "a second window uses the registered class";
    EXPECT_NE(second.handle, window.handle);
}

TEST_F(PxWindow, AConsumedNcCreateAbandonsTheCreation) {
    installSpy(window.log);
    window.logMessages = true;
    window.consume = [](const pxNativeMessage& m) { return m.message == WM_NCCREATE; };
    EXPECT_EQ(window.create(10, 64, 320, 240), 1);
    EXPECT_EQ(window.handle, nullptr);
    EXPECT_EQ(window.log, (Transcript{
                              "> WM_GETMINMAXINFO",
                              "< 0",
                              "> WM_NCCREATE",
                              "msg WM_NCCREATE",
                              "< 0",
                              "> WM_NCDESTROY",
                              "msg WM_NCDESTROY",
                              "< 0 slot cleared",
                          }));
    PX_OUR_PLATFORM_ONLY("driver: Win32 names a failure by its error code, not by our platform's names");
    EXPECT_EQ(pxNativeLastFailure(), pxNativeFailure::refusedByProcedure);
}

// ------------------------------------------------------------------ the message table

TEST_F(PxWindow, EachMessageCallsItsHandlerAndReturnsItsResult) {
    PX_OUR_PLATFORM_ONLY("driver: the transcript holds the virtual clock's time and the test lists the timers");
    open(window);
    struct Case {
        UINT message;
        WPARAM wparam;
        LPARAM lparam;
        const char* line;  // "" when no handler may be called
        LRESULT result;
    };
    const Case cases[] = {
        {WM_CLOSE, 0, 0, "close", 0},
        {WM_DESTROY, 0, 0, "destroyed", 0},
        // Sizes are the two words of lparam, unsigned.
        {WM_SIZE, SIZE_RESTORED, MAKELPARAM(640, 480), "resize 640 480", 0},
        {WM_SIZE, SIZE_RESTORED, MAKELPARAM(0xFFFF, 0x8000), "resize 65535 32768", 0},
        {WM_SIZE, SIZE_MINIMIZED, 0, "resize 0 0", 0},
        // Positions are the two words of lparam, signed.
        {WM_MOUSEMOVE, 0, MAKELPARAM(0xFFFB, 7), "move -5 7", 0},
        {WM_MOUSEMOVE, MK_LBUTTON | MK_SHIFT, MAKELPARAM(0x7FFF, 0x8000), "move 32767 -32768", 0},
        // Button flags: the one button of the message, Ctrl and Shift from
        // wparam; the button-state bits of wparam are never used.
        {WM_LBUTTONDOWN, MK_LBUTTON | MK_RBUTTON | MK_MBUTTON, MAKELPARAM(1, 2), "press 1 2 1", 0},
        {WM_LBUTTONUP, MK_RBUTTON | MK_MBUTTON, MAKELPARAM(1, 2), "release 1 2 1", 0},
        {WM_LBUTTONDOWN, MK_CONTROL, MAKELPARAM(3, 4), "press 3 4 17", 0},
        {WM_LBUTTONUP, MK_CONTROL, MAKELPARAM(3, 4), "release 3 4 17", 0},
        {WM_RBUTTONDOWN, MK_SHIFT, MAKELPARAM(5, 6), "press 5 6 12", 0},
        {WM_RBUTTONUP, MK_SHIFT | MK_CONTROL, MAKELPARAM(5, 6), "release 5 6 28", 0},
        {WM_MBUTTONDOWN, 0, MAKELPARAM(0xFFF6, 0xFFEC), "press -10 -20 2", 0},
        {WM_MBUTTONUP, MK_MBUTTON, MAKELPARAM(7, 8), "release 7 8 2", 0},
        // The key code is wparam whole; no modifier is held here.
        {WM_KEYDOWN, VK_ESCAPE, 1, "key-press 27 0", 0},
        {WM_KEYUP, VK_ESCAPE, 1, "key-release 27 0", 0},
        {WM_SYSKEYDOWN, 'X', 1, "key-press 88 0", 0},
        {WM_SYSKEYUP, 'X', 1, "key-release 88 0", 0},
        {WM_KEYDOWN, 0x1FF, 1, "key-press 511 0", 0},
        // WM_TIMER whatever the identifier.
        {WM_TIMER, 77, 0, "timer @0", 0},
        {WM_MOUSELEAVE, 0, 0, "leave", 0},
        {WM_PAINT, 0, 0, "paint", 0},
        // The rest reach no handler.
        {WM_ERASEBKGND, 0, 0, "", 0},
        {WM_SETCURSOR, 0, 0, "", 0},
        {WM_LBUTTONDBLCLK, 0, 0, "", 0},
        {WM_MOUSEWHEEL, 0, 0, "", 0},
        {WM_CHAR, 'a', 0, "", 0},
        {WM_USER + 7, 0, 0, "", 0},
        {PX_MSG_APPLY_TICK_RATE, 0, 0, "", 0},
    };
    for (const Case& c : cases) {
        window.log.clear();
        const LRESULT result = SendMessageW(window.handle, c.message, c.wparam, c.lparam);
        const Transcript expected = *c.line ? Transcript{c.line} : Transcript{};
        EXPECT_EQ(window.log, expected) << messageName(c.message);
        EXPECT_EQ(result, c.result) << messageName(c.message);
    }
    EXPECT_TRUE(IsWindow(window.handle)) << "WM_CLOSE and WM_DESTROY themselves destroy nothing";
    EXPECT_TRUE(pxHeadless::timers(window.handle).empty()) << "2024 with tickRate 0 starts no timer";
}

TEST_F(PxWindow, AConsumedMessageReachesNoHandlerAndReturnsOneOnlyForSetCursor) {
    open(window);
    window.consume = [](const pxNativeMessage&) { return true; };
    struct Case {
        UINT message;
        WPARAM wparam;
        LPARAM lparam;
        LRESULT result;
    };
    const Case cases[] = {
        {WM_SETCURSOR, 0, 0, 1},
        {WM_CLOSE, 0, 0, 0},
        {WM_PAINT, 0, 0, 0},
        {WM_TIMER, 1, 0, 0},
        {WM_LBUTTONDOWN, MK_CONTROL, MAKELPARAM(1, 1), 0},
        {WM_KEYDOWN, VK_ESCAPE, 1, 0},
        {WM_SIZE, 0, MAKELPARAM(10, 10), 0},
        {WM_USER + 3, 0, 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SendMessageW(window.handle, c.message, c.wparam, c.lparam), c.result) << messageName(c.message);
    }
    EXPECT_TRUE(window.log.empty()) << "no handler ran";
    EXPECT_TRUE(IsWindow(window.handle)) << "a consumed WM_CLOSE never reaches the default procedure";
    EXPECT_EQ(GetCapture(), nullptr) << "a consumed press takes no capture";

    // The filter sees the record as received.
    pxNativeMessage seen{};
    window.consume = [&](const pxNativeMessage& m) {
        seen = m;
        return false;
    };
    SendMessageW(window.handle, WM_USER + 5, 0x1234, -99);
    EXPECT_EQ(seen.window, window.handle);
    EXPECT_EQ(seen.message, WM_USER + 5);
    EXPECT_EQ(seen.wparam, 0x1234u);
    EXPECT_EQ(seen.lparam, -99);
}

TEST_F(PxWindow, EraseBackgroundReturnsZeroAndLeavesTheWindowUnpainted) {
    PX_OUR_PLATFORM_ONLY(
        "departure: on Linux the client area is the requested 320x240 rectangle; on Windows the frame takes part "
        "of it");
    open(window);
    const HDC surface = GetDC(window.handle);
    EXPECT_EQ(SendMessageW(window.handle, WM_ERASEBKGND, reinterpret_cast<WPARAM>(surface), 0), 0);
    ReleaseDC(window.handle, surface);
    // The first paint after showing came with an erase pending; the class
    // brush is white, but the window shows only what handlePaint drew
    // (nothing), so it is still black.
    const pxHeadless::Image image = pxHeadless::windowImage(window.handle);
    EXPECT_EQ(image.pixel(0, 0), 0xFF000000u);
    EXPECT_EQ(image.pixel(319, 239), 0xFF000000u);
}

TEST_F(PxWindow, AFilterThatDetachesTheObjectSendsTheMessageToTheDefaultProcedure) {
    open(window);
    window.consume = [&](const pxNativeMessage& m) {
        if (m.message == WM_CLOSE) SetWindowLongPtrW(m.window, GWLP_USERDATA, 0);
        return false;
    };
    SendMessageW(window.handle, WM_CLOSE, 0, 0);
    EXPECT_TRUE(window.log.empty()) << "no handleCloseRequest after the object was detached";
    EXPECT_FALSE(IsWindow(window.handle)) << "the default procedure destroys a window on WM_CLOSE";
}

// ------------------------------------------------------------------ dissociation

TEST_F(PxWindow, WmNcDestroyDetachesTheObjectAndKeepsTheHandle) {
    PX_OUR_PLATFORM_ONLY(
        "Win32's DestroyWindow hides and deactivates the window and takes its focus before WM_DESTROY "
        "(WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED, WM_NCACTIVATE, WM_ACTIVATE, WM_ACTIVATEAPP, WM_KILLFOCUS); "
        "our layer has no activation or focus and sends none of them");
    installSpy(window.log);
    open(window);
    window.logMessages = true;
    const HWND handle = window.handle;
    ASSERT_TRUE(DestroyWindow(handle));
    EXPECT_EQ(window.log, (Transcript{
                              "> WM_DESTROY",
                              "msg WM_DESTROY",
                              "destroyed",
                              "< 0",
                              "> WM_NCDESTROY",
                              "msg WM_NCDESTROY",
                              "< 0 slot cleared",
                          }));
    EXPECT_EQ(window.handle, handle);
}

TEST_F(PxWindow, TheDestructorDetachesTheObjectButLeavesTheWindowAndItsTimer) {
    PX_OUR_PLATFORM_ONLY("driver: the test lists the timers");
    Transcript afterDeath;
    auto object = std::make_unique<Recorder>();
    ASSERT_EQ(object->create(10, 64, 320, 240), 0);
    object->setVisible(true);
    object->setTickRate(60);
    object->postPair(1, 2);  // still queued when the object goes
    const HWND handle = object->handle;
    object->out = &afterDeath;
    object.reset();

    EXPECT_EQ(GetWindowLongPtrW(handle, GWLP_USERDATA), 0);
    EXPECT_TRUE(IsWindow(handle));
    EXPECT_EQ(pxHeadless::timers(handle).size(), 1u);

    // Everything for the window now goes to the default procedure.
    pxHeadless::keyDown(handle, 'A');
    pxHeadless::mouseDown(handle, Button::left, 5, 5);
    pxHeadless::mouseMove(handle, 6, 6);
    pxHeadless::mouseUp(handle, Button::left, 6, 6);
    pxHeadless::resize(handle, 100, 100);
    pump();
    pxHeadless::advanceMs(40);
    pump();
    EXPECT_TRUE(afterDeath.empty());
    pxHeadless::closeButton(handle);
    pump();
    EXPECT_FALSE(IsWindow(handle)) << "with no object, WM_CLOSE gets the default: destroy";
    EXPECT_TRUE(afterDeath.empty());
}

// ------------------------------------------------------------------ the tick timer

TEST_F(PxWindow, TheTickTimerStartsStopsAndRestartsAsOneTimer) {
    PX_OUR_PLATFORM_ONLY("driver: the test lists the timers");
    open(window);
    const HWND handle = window.handle;
    EXPECT_EQ(window.setTickRate(60), 0);
    ASSERT_EQ(pxHeadless::timers(handle).size(), 1u);
    EXPECT_NE(window.timerId, 0u);
    EXPECT_EQ(pxHeadless::timers(handle)[0].periodMs, 16u);

    EXPECT_EQ(window.setTickRate(60), 0);
    EXPECT_EQ(pxHeadless::timers(handle).size(), 1u) << "twice leaves one timer";

    window.setTickRate(30);
    ASSERT_EQ(pxHeadless::timers(handle).size(), 1u);
    EXPECT_EQ(pxHeadless::timers(handle)[0].periodMs, 33u);

    EXPECT_EQ(window.setTickRate(0), 0);
    EXPECT_TRUE(pxHeadless::timers(handle).empty());
    EXPECT_EQ(window.timerId, 0u);
    window.setTickRate(0);
    EXPECT_TRUE(pxHeadless::timers(handle).empty());

    window.setTickRate(60);
    EXPECT_EQ(window.setTickRate(-1), 0);
    EXPECT_TRUE(pxHeadless::timers(handle).empty()) << "a negative rate stops";
    EXPECT_EQ(window.timerId, 0u);

    // Restarting starts a fresh period from now.
    window.setTickRate(60);
    pxHeadless::advanceMs(10);
    window.setTickRate(60);
    ASSERT_EQ(pxHeadless::timers(handle).size(), 1u);
    EXPECT_EQ(pxHeadless::timers(handle)[0].dueMs, 26);
}

TEST_F(PxWindow, ThePeriodIsAThousandOverTheRateTruncatedAndRaisedToTenMilliseconds) {
    PX_OUR_PLATFORM_ONLY("driver: the test lists the timers");
    open(window);
    const std::pair<std::int32_t, UINT> periods[] = {
        {60, 16}, {30, 33}, {7, 142}, {1, 1000}, {100, 10}, {1000, 10}, {1001, 10}, {1'000'000, 10},
    };
    for (const auto& [rate, period] : periods) {
        window.setTickRate(rate);
        const auto timers = pxHeadless::timers(window.handle);
        ASSERT_EQ(timers.size(), 1u) << "rate " << rate;
        EXPECT_EQ(timers[0].periodMs, period) << "rate " << rate;
        EXPECT_EQ(timers[0].id, 1u);
    }
}

TEST_F(PxWindow, TicksArriveOnThePeriodAndASlowFrameBuildsNoBacklog) {
    PX_OUR_PLATFORM_ONLY("driver: the transcript holds the virtual clock's time");
    int ticks = 0;
    pxMessagePump pump;
    window.onCreated = [&] { window.setTickRate(60); };
    window.onTimer = [&] {
        ++ticks;
        if (ticks == 2) pxHeadless::advanceMs(100);  // a frame that takes six periods
        if (ticks == 5) pump.quitEventLoop();
    };
    ASSERT_EQ(window.create(10, 64, 320, 240), 0);
    window.log.clear();
    pxHeadless::advanceMs(10);  // the program shows its window before the loop runs
    pump.runEventLoop();
    // The loop waited for each deadline (the virtual clock stops exactly on
    // it) and, after the slow frame, delivered one WM_TIMER, not six. The
    // 2024 that the loop handles first leaves the timer started at creation
    // alone: the ticks stay on its grid.
    EXPECT_EQ(window.log, (Transcript{"timer @16", "timer @32", "timer @132", "timer @144", "timer @160"}));
}

TEST_F(PxWindow, ARateSetBeforeTheWindowExistsStartsWhenTheTickRateMessageArrives) {
    PX_OUR_PLATFORM_ONLY("driver: the test lists the timers");
    EXPECT_EQ(window.setTickRate(60), 0);
    EXPECT_EQ(window.timerId, 0u);
    ASSERT_EQ(window.create(10, 64, 320, 240), 0);
    EXPECT_TRUE(pxHeadless::timers(window.handle).empty()) << "nothing before 2024 is dispatched";
    pump();
    ASSERT_EQ(pxHeadless::timers(window.handle).size(), 1u);
    EXPECT_EQ(pxHeadless::timers(window.handle)[0].periodMs, 16u);
}

// ------------------------------------------------------------------ the event loop

TEST_F(PxWindow, TheLoopEndsOnTheQuitRequestAfterTheMessagesPostedBeforeIt) {
    open(window);
    pxMessagePump pump;
    window.consume = [&](const pxNativeMessage& m) {
        if (m.message == WM_USER + 1) {
            pump.quitEventLoop();
            pump.quitEventLoop();  // any number of times
            PostMessageW(window.handle, WM_USER + 2, 0, 0);
        }
        return false;
    };
    window.logMessages = true;
    PostMessageW(window.handle, WM_USER + 1, 0, 0);
    pump.runEventLoop();
    EXPECT_EQ(window.log, (Transcript{"msg 1025", "msg 1026"}));
}

TEST_F(PxWindow, TheCloseButtonWithTheEmptyHandlerLeavesTheWindowOpenAndTheLoopRunning) {
    PX_OUR_PLATFORM_ONLY(
        "driver: its input and quit come from actions scheduled on the virtual clock, which a real loop never "
        "runs");
    class Ticker : public pxWindow {
    public:
        std::vector<std::int64_t> ticks;
        void handleTimer() override { ticks.push_back(pxHeadless::nowMs()); }
    };
    Ticker ticker;
    ASSERT_EQ(ticker.create(10, 64, 320, 240), 0);
    ticker.setTickRate(50);
    pxHeadless::scheduleAtMs(30, [&] { pxHeadless::closeButton(ticker.handle); });
    pxHeadless::scheduleAtMs(70, [] { PostQuitMessage(0); });
    pxMessagePump{}.runEventLoop();
    EXPECT_EQ(ticker.ticks, (std::vector<std::int64_t>{20, 40, 60})) << "ticks went on after the close at 30";
    EXPECT_TRUE(IsWindow(ticker.handle));
}

// ------------------------------------------------------------------ painting

TEST_F(PxWindow, InvalidatePaintsTheWholeAreaOrTheBoxWithoutErasing) {
    PX_OUR_PLATFORM_ONLY(
        "departure: client area as above; and wine erases the background while ShowWindow shows the window, our "
        "layer at the first BeginPaint after it");
    pxOffscreen frame;
    ASSERT_EQ(frame.allocate(320, 240), 0);
    const auto fill = [&](std::uint8_t blue) {
        for (std::int32_t i = 0; i < 320 * 240; ++i) frame.pixels[4 * i] = blue;
    };
    window.onPaint = [&](HDC surface) { frame.blitTo(surface, 0, 0, frame.width, frame.height, 0, 0); };
    window.logMessages = true;
    fill(0x11);
    ASSERT_EQ(window.create(10, 64, 320, 240), 0);
    window.setVisible(true);
    window.log.clear();
    pump();
    // Showing invalidates with erase: BeginPaint sends WM_ERASEBKGND first.
    EXPECT_EQ(window.log, (Transcript{"msg 2024", "msg WM_PAINT", "msg WM_ERASEBKGND", "paint"}));
    EXPECT_EQ(pxHeadless::windowImage(window.handle).pixel(0, 0), 0xFF000011u);

    fill(0x22);
    const pxBox box{10, 20, 30, 40};
    window.invalidate(&box);
    window.invalidate(&box);
    window.log.clear();
    pump();
    EXPECT_EQ(window.log, (Transcript{"msg WM_PAINT", "paint"})) << "one paint, no erase";
    const pxHeadless::Image afterBox = pxHeadless::windowImage(window.handle);
    for (std::int32_t y = 0; y < 240; ++y) {
        for (std::int32_t x = 0; x < 320; ++x) {
            const bool inside = x >= 10 && x < 30 && y >= 20 && y < 40;
            ASSERT_EQ(afterBox.pixel(x, y), inside ? 0xFF000022u : 0xFF000011u) << x << "," << y;
        }
    }

    fill(0x33);
    window.invalidate();
    window.log.clear();
    pump();
    EXPECT_EQ(window.log, (Transcript{"msg WM_PAINT", "paint"}));
    const pxHeadless::Image afterWhole = pxHeadless::windowImage(window.handle);
    EXPECT_EQ(afterWhole.pixel(0, 0), 0xFF000033u);
    EXPECT_EQ(afterWhole.pixel(319, 239), 0xFF000033u);

    window.log.clear();
    pump();
    EXPECT_TRUE(window.log.empty()) << "the paint validated the window";
}

// ------------------------------------------------------------------ mouse

TEST_F(PxWindow, ButtonFlagsCarryTheOneButtonAndTheModifiers) {
    PX_OUR_PLATFORM_ONLY(
        "driver: on a real Win32 the pointer is moved to each press position first, which is a WM_MOUSEMOVE of "
        "its own");
    open(window);
    const HWND h = window.handle;
    pxHeadless::keyDown(h, VK_CONTROL);
    pxHeadless::mouseDown(h, Button::left, 5, 6);
    pump();
    pxHeadless::keyUp(h, VK_CONTROL);
    pxHeadless::keyDown(h, VK_SHIFT);
    pxHeadless::mouseDown(h, Button::right, 7, 8);  // the left button is still held
    pump();
    pxHeadless::keyDown(h, 'A');  // key flags carry no button bits
    pxHeadless::keyUp(h, 'A');
    pxHeadless::mouseUp(h, Button::left, 9, 10);
    pump();
    const HWND captureAfterLeftUp = GetCapture();
    pxHeadless::keyUp(h, VK_SHIFT);
    pxHeadless::mouseUp(h, Button::right, 9, 10);
    pxHeadless::keyDown(h, VK_MENU);
    pxHeadless::mouseDown(h, Button::middle, 11, 12);
    pxHeadless::mouseUp(h, Button::middle, 11, 12);
    pxHeadless::keyUp(h, VK_MENU);
    pump();
    EXPECT_EQ(window.log, (Transcript{
                              "key-press 17 16",
                              "press 5 6 17",
                              "key-release 17 0",
                              "key-press 16 8",
                              "press 7 8 12",
                              "key-press 65 8",
                              "key-release 65 8",
                              "release 9 10 9",
                              "key-release 16 0",
                              "release 9 10 4",
                              "key-press 18 32",
                              "press 11 12 34",
                              "release 11 12 34",
                              "key-release 18 0",
                          }));
    EXPECT_EQ(captureAfterLeftUp, nullptr) << "any release ends the capture; buttons are not counted";
}

// ------------------------------------------------------------------ resizing

TEST_F(PxWindow, AResizeReportsTheClientSizeNeverNegative) {
    PX_OUR_PLATFORM_ONLY("driver: a minimised window is resized by restoring it, which the driver does not do");
    open(window);
    pxHeadless::resize(window.handle, 0, 0);  // minimised
    pxHeadless::resize(window.handle, -20, -30);
    pxHeadless::resize(window.handle, 640, 480);
    pump();
    EXPECT_EQ(window.log, (Transcript{"resize 0 0", "resize 0 0", "resize 640 480", "paint"}));
}

// A size whose backing image memory cannot afford leaves the window as it
// was: its image, its client size and no WM_SIZE; a size it can have works.
TEST_F(PxWindow, AResizeThatMemoryCannotAffordLeavesTheWindowAsItWas) {
    PX_OUR_PLATFORM_ONLY("driver: the backend refuses the memory on request");
    open(window);
    pxHeadless::limitWindowImageBytes(400 * 300 * 4);
    pxHeadless::resize(window.handle, 4000, 3000);
    pump();
    EXPECT_TRUE(window.log.empty());
    RECT client{};
    ASSERT_TRUE(GetClientRect(window.handle, &client));
    EXPECT_EQ(client.right, 320);
    EXPECT_EQ(client.bottom, 240);
    EXPECT_EQ(pxHeadless::windowImage(window.handle).width, 320);
    pxHeadless::resize(window.handle, 400, 300);
    pump();
    EXPECT_EQ(window.log, (Transcript{"resize 400 300", "paint"}));
}

// ------------------------------------------------------------------ posted pairs

TEST_F(PxWindow, APostedPairIsDeliveredOnceInOrder) {
    open(window);
    EXPECT_NE(window.postPair(3, 4), 0);
    EXPECT_NE(window.postPair(-1, 2147483647), 0);
    pump();
    EXPECT_EQ(window.log, (Transcript{"pair 3 4", "pair -1 2147483647"}));

    // The same message again finds nothing: the pair was handed out and freed.
    ASSERT_EQ(window.pairAddresses.size(), 2u);
    window.log.clear();
    PostMessageW(window.handle, PX_MSG_POSTED_PAIR, window.pairTags[0], window.pairAddresses[0]);
    pump();
    EXPECT_TRUE(window.log.empty());
}

TEST_F(PxWindow, AForeignOrStaleLparamIsNeverRead) {
    open(window);
    // Not issued by postPair: neither a real pair in memory nor made-up or
    // null addresses are followed (a made-up one would crash if read).
    std::array<std::int32_t, 2> foreign{7, 8};
    PostMessageW(window.handle, PX_MSG_POSTED_PAIR, 0, reinterpret_cast<LPARAM>(foreign.data()));
    PostMessageW(window.handle, PX_MSG_POSTED_PAIR, 0, 0);
    PostMessageW(window.handle, PX_MSG_POSTED_PAIR, 0, 0x10);
    PostMessageW(window.handle, PX_MSG_POSTED_PAIR, 1, -1);
    pump();
    EXPECT_TRUE(window.log.empty());

    // A stale message of a pair already handed out must not take the place of
    // a newer pair, even when the newer pair's memory reuses the old address.
    window.postPair(1, 1);
    pump();
    ASSERT_EQ(window.pairAddresses.size(), 5u);
    const WPARAM staleTag = window.pairTags.back();
    const LPARAM staleAddress = window.pairAddresses.back();
    window.postPair(2, 2);
    window.log.clear();
    SendMessageW(window.handle, PX_MSG_POSTED_PAIR, staleTag, staleAddress);
    EXPECT_TRUE(window.log.empty()) << "the stale message delivered the newer pair";
    pump();
    EXPECT_EQ(window.log, (Transcript{"pair 2 2"}));
}

TEST_F(PxWindow, APairThatCannotBeDeliveredIsNeitherPostedNorKept) {
    // Before the native window exists the message would go to the thread,
    // where no window procedure ever sees it.
    EXPECT_EQ(window.postPair(1, 2), 0);
    open(window);
    pump();
    EXPECT_TRUE(window.log.empty());

    // A pair whose message the filter consumed is never handed out; the
    // object frees it when it goes (the leak checker would see it otherwise).
    window.consume = [](const pxNativeMessage& m) { return m.message == PX_MSG_POSTED_PAIR; };
    window.postPair(5, 6);
    pump();
    EXPECT_TRUE(window.log.empty());
}

}  // namespace
