// The platform's own rules under the framework, as its windows see them:
// why creation fails, timers, the retrieval order, where mouse input goes
// (capture, the button grab, leave tracking, combined moves, the hit test
// before each message), key state and system keys, and a window destroyed by
// another program.

#include "tests/px_transcript.h"

namespace {

class PlatformCore : public WindowTest {};

TEST_F(PlatformCore, AWindowTheBackendCannotOpenMakesCreateFailAndSaysWhy) {
    PX_OUR_PLATFORM_ONLY("driver: a real Win32 cannot be made to refuse a window on request");
    pxHeadless::failNextWindowCreation(pxNativeFailure::noServer, "X display \":9\"");
    window.logMessages = true;
    EXPECT_EQ(window.create(10, 64, 320, 240), 1);
    EXPECT_EQ(window.handle, nullptr);
    EXPECT_TRUE(window.log.empty()) << "no message reached the window";
    EXPECT_EQ(pxNativeLastFailure(), pxNativeFailure::noServer);
    EXPECT_STREQ(pxNativeLastError(), "no display server answers (X display \":9\")");
    EXPECT_EQ(window.create(10, 64, 320, 240), 0) << "the next attempt may succeed";
    EXPECT_EQ(pxNativeLastFailure(), pxNativeFailure::none);
    EXPECT_STREQ(pxNativeLastError(), "");
}

// With a window, SetTimer keeps the caller's identifier, 0 included, and
// returns a nonzero result; KillTimer takes the identifier, not the result
// (wine agrees).
TEST_F(PlatformCore, ATimerOfIdentifierZeroIsKilledByThatIdentifier) {
    open(window);
    EXPECT_NE(SetTimer(window.handle, 0, 1000, nullptr), 0u);
    EXPECT_TRUE(KillTimer(window.handle, 0));
    EXPECT_FALSE(KillTimer(window.handle, 0)) << "a timer is killed once";
}

TEST_F(PlatformCore, AWindowDestroyedByAnotherProgramIsDestroyedAndTheLoopEnds) {
    PX_OUR_PLATFORM_ONLY("departure: on X11 another program can destroy our window; on Win32 it cannot");
    pxMessagePump pump;
    window.onCreated = [&] { window.setTickRate(60); };
    open(window);
    const HWND h = window.handle;
    pxHeadless::destroyFromOutside(h);
    pump.runEventLoop();  // the headless clock aborts the test if it would wait for ever
    EXPECT_EQ(window.log, (Transcript{"destroyed"}));
    EXPECT_FALSE(IsWindow(h));
    EXPECT_EQ(GetWindowLongPtrW(h, GWLP_USERDATA), 0);
}

// GetMessageW's documented order: sent, posted, input, sent, WM_PAINT,
// WM_TIMER; WM_QUIT once no posted message or input is left.
TEST_F(PlatformCore, GetMessageHandsOutPostedThenInputThenQuitThenPaintThenTimer) {
    PX_OUR_PLATFORM_ONLY(
        "wine: it hands out WM_QUIT before the waiting input, which Win32 documents only once the queue is "
        "otherwise empty; and the test reads the virtual clock");
    open(window);
    const HWND handle = window.handle;
    window.setTickRate(60);
    pxHeadless::advanceMs(20);  // the timer is due
    window.invalidate();        // a paint is due
    PostMessageW(handle, WM_USER + 1, 0, 0);
    pxHeadless::keyDown(handle, 'A');
    PostMessageW(handle, WM_USER + 2, 0, 0);
    PostQuitMessage(0);
    pxHeadless::mouseMove(handle, 3, 4);

    Transcript order;
    MSG message{};
    for (int i = 0; i < 7; ++i) {
        const BOOL result = GetMessageW(&message, nullptr, 0, 0);
        order.push_back(messageName(message.message) + (result == 0 ? " returns 0" : ""));
        if (result != 0) DispatchMessageW(&message);  // the paint validates the window
    }
    EXPECT_EQ(order,
              (Transcript{"1025", "1026", "WM_KEYDOWN", "WM_MOUSEMOVE", "WM_QUIT returns 0", "WM_PAINT", "WM_TIMER"}));
    EXPECT_EQ(pxHeadless::nowMs(), 20) << "nothing waited";
}

// As on Win32, 10,000 posted messages may wait in a thread's queue; past
// them PostMessage fails with ERROR_NOT_ENOUGH_QUOTA until one is retrieved.
// Input is not posted and still arrives.
TEST_F(PlatformCore, PostingStopsWhileTenThousandPostedMessagesWait) {
    PX_OUR_PLATFORM_ONLY("wine: it sets no quota on posted messages");
    open(window);
    const HWND h = window.handle;
    int accepted = 0;
    while (accepted < 20000 && PostMessageW(h, WM_USER, 0, 0)) ++accepted;
    EXPECT_EQ(accepted, 10000);
    EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_QUOTA);
    MSG message{};
    ASSERT_TRUE(PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE));
    EXPECT_TRUE(PostMessageW(h, WM_USER + 1, 0, 0)) << "one place is free again";
    EXPECT_FALSE(PostMessageW(h, WM_USER + 1, 0, 0));
    pxHeadless::keyDown(h, 'A');
    EXPECT_EQ(pump(), 10000 + 1 + 1) << "every posted message, the key and its WM_CHAR";
    EXPECT_EQ(window.log, (Transcript{"key-press 65 0"}));
}

