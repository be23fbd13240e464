// The SDL2 backend: real windows on X11 or Wayland. It only translates: SDL
// events become native events of the core, and the core's backing image goes
// to the window surface when a paint ends.
//
// Implements:
// - [x] windows: hidden at creation, title, show and hide, destroy
// - [x] backing images: on X11 in memory shared with the X server, handed to
//       it without waiting (sdl_xshm.h); elsewhere ordinary memory
// - [x] present: on X11 shared images straight to the X window, others
//       copied to it (converted for 16- and 30-bit visuals); elsewhere into
//       SDL's window surface, then SDL_UpdateWindowSurfaceRects; a window
//       without a surface is an error (creation fails, or one line and exit
//       status 1), never a blank run
// - [x] keys (sided modifiers), mouse motion and the three buttons, leave
// - [x] key releases that SDL makes up when the focus goes, and presses it
//       makes up from the keymap when the pointer or focus comes in, dropped
// - [x] a flood of input sent by other X clients is bounded (sdl_x11_flood.h)
// - [x] close button, SIGINT/SIGTERM (SDL_QUIT), resize, minimise, expose
// - [x] the X window destroyed by another program: the window is destroyed
// - [x] blocking wait until the next event or timer deadline
// - [x] no display: creation fails and says why; no silent offscreen run
// - [x] a Wayland compositor without an input seat: creation fails and says
//       why (SDL 2.26 would crash)
// - [x] X server or Wayland compositor gone: one line of the program's own
//       and exit status 1
// - [ ] child windows: SDL has none, so creating one fails
//
// SDL_Quit is never called: the native windows end with the process, and
// SDL_Quit at exit sometimes fails with an X BadWindow error under a window
// manager.

#include <SDL.h>

#include <chrono>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <thread>

#include <unistd.h>

#include "platform/core/core.h"
#include "platform/sdl/sdl_keys.h"
#include "platform/sdl/sdl_wayland.h"
#include "platform/sdl/sdl_x11.h"
#include "platform/sdl/sdl_x11_flood.h"
#include "platform/sdl/sdl_xshm.h"

namespace {

using pxNative::backend::Refusal;

struct SdlWindow {
    SDL_Window* window = nullptr;
    bool minimized = false;
    bool gone = false;          // another program destroyed it: nothing may touch it
    unsigned long xWindow = 0;  // the X11 window; 0 under any other video driver
};

struct SdlState {
    bool videoReady = false;
    std::map<std::uintptr_t, SdlWindow> windows;  // by HWND
    std::map<Uint32, HWND> byId;                  // SDL window id to HWND
    // The mouse buttons reported pressed and not yet released (bits of
    // buttonBit), and the window the first of them was pressed in.
    unsigned held = 0;
    HWND heldWindow = nullptr;
    // Buttons whose release the backend reported itself, SDL having lost
    // it: a release SDL still sends for one of them is not a second one.
    unsigned releasedForSdl = 0;
    std::int64_t nextButtonCheckNs = 0;
    // Set by a KeymapNotify or a focus gain, until the next X event or other
    // input: the key presses SDL reports meanwhile are made up (see
    // sdl::isKeymapNotify).
    bool keysReconciled = false;
};

SdlState& sdlState() {
    static SdlState instance;
    return instance;
}

bool isSet(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr && value[0] != '\0';
}

// The variable's value, empty where it is unset.
std::string valueOf(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr ? std::string(value) : std::string();
}

// Whether an X display name (":0.1", "host:1.2") names a screen other than 0.
bool namesOtherScreen(const std::string& display) {
    const std::size_t colon = display.rfind(':');
    const std::size_t dot = colon == std::string::npos ? colon : display.find('.', colon);
    return dot != std::string::npos && display.find_first_not_of("0", dot + 1) != std::string::npos;
}

bool isScreenlessDriver(const char* driver) {
    return driver != nullptr && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0);
}