// Another program can send any number of key events. Past 10,000 native
// events waiting, what would start something (presses, motion) is dropped,
// while the releases of held keys and buttons and one close request still
// come, so the program never believes a key is held that is up; once the
// queue has drained, input arrives as before.
TEST_F(PlatformCore, AFloodOfInputIsBoundedAndKeepsTheReleasesOfWhatIsHeld) {
    PX_OUR_PLATFORM_ONLY("departure: Win32 documents no bound on queued input; ours is 10,000 events");
    open(window);
    const HWND h = window.handle;
    pxHeadless::keyDown(h, 'C');
    pxHeadless::mouseDown(h, Button::left, 5, 5);
    for (int i = 0; i < 30000; ++i) (i % 2 == 0 ? pxHeadless::keyDown : pxHeadless::keyUp)(h, 'F');
    pxHeadless::mouseMove(h, 6, 6);  // dropped, like the presses
    pxHeadless::keyDown(h, 'D');
    pxHeadless::keyUp(h, 'D');
    pxHeadless::keyUp(h, 'C');
    pxHeadless::mouseUp(h, Button::left, 7, 7);
    pxHeadless::closeButton(h);
    pxHeadless::closeButton(h);  // the same request, still waiting
    pump();
    Transcript expected{"close", "key-press 67 0", "press 5 5 1"};  // posted first, as always
    for (int i = 0; i < (10000 - 2) / 2; ++i) {
        expected.push_back("key-press 70 0");
        expected.push_back("key-release 70 0");
    }
    expected.insert(expected.end(), {"key-release 67 0", "release 7 7 1"});
    EXPECT_EQ(window.log, expected);
    EXPECT_EQ(GetKeyState('C') & 0x8000, 0);
    EXPECT_EQ(GetKeyState('F') & 0x8000, 0);

    window.log.clear();
    pxHeadless::keyDown(h, VK_ESCAPE);
    pxHeadless::keyUp(h, VK_ESCAPE);
    pump();
    EXPECT_EQ(window.log, (Transcript{"key-press 27 0", "key-release 27 0"}));
}

// Resizes of a flood join the newest one waiting: the window reaches the
// last size without a backlog of them.
TEST_F(PlatformCore, ResizesPastTheBoundJoinTheOneWaiting) {
    PX_OUR_PLATFORM_ONLY("driver: the bound is lowered for the test");
    open(window);
    const HWND h = window.handle;
    pxHeadless::limitQueuedInput(2);
    pxHeadless::keyDown(h, 'A');
    pxHeadless::keyDown(h, 'B');
    for (int size = 100; size <= 300; size += 100) pxHeadless::resize(h, size, size / 2);
    pxHeadless::keyDown(h, 'X');  // dropped
    pump();
    EXPECT_EQ(window.log, (Transcript{"resize 300 150", "key-press 65 0", "key-press 66 0", "paint"}));
}