// Starts SDL's video once. SDL falls back to its "offscreen" driver when no
// display answers, which would run the program invisibly for ever: that
// counts as no display, unless SDL_VIDEODRIVER asks for such a driver.
bool startVideo(Refusal& refusal) {
    SdlState& s = sdlState();
    if (s.videoReady) return true;
    const bool screenlessAsked = isScreenlessDriver(std::getenv("SDL_VIDEODRIVER"));
    if (!screenlessAsked && !isSet("DISPLAY") && !isSet("WAYLAND_DISPLAY")) {
        refusal = Refusal{pxNativeFailure::noDisplay, ""};
        return false;
    }
    // Closing the last window is the program's decision (WM_CLOSE), not a quit.
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    // A window that redraws itself is no reason to keep the screen from
    // blanking or locking; SDL would otherwise switch the screensaver off.
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
    // Only the display the environment names is tried: probing for a Wayland
    // display that is not there prints a library warning of its own.
    if (!isSet("SDL_VIDEODRIVER")) {
        if (isSet("DISPLAY") && !isSet("WAYLAND_DISPLAY")) SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
        if (!isSet("DISPLAY") && isSet("WAYLAND_DISPLAY")) SDL_SetHint(SDL_HINT_VIDEODRIVER, "wayland");
    }
    const std::string wayland = "Wayland display \"" + valueOf("WAYLAND_DISPLAY") + "\"";
    // SDL's Wayland driver may be started: make sure it will not crash.
    const std::string asked = valueOf("SDL_VIDEODRIVER");
    if (isSet("WAYLAND_DISPLAY") && (asked.empty() || asked == "wayland") && !pxNative::sdl::waylandHasSeat()) {
        if (!asked.empty() || !isSet("DISPLAY")) {
            refusal = Refusal{pxNativeFailure::noInputSeat, wayland};
            return false;
        }
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
    }
    // SDL 2.26 puts a window on the first display that holds its position,
    // and with XRandR it lists every screen of the X server, each from 0,0:
    // screen 0 whatever DISPLAY names. Without XRandR it lists only the
    // screen DISPLAY names (its modes are nothing to this program).
    if (namesOtherScreen(valueOf("DISPLAY"))) SDL_SetHint(SDL_HINT_VIDEO_X11_XRANDR, "0");
    // Which display was asked for, for the message when none answers. With a
    // screenless driver asked for, neither variable need be set.
    const std::string unreachable = isSet("DISPLAY")           ? "X display \"" + valueOf("DISPLAY") + "\"; "
                                    : isSet("WAYLAND_DISPLAY") ? wayland + "; "
                                                               : std::string();
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        refusal = Refusal{pxNativeFailure::noServer, unreachable + "SDL: " + SDL_GetError()};
        return false;
    }
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!screenlessAsked && isScreenlessDriver(driver)) {
        refusal = Refusal{pxNativeFailure::noServer,
                          unreachable + "SDL found only its \"" + std::string(driver) + "\" video driver"};
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return false;
    }
    if (driver != nullptr && std::strcmp(driver, "x11") == 0) {
        // Software window surfaces on X11: with acceleration SDL replaces the
        // X window on the first present (new id, new position) and its
        // streaming textures are several times slower for whole frames.
        // Wayland has no unaccelerated window surface, so there SDL decides.
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
        // Without this, Xlib's own message and exit end the program when the
        // X server goes away, and its error dump when another program
        // destroys our window. SDL 2.26 sets no lasting handlers, neither
        // while starting nor when it opens windows; ours come after SDL's
        // start, so they would also replace ones that a later SDL sets there.
        pxNative::sdl::handleXErrors();
        // DestroyNotify reaches us only as a window-manager event.
        SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
    }
    // Key messages are all the program reads; text input would also make SDL
    // open an input method.
    SDL_StopTextInput();
    s.videoReady = true;
    return true;
}

// The SDL window of a window that is still there, or null.
SDL_Window* findSdlWindow(HWND window) {
    auto& windows = sdlState().windows;
    const auto it = windows.find(pxNative::handleValue(window));
    return it == windows.end() || it->second.gone ? nullptr : it->second.window;
}

// A window whose pixels cannot reach the screen must not run on as if they
// did: one line, and the run ends with status 1.
[[noreturn]] void cannotDraw(const char* why) {
    std::fprintf(stderr, "%s: cannot draw into the window: %s\n", program_invocation_short_name, why);
    std::fflush(stderr);
    _exit(1);
}