// Screen positions are counted in 64 bits: a window at the end of the int
// range gets its client positions and its hit test right. A window that moved
// is found where it is now, also by the positions that another window holding
// the capture receives.
TEST_F(PlatformCore, PositionsCountFromWhereTheWindowIsWithoutOverflow) {
    PX_OUR_PLATFORM_ONLY("driver: our windows may sit anywhere in the int range; Win32 keeps them near the screen");
    const auto hit = [](HWND target, std::int64_t x, std::int64_t y) {
        return DefWindowProcW(target, WM_NCHITTEST, 0,
                              MAKELPARAM(static_cast<std::uint16_t>(x), static_cast<std::uint16_t>(y)));
    };
    Recorder distant;
    constexpr std::int32_t kFarX = 2147483000;
    ASSERT_EQ(distant.create(kFarX, 64, 320, 240), 0);
    distant.setVisible(true);
    open(window);  // at (10, 64)
    distant.log.clear();
    pxHeadless::mouseMove(distant.handle, 100, 50);
    pump();
    EXPECT_EQ(distant.log, (Transcript{"move 100 50"}));
    EXPECT_EQ(hit(distant.handle, std::int64_t{kFarX} + 100, 64 + 50), HTCLIENT);
    EXPECT_EQ(hit(distant.handle, std::int64_t{kFarX} + 400, 64 + 50), HTNOWHERE);

    pxHeadless::move(distant.handle, 1000, 64);
    EXPECT_EQ(hit(distant.handle, 1020, 94), HTCLIENT);
    pxHeadless::mouseDown(window.handle, Button::left, 5, 5);
    pxHeadless::mouseMove(distant.handle, 20, 30);  // over the moved window, captured by the other
    pump();
    EXPECT_EQ(window.log, (Transcript{"press 5 5 1", "move 1010 30"}));
}

// Moves one after another with nothing between them are one WM_MOUSEMOVE at
// the last position, as Windows combines them; a press between them keeps
// them apart.
TEST_F(PlatformCore, MovesInARowAreCombinedIntoOne) {
    open(window);
    const HWND h = window.handle;
    pxHeadless::mouseMove(h, 10, 10);
    pxHeadless::mouseMove(h, 20, 15);
    pxHeadless::mouseMove(h, 30, 20);
    pxHeadless::mouseDown(h, Button::left, 30, 20);
    pxHeadless::mouseMove(h, 40, 25);
    pxHeadless::mouseMove(h, 50, 30);
    pxHeadless::mouseUp(h, Button::left, 50, 30);
    pump();
    EXPECT_EQ(window.log, (Transcript{"move 30 20", "press 30 20 1", "move 50 30", "release 50 30 1"}));
}

TEST_F(PlatformCore, TwoQuickClicksAreTwoPressReleasePairs) {
    PX_OUR_PLATFORM_ONLY("driver: it moves the pointer before each press, which adds a WM_MOUSEMOVE");
    open(window);
    window.logMessages = true;
    for (int click = 0; click < 2; ++click) {
        pxHeadless::mouseDown(window.handle, Button::left, 50, 60);
        pxHeadless::mouseUp(window.handle, Button::left, 50, 60);
    }
    pump();
    // As on Windows: the window is asked where the pointer is before a mouse
    // message while it does not hold the capture, and told when it loses it.
    const Transcript click = {
        "msg WM_NCHITTEST", "msg WM_SETCURSOR",      "msg WM_LBUTTONDOWN", "press 50 60 1",
        "msg WM_LBUTTONUP", "msg WM_CAPTURECHANGED", "release 50 60 1",
    };
    Transcript twice = click;
    twice.insert(twice.end(), click.begin(), click.end());
    EXPECT_EQ(window.log, twice);
}