HWND windowOf(Uint32 id) {
    const auto& byId = sdlState().byId;
    const auto it = byId.find(id);
    if (it != byId.end()) return it->second;
    return nullptr;
}

void translateWindowEvent(const SDL_WindowEvent& event) {
    using namespace pxNative;
    const HWND window = windowOf(event.windowID);
    if (window == nullptr) return;
    SdlWindow& record = sdlState().windows[handleValue(window)];
    switch (event.event) {
    case SDL_WINDOWEVENT_CLOSE: input::closeRequested(window); break;
    case SDL_WINDOWEVENT_SIZE_CHANGED: input::resized(window, event.data1, event.data2); break;
    case SDL_WINDOWEVENT_MOVED: input::moved(window, event.data1, event.data2); break;
    case SDL_WINDOWEVENT_MINIMIZED:
        record.minimized = true;
        input::resized(window, 0, 0);
        break;
    case SDL_WINDOWEVENT_RESTORED:
    case SDL_WINDOWEVENT_MAXIMIZED:
        if (record.minimized) {
            record.minimized = false;
            int width = 0;
            int height = 0;
            SDL_GetWindowSize(record.window, &width, &height);
            input::resized(window, width, height);
        }
        break;
    case SDL_WINDOWEVENT_EXPOSED: input::exposed(window); break;
    case SDL_WINDOWEVENT_LEAVE:
        // With a button held SDL holds this back until the release.
        input::pointerLeft(window);
        break;
    default: break;
    }
}

unsigned buttonBit(pxNative::input::Button button) { return 1u << static_cast<unsigned>(button); }

// A press or a release of one of the three buttons, as SDL reports it. A
// release goes to the window of the press even when SDL names no window (it
// does when the pointer has left every window).
void translateButton(const SDL_MouseButtonEvent& event) {
    using namespace pxNative;
    input::Button button;
    // The click count is ignored: two quick clicks stay two clicks.
    if (event.which == SDL_TOUCH_MOUSEID || !sdl::mouseButton(event.button, button)) return;
    SdlState& s = sdlState();
    const unsigned bit = buttonBit(button);
    HWND window = windowOf(event.windowID);
    const bool down = event.type == SDL_MOUSEBUTTONDOWN;
    if (!down && (s.releasedForSdl & bit)) {
        s.releasedForSdl &= ~bit;
        return;
    }
    s.releasedForSdl &= ~bit;
    if (down) {
        if (window == nullptr) return;
        if (s.held == 0) s.heldWindow = window;
        s.held |= bit;
    } else {
        if (window == nullptr && (s.held & bit)) window = s.heldWindow;
        s.held &= ~bit;
        if (window == nullptr) return;
    }
    input::mouseButton(window, button, down, event.x, event.y);
}

// SDL can lose a button release on X11: a press that comes while SDL is
// still answering the pointer's entry with XUngrabPointer loses the server's
// implicit grab of the press, and the release, made outside the window, then
// reaches no one. The program would go on believing the button held (a drag
// that never ends). So the X server's own word on its buttons is taken where
// it comes: every input event it sends says which buttons were held when it
// was made, and while a button is held the server is also asked now and then
// (pollEvents). A button held here but not there was released before that
// event: the release is reported at once, in its place among the events, and
// put into SDL's queue too, so that SDL's own button state follows (the
// release SDL then reports is dropped).
void releaseLost(unsigned heldAtServer, int x, int y) {
    using namespace pxNative;
    SdlState& s = sdlState();
    const unsigned lost = s.held & ~heldAtServer;
    if (lost == 0) return;
    if (SDL_Window* window = findSdlWindow(s.heldWindow)) sdl::queueReleases(window, lost, x, y);
    for (const input::Button button : {input::Button::left, input::Button::middle, input::Button::right}) {
        const unsigned bit = buttonBit(button);
        if (!(lost & bit)) continue;
        s.held &= ~bit;
        s.releasedForSdl |= bit;
        input::mouseButton(s.heldWindow, button, false, x, y);
    }
}

void windowDestroyedByOthers(Uint32 id) {
    const HWND window = windowOf(id);
    if (window == nullptr) return;
    sdlState().windows[pxNative::handleValue(window)].gone = true;
    pxNative::input::destroyed(window);
}

// Whether the connection to the Wayland compositor of our windows has failed.
bool waylandLost() {
    for (const auto& [key, record] : sdlState().windows)
        if (!record.gone && pxNative::sdl::waylandConnectionLost(record.window)) return true;
    return false;
}

void translate(const SDL_Event& event) {
    using namespace pxNative;
    SdlState& s = sdlState();
    const bool reconciled = s.keysReconciled;
    if (event.type != SDL_KEYDOWN && event.type != SDL_KEYUP) s.keysReconciled = false;
    switch (event.type) {
    case SDL_SYSWMEVENT:
        if (event.syswm.msg != nullptr) {
            // SDL reports an X event this way before it handles it.
            s.keysReconciled = sdl::isKeymapNotify(*event.syswm.msg);
            windowDestroyedByOthers(sdl::destroyedWindow(*event.syswm.msg));
            unsigned atServer = 0;
            int x = 0;
            int y = 0;
            if (sdl::buttonsInEvent(*event.syswm.msg, atServer, x, y)) releaseLost(atServer, x, y);
        }
        break;
    case SDL_QUIT:
        // SIGINT or SIGTERM: SDL's signal handlers turn them into SDL_QUIT.
        // SDL's Wayland driver sends one too when the compositor has gone:
        // that is the display lost, as with a lost X server.
        if (waylandLost()) {
            std::fprintf(stderr, "%s: lost the connection to Wayland display \"%s\"\n", program_invocation_short_name,
                         isSet("WAYLAND_DISPLAY") ? std::getenv("WAYLAND_DISPLAY") : "wayland-0");
            std::fflush(stderr);
            _exit(1);
        }
        input::quitRequested();
        break;
    case SDL_WINDOWEVENT:
        s.keysReconciled = event.window.event == SDL_WINDOWEVENT_FOCUS_GAINED;
        translateWindowEvent(event.window);
        break;
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
        // A press SDL made up for a key found down when the pointer or the
        // focus came in is dropped: Windows sends no key-down for a key held
        // before, and where the key went down just then, its own press
        // follows, which would make two. Made-up releases are kept: the key
        // did go up, and SDL sends no second release.
        if (reconciled && event.type == SDL_KEYDOWN && event.key.repeat == 0) break;
        const HWND window = windowOf(event.key.windowID);
        const int vk = sdl::virtualKey(event.key.keysym.scancode, event.key.keysym.sym);
        // A repeat is a key-down of a key that is already down.
        if (window != nullptr && vk != 0) input::key(window, vk, event.type == SDL_KEYDOWN);
        break;
    }
    case SDL_MOUSEMOTION: {
        const HWND window = windowOf(event.motion.windowID);
        if (window != nullptr && event.motion.which != SDL_TOUCH_MOUSEID)
            input::mouseMove(window, event.motion.x, event.motion.y);
        break;
    }
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: translateButton(event.button); break;
    default: break;
    }
}

// Every event SDL has for us now, translated.
void translateWaiting() {
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        if (event.type == SDL_KEYUP) {
            // The releases SDL makes up at a focus loss come together with it.
            SDL_Event following[64];
            const int count = SDL_PeepEvents(following, 64, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT);
            if (pxNative::sdl::releasedByFocusLoss(event.key, following, count > 0 ? count : 0)) continue;
        }
        translate(event);
    }
}

// While a button is held, asks the X server every 10 ms which buttons it
// holds (see releaseLost): a release that no later event tells of shows too.
void reconcileButtons() {
    using namespace pxNative;
    SdlState& s = sdlState();
    if (s.held == 0) return;
    const std::int64_t now = backend::nowNs();
    if (now < s.nextButtonCheckNs) return;
    s.nextButtonCheckNs = now + 10'000'000;  // a lost release shows within 10 ms
    SDL_Window* window = findSdlWindow(s.heldWindow);
    if (window == nullptr) {
        s.held = 0;  // the window is gone, and the core's record of it
        return;
    }
    unsigned atServer = 0;
    int x = 0;
    int y = 0;
    if (!pxNative::sdl::buttonsAtServer(window, atServer, x, y)) return;
    translateWaiting();  // what the server sent before its answer
    releaseLost(atServer, x, y);
}

}  // namespace