TEST_F(PlatformCore, TheLeaveComesOncePerArmingAndIsHeldBackWhileCaptured) {
    PX_OUR_PLATFORM_ONLY(
        "wine: its leave tracking polls the pointer on a timer, so WM_MOUSELEAVE arrives some time after the "
        "motion that left, not with it");
    open(window);
    const HWND h = window.handle;
    const auto step = [&](auto inject) {
        inject();
        pump();
    };
    step([&] { pxHeadless::mouseMove(h, 10, 10); });
    EXPECT_TRUE(window.mouseTracked);
    step([&] { pxHeadless::mouseMove(h, 20, 10); });
    step([&] { pxHeadless::mouseMove(h, -5, 10); });  // out: not captured, so no motion
    EXPECT_FALSE(window.mouseTracked);
    step([&] { pxHeadless::mouseMove(h, -6, 10); });
    step([&] { pxHeadless::mouseMove(h, 30, 30); });  // back in: armed again
    EXPECT_TRUE(window.mouseTracked);
    step([&] { pxHeadless::mouseMove(h, 400, 30); });

    // A drag out of the window: motion and release keep coming, with
    // negative positions, and the leave waits for the release.
    step([&] { pxHeadless::mouseMove(h, 30, 30); });
    step([&] { pxHeadless::mouseDown(h, Button::left, 30, 30); });
    step([&] { pxHeadless::mouseMove(h, -5, -7); });
    step([&] { pxHeadless::mouseMove(h, -300, 500); });
    EXPECT_TRUE(window.mouseTracked) << "no leave while captured";
    step([&] { pxHeadless::mouseUp(h, Button::left, -300, 500); });
    EXPECT_EQ(window.log, (Transcript{
                              "move 10 10",
                              "move 20 10",
                              "leave",
                              "move 30 30",
                              "leave",
                              "move 30 30",
                              "press 30 30 1",
                              "move -5 -7",
                              "move -300 500",
                              "release -300 500 1",
                              "leave",
                          }));
    EXPECT_FALSE(window.mouseTracked);
}

// Press, motion out of the window and release reported together, before the
// press was dispatched (a fast gesture, or one made during a long frame):
// the capture the press takes still brings the rest to the window.
TEST_F(PlatformCore, APressMotionAndReleaseThatArriveTogetherReachTheWindowThePressCaptured) {
    PX_OUR_PLATFORM_ONLY(
        "departure: our platform gives a mouse message its window when it is retrieved; Win32 when it arrives");
    open(window);
    const HWND h = window.handle;
    pxHeadless::mouseMove(h, 160, 120);
    pump();
    pxHeadless::mouseDown(h, Button::left, 160, 120);
    pxHeadless::mouseMove(h, -20, 100);
    pxHeadless::mouseUp(h, Button::left, -20, 100);
    pump();
    pxHeadless::mouseMove(h, -30, 90);  // no button, no capture: reaches no one
    pump();
    EXPECT_EQ(window.log,
              (Transcript{"move 160 120", "press 160 120 1", "move -20 100", "release -20 100 1", "leave"}));
    EXPECT_EQ(GetCapture(), nullptr);
}

// The framework releases the capture on every release; the platform keeps
// bringing the mouse to the window a button was pressed in until every
// button is up.
TEST_F(PlatformCore, MouseInputFollowsThePressedWindowUntilEveryButtonIsUp) {
    PX_OUR_PLATFORM_ONLY(
        "departure: mouse input follows the window a button was pressed in until every button is up, as on X11");
    open(window);
    const HWND h = window.handle;
    pxHeadless::mouseMove(h, 100, 100);
    pxHeadless::mouseDown(h, Button::left, 100, 100);
    pump();
    pxHeadless::mouseDown(h, Button::right, 100, 100);
    pxHeadless::mouseUp(h, Button::right, 100, 100);
    pump();
    EXPECT_EQ(GetCapture(), nullptr);
    pxHeadless::mouseMove(h, -10, 50);
    pump();
    EXPECT_TRUE(window.mouseTracked) << "no leave while the left button holds the mouse";
    pxHeadless::mouseUp(h, Button::left, -10, 50);
    pxHeadless::mouseMove(h, -20, 50);
    pump();
    EXPECT_EQ(window.log, (Transcript{
                              "move 100 100",
                              "press 100 100 1",
                              "press 100 100 4",
                              "release 100 100 4",
                              "move -10 50",
                              "release -10 50 1",
                              "leave",
                          }));
}