namespace pxNative::backend {

bool openWindow(HWND window, const WindowRequest& request, Refusal& refusal) {
    if (!startVideo(refusal)) return false;
    if (!request.toplevel) {
        refusal = Refusal{pxNativeFailure::childWindow, ""};
        return false;
    }
    Uint32 flags = SDL_WINDOW_HIDDEN;
    if (request.resizable) flags |= SDL_WINDOW_RESIZABLE;
    if (!request.decorated) flags |= SDL_WINDOW_BORDERLESS;
    // The window manager adds its frame outside: the requested size is the
    // client area.
    SDL_Window* created = SDL_CreateWindow("", request.x, request.y, request.width > 0 ? request.width : 1,
                                           request.height > 0 ? request.height : 1, flags);
    if (created == nullptr) {
        refusal = Refusal{pxNativeFailure::refusedByDisplay, std::string("SDL: ") + SDL_GetError()};
        return false;
    }
    // On X11 the backend shows images itself (sdl_xshm.h), in any visual of
    // 16 or 32 bits a pixel. Elsewhere the surface is made now, so that a
    // window whose pixels could never be shown is refused here and not found
    // out at the first paint.
    const unsigned long xWindow = sdl::xWindowOf(created);
    if (xWindow != 0 ? !sdl::canPresent(xWindow) : SDL_GetWindowSurface(created) == nullptr) {
        const std::string error = xWindow != 0 ? "no visual of 16 or 32 bits a pixel" : SDL_GetError();
        refusal = Refusal{pxNativeFailure::noSurface, "SDL's \"" + std::string(SDL_GetCurrentVideoDriver()) +
                                                          "\" video driver" + (error.empty() ? "" : ": " + error)};
        SDL_DestroyWindow(created);
        return false;
    }
    sdl::boundSentInput(created);
    sdl::watchWindow(xWindow, SDL_GetWindowID(created));
    sdlState().windows[handleValue(window)] = SdlWindow{created, false, false, xWindow};
    sdlState().byId[SDL_GetWindowID(created)] = window;
    return true;
}

void closeWindow(HWND window) {
    SdlState& s = sdlState();
    const auto it = s.windows.find(handleValue(window));
    if (it == s.windows.end()) return;
    s.byId.erase(SDL_GetWindowID(it->second.window));
    // A window another program destroyed still has SDL's record; the X
    // errors its destruction meets are ours to ignore.
    SDL_DestroyWindow(it->second.window);
    s.windows.erase(it);
}

void setTitle(HWND window, const std::string& utf8) {
    if (SDL_Window* w = findSdlWindow(window)) SDL_SetWindowTitle(w, utf8.c_str());
}

void setVisible(HWND window, bool visible) {
    SDL_Window* w = findSdlWindow(window);
    if (w == nullptr) return;
    // SDL's X11 driver shows a window by waiting for its map, with no end;
    // and a window manager may never map it (openbox drops the requests
    // that come while it starts). The program would hang there, deaf even
    // to SIGTERM and Ctrl+C. So on X11 the map is asked for here, and SDL
    // shows the window at once only where the server mapped it at once (no
    // window manager); otherwise SDL learns of it from the map, when it
    // comes, and the program runs on meanwhile.
    const bool shownBySdl = (SDL_GetWindowFlags(w) & SDL_WINDOW_SHOWN) != 0;
    const bool x11 = sdlState().windows[handleValue(window)].xWindow != 0;
    if (visible) {
        if (x11 && !shownBySdl && !pxNative::sdl::requestMap(w)) return;
        SDL_ShowWindow(w);
    } else {
        if (x11 && !shownBySdl) pxNative::sdl::withdraw(w);  // a map on its way
        SDL_HideWindow(w);
    }
}

std::uint8_t* allocateImage(HWND window, std::int32_t width, std::int32_t height) {
    const auto it = sdlState().windows.find(handleValue(window));
    if (it != sdlState().windows.end() && it->second.xWindow != 0) {
        if (std::uint8_t* memory = sdl::sharedImageAllocate(it->second.xWindow, width, height)) return memory;
    }
    // Null when memory runs out: the window keeps the image it has.
    return static_cast<std::uint8_t*>(
        std::malloc(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4));
}

void freeImage(HWND, std::uint8_t* memory) {
    if (!sdl::sharedImageFree(memory)) std::free(memory);
}

void waitImageIdle(HWND, std::uint8_t* memory) { sdl::sharedImageWaitIdle(memory); }

void present(HWND window, const Image& image, const Rect& area) {
    const auto it = sdlState().windows.find(handleValue(window));
    if (it == sdlState().windows.end() || it->second.gone) return;
    SDL_Window* w = it->second.window;
    if (it->second.xWindow != 0) {
        sdl::present(it->second.xWindow, image.bytes(), image.width, area);
        return;
    }

    SDL_ClearError();
    SDL_Surface* surface = SDL_GetWindowSurface(w);
    if (surface == nullptr) {
        // SDL makes the surface anew at the window's new size; when memory
        // cannot afford it, the window keeps what it shows until a size that
        // it can have. (SDL's own words for that failure, SDL_OutOfMemory.)
        if (std::strcmp(SDL_GetError(), "Out of memory") == 0) return;
        cannotDraw(SDL_GetError());
    }
    // The surface follows the window's real size, which may run ahead of or
    // behind the image while a resize is on its way.
    const Rect r = intersect(area, Rect{0, 0, std::min(image.width, surface->w), std::min(image.height, surface->h)});
    if (r.empty()) return;
    if (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0) cannotDraw(SDL_GetError());
    const std::uint8_t* from = image.bytes() + (static_cast<std::size_t>(r.top) * image.width + r.left) * 4;
    const int bytesPerPixel = surface->format->BytesPerPixel;
    auto* to = static_cast<std::uint8_t*>(surface->pixels) + static_cast<std::size_t>(r.top) * surface->pitch +
               static_cast<std::size_t>(r.left) * bytesPerPixel;
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    const Uint32 format = surface->format->format;
    if (format == SDL_PIXELFORMAT_RGB888 || format == SDL_PIXELFORMAT_ARGB8888) {
        // Blue, green, red, unused in memory: the image's own layout.
        for (int y = 0; y < height; ++y)
            std::memcpy(to + static_cast<std::size_t>(y) * surface->pitch,
                        from + static_cast<std::size_t>(y) * image.width * 4, static_cast<std::size_t>(width) * 4);
    } else {
        SDL_ConvertPixels(width, height, SDL_PIXELFORMAT_ARGB8888, from, image.width * 4, format, to, surface->pitch);
    }
    if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
    const SDL_Rect rect{r.left, r.top, width, height};
    SDL_UpdateWindowSurfaceRects(w, &rect, 1);
    return;
}

void pollEvents() {
    if (!sdlState().videoReady) return;
    translateWaiting();
    reconcileButtons();
}

void waitEvents(std::optional<std::int64_t> deadlineNs) {
    if (!sdlState().videoReady) {
        // No window was ever opened, so no event can come: only time passes.
        if (deadlineNs)
            std::this_thread::sleep_for(std::chrono::nanoseconds(std::max<std::int64_t>(*deadlineNs - nowNs(), 0)));
        else
            pause();
        return;
    }
    if (!deadlineNs) {
        SDL_WaitEvent(nullptr);
        return;
    }
    // Whole milliseconds, rounded up, so the wait never ends before the
    // deadline and spins.
    const std::int64_t remaining = *deadlineNs - nowNs();
    if (remaining <= 0) return;
    const std::int64_t ms = std::min<std::int64_t>((remaining + 999'999) / 1'000'000, 1 << 30);
    SDL_WaitEventTimeout(nullptr, static_cast<int>(ms));
}

// Far beyond any real screen; the window manager keeps windows smaller.
Size largestClient() { return Size{16384, 16384}; }

std::int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace pxNative::backend