TEST_F(PlatformCore, KeyFlagsAreTheModifiersAsOfTheMessageBeingHandled) {
    open(window);
    const HWND h = window.handle;
    // All injected before anything is dispatched: each message still sees the
    // modifiers as they were when it happened.
    pxHeadless::keyDown(h, VK_ESCAPE);
    pxHeadless::keyUp(h, VK_ESCAPE);
    pxHeadless::keyDown(h, VK_RSHIFT);
    pxHeadless::keyDown(h, 'A');
    pxHeadless::keyUp(h, VK_RSHIFT);
    pxHeadless::keyUp(h, 'A');
    pxHeadless::keyDown(h, VK_RCONTROL);
    pxHeadless::keyDown(h, VK_LSHIFT);
    pxHeadless::keyDown(h, VK_F1 + 4);
    pxHeadless::keyUp(h, VK_F1 + 4);
    pxHeadless::keyUp(h, VK_LSHIFT);
    pxHeadless::keyUp(h, VK_RCONTROL);
    pump();
    EXPECT_EQ(window.log, (Transcript{
                              "key-press 27 0",
                              "key-release 27 0",
                              "key-press 16 8",
                              "key-press 65 8",
                              "key-release 16 0",
                              "key-release 65 0",
                              "key-press 17 16",
                              "key-press 16 24",
                              "key-press 116 24",
                              "key-release 116 24",
                              "key-release 16 16",
                              "key-release 17 0",
                          }));
}

TEST_F(PlatformCore, AltAndKeysWhileAltIsHeldAreSystemKeys) {
    PX_OUR_PLATFORM_ONLY(
        "Win32's DefWindowProc turns WM_SYSCHAR into WM_SYSCOMMAND SC_KEYMENU, which enters the menu loop, after "
        "which the Alt release comes as WM_KEYUP; our layer has no menu loop");
    open(window);
    window.logMessages = true;
    const HWND h = window.handle;
    pxHeadless::keyDown(h, VK_RMENU);
    pxHeadless::keyDown(h, 'X');
    pxHeadless::keyUp(h, 'X');
    pxHeadless::keyUp(h, VK_RMENU);
    pxHeadless::keyDown(h, 'X');
    pxHeadless::keyUp(h, 'X');
    pump();
    // Character messages from TranslateMessage reach the filter but no handler.
    EXPECT_EQ(window.log, (Transcript{
                              "msg WM_SYSKEYDOWN",
                              "key-press 18 32",
                              "msg WM_SYSKEYDOWN",
                              "key-press 88 32",
                              "msg WM_SYSCHAR",
                              "msg WM_SYSKEYUP",
                              "key-release 88 32",
                              "msg WM_SYSKEYUP",
                              "key-release 18 0",
                              "msg WM_KEYDOWN",
                              "key-press 88 0",
                              "msg WM_CHAR",
                              "msg WM_KEYUP",
                              "key-release 88 0",
                          }));
}

TEST_F(PlatformCore, AutoRepeatIsRepeatedPressesWithoutARelease) {
    open(window);
    for (int i = 0; i < 3; ++i) pxHeadless::keyDown(window.handle, VK_LEFT);
    pxHeadless::keyUp(window.handle, VK_LEFT);
    pump();
    EXPECT_EQ(window.log, (Transcript{"key-press 37 0", "key-press 37 0", "key-press 37 0", "key-release 37 0"}));
}

}  // namespace
