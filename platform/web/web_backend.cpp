// The browser backend: the window is the page's canvas (id "canvas"). It only
// translates: the canvas's mouse events and the page's key events become
// native events of the core, the core's backing image is put on the canvas
// when a paint ends, and the core's blocking wait gives the browser its turn.
//
// Implements:
// - [x] one top-level window, the canvas: hidden at creation, title (the
//       page's), show and hide, sized to the requested client area
// - [x] backing images in ordinary memory; present turns the part that
//       changed into the canvas's byte order and puts it there
// - [x] keys (sided modifiers), mouse motion and the three buttons, leave;
//       the pointer is captured by the canvas while a button is held, so the
//       drag and its release stay with the window outside it too
// - [x] touch and pen: the primary contact is the left button, as Windows
//       makes it for programs that know nothing of touch
// - [x] one canvas pixel a CSS pixel on any screen, shown unsmoothed
// - [x] the canvas resized by the page (or its user) is a resize; page hide
//       or unload is the close button
// - [x] the blocking wait: the program's stack is set aside (Asyncify) until
//       the next event or timer deadline, while the browser runs the page
// - [x] a page without a canvas, a second window, a child window: creation
//       fails and says why
//
// Events arrive only while the program waits (the page has one thread), and
// are kept here until the core asks for them (pollEvents), so the core's
// state never changes under a suspended call.

#include <emscripten.h>
#include <emscripten/html5.h>
#include <wasm_simd128.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "platform/core/core.h"
#include "platform/web/web_keys.h"

namespace {

using pxNative::backend::Refusal;

// The canvas, as the HTML5 functions name their target.
constexpr const char* kCanvas = "#canvas";

struct WebEvent {
    enum class Kind { key, move, button, leave, close };
    Kind kind = Kind::move;
    int vk = 0;
    bool down = false;
    pxMouseButton button = pxMouseButton::left;
    std::int32_t x = 0;
    std::int32_t y = 0;
};

struct PageState {
    HWND window = nullptr;   // the window the canvas shows, or null
    std::int32_t width = 0;  // the canvas's size in pixels
    std::int32_t height = 0;
    // Events since the core last asked, in arrival order.
    std::vector<WebEvent> events;
    // The canvas's bytes (red, green, blue, alpha) of what was last presented.
    std::vector<std::uint8_t> canvasBytes;
    // When the page last had its turn (emscripten_get_now, milliseconds).
    double lastTurnMs = 0;
};

// The page has its turn (its input, and showing what the canvas holds) at
// least this often, however long frames take: a program whose frames take
// longer than its timer's period finds a message ready every time it asks,
// and would otherwise never wait.
constexpr double kTurnEveryMs = 16;

PageState& page() {
    static PageState instance;
    return instance;
}

// The page's side, in JavaScript, laid out by hand.
// clang-format off

// Ends the wait of webSleep, if the program waits; the program goes on once
// the browser's current task (the event being handled) is done.
EM_JS(void, webWake, (), {
    if (Module.glintworksWake) Module.glintworksWake();
});

// Sets the program aside until webWake or `ms` milliseconds (none: below 0).
// It goes on in a microtask of its own, once the JavaScript that woke it
// (an event listener that called into the program) has returned. The run's
// end, exit(), is emscripten's ExitStatus thrown out of the resumed program;
// it is caught here, as emscripten catches it everywhere else: thrown on
// from a promise's callback, as Asyncify's own wait for an async function
// would, it reaches the page as an unhandled rejection, which Firefox reports
// as an uncaught exception whatever the page's listeners do with it.
EM_JS(void, webSleep, (double ms), {
    Asyncify.handleSleep(function(wakeUp) {
        var timer = null;
        function resume() {
            try {
                wakeUp();
            } catch (e) {
                if (!(e instanceof ExitStatus)) throw e;
            }
        }
        Module.glintworksWake = function() {
            Module.glintworksWake = null;
            if (timer !== null) clearTimeout(timer);
            queueMicrotask(resume);
        };
        if (ms >= 0) timer = setTimeout(Module.glintworksWake, ms);
    });
});

// What the HTML5 functions leave out: the pointer captured by the canvas
// from a press until every button is up (mouse events then keep coming to
// it from anywhere, as a window's implicit grab gives them), touch and pen,
// no context menu over it, and page hide or unload reported as the close
// button. The canvas is drawn pixel for pixel: on a screen of more than one
// device pixel per CSS pixel each canvas pixel is a block of device pixels,
// not smoothed.
//
// Touch and pen as Windows gives them to a program that knows nothing of
// either: the primary contact is the left button, pressed where it touches
// (after a move there), moved and released with it, and captured like the
// mouse. Other contacts (a second finger) are ignored, and a contact that
// starts on the canvas neither scrolls nor zooms the page (touch-action).
// Its press is not passed on, so the browser makes up no mouse events from
// it. A pen's hover reaches the mouse listeners as the browser's own mouse
// moves.
EM_JS(int, webSetUpCanvas, (int width, int height), {
    var canvas = document.getElementById('canvas');
    if (!canvas) return 0;
    canvas.width = width;
    canvas.height = height;
    canvas.style.imageRendering = 'pixelated';
    canvas.style.touchAction = 'none';
    // The page may put the canvas in a frame of id "frame" whose size it
    // fills, which the page's user can then resize; else the canvas has the
    // size itself.
    var box = canvas.parentElement && canvas.parentElement.id === 'frame' ? canvas.parentElement : canvas;
    box.style.width = width + 'px';
    box.style.height = height + 'px';
    canvas.style.visibility = 'hidden';
    if (Module.glintworksListening) return 1;
    Module.glintworksListening = true;
    var contact = null;  // the pointer id of the contact that holds the left button
    function report(phase, e) {
        var r = canvas.getBoundingClientRect();
        _glintworksContact(phase, Math.floor(e.clientX - r.left), Math.floor(e.clientY - r.top));
    }
    canvas.addEventListener('pointerdown', function(e) {
        if (ABORT) return;
        if (e.pointerType === 'mouse') {
            canvas.setPointerCapture(e.pointerId);
            return;
        }
        e.preventDefault();
        if (!e.isPrimary || contact !== null || e.button !== 0) return;
        contact = e.pointerId;
        canvas.setPointerCapture(e.pointerId);
        report(0, e);
    });
    canvas.addEventListener('pointermove', function(e) {
        if (!ABORT && e.pointerId === contact) report(1, e);
    });
    function lift(e) {
        if (e.pointerId !== contact) return;
        contact = null;
        if (!ABORT) report(2, e);
    }
    canvas.addEventListener('pointerup', lift);
    canvas.addEventListener('pointercancel', lift);
    canvas.addEventListener('contextmenu', function(e) { e.preventDefault(); });
    window.addEventListener('pagehide', function() {
        if (!ABORT) _glintworksPageHidden();
    });
    return 1;
});

EM_JS(void, webSetCanvasVisible, (int visible), {
    document.getElementById('canvas').style.visibility = visible ? 'visible' : 'hidden';
});

// The canvas's size on the page, in CSS pixels, each side at most 65535:
// width x 65536 + height, one read of the page's layout. A frame resized to
// a fraction of a CSS pixel (its user's drag on a high-density screen) is
// set to the whole pixels below, so that the canvas is shown one canvas
// pixel to one CSS pixel exactly, never stretched by a fraction.
EM_JS(int, webCanvasCssSize, (), {
    var canvas = document.getElementById('canvas');
    var r = canvas.getBoundingClientRect();
    var width = Math.floor(r.width);
    var height = Math.floor(r.height);
    if ((width !== r.width || height !== r.height) && canvas.parentElement.id === 'frame') {
        canvas.parentElement.style.width = width + 'px';
        canvas.parentElement.style.height = height + 'px';
    }
    return Math.min(width, 65535) * 65536 + Math.min(height, 65535);
});

EM_JS(void, webSetCanvasSize, (int width, int height), {
    var canvas = document.getElementById('canvas');
    canvas.width = width;
    canvas.height = height;
});

// Puts `width` x `height` pixels of canvas bytes at `bytes` on the canvas,
// the rectangle at (left, top) of `areaWidth` x `areaHeight` only. 0 when the
// canvas cannot be drawn on (the page gave it another kind of context).
EM_JS(int, webPutImage, (const std::uint8_t* bytes, int width, int height, int left, int top,
                         int areaWidth, int areaHeight), {
    var cache = Module.glintworksImage;
    // The view is made again when the memory has grown (the old one is then
    // empty) or the image has moved or changed size.
    if (!cache || cache.bytes !== bytes || cache.data.width !== width || cache.data.height !== height ||
        cache.view.byteLength === 0) {
        var view = new Uint8ClampedArray(HEAPU8.buffer, bytes, width * height * 4);
        cache = Module.glintworksImage = {bytes: bytes, view: view, data: new ImageData(view, width, height)};
        cache.context = document.getElementById('canvas').getContext('2d', {alpha: false});
        if (!cache.context) {
            Module.glintworksImage = null;
            return 0;
        }
    }
    cache.context.putImageData(cache.data, 0, 0, left, top, areaWidth, areaHeight);
    return 1;
});

// clang-format on

void push(const WebEvent& event) {
    page().events.push_back(event);
    webWake();
}

EM_BOOL onKey(int type, const EmscriptenKeyboardEvent* event, void*) {
    const int vk = pxNative::web::virtualKey(event->keyCode, event->location);
    if (vk != 0 && page().window != nullptr) {
        WebEvent e;
        e.kind = WebEvent::Kind::key;
        e.vk = vk;
        e.down = type == EMSCRIPTEN_EVENT_KEYDOWN;
        push(e);
    }
    // The browser keeps its own keys (reload, find, leave full screen ...).
    return EM_FALSE;
}

bool buttonOf(unsigned short domButton, pxMouseButton& button) {
    switch (domButton) {
    case 0: button = pxMouseButton::left; return true;
    case 1: button = pxMouseButton::middle; return true;
    case 2: button = pxMouseButton::right; return true;
    default: return false;  // back, forward: no messages
    }
}

EM_BOOL onMouse(int type, const EmscriptenMouseEvent* event, void*) {
    if (page().window == nullptr) return EM_FALSE;
    WebEvent e;
    // Canvas pixels: the canvas is shown one to one, so CSS pixels are its own.
    e.x = static_cast<std::int32_t>(event->targetX);
    e.y = static_cast<std::int32_t>(event->targetY);
    switch (type) {
    case EMSCRIPTEN_EVENT_MOUSEMOVE: e.kind = WebEvent::Kind::move; break;
    case EMSCRIPTEN_EVENT_MOUSELEAVE: e.kind = WebEvent::Kind::leave; break;
    case EMSCRIPTEN_EVENT_MOUSEDOWN:
    case EMSCRIPTEN_EVENT_MOUSEUP:
        if (!buttonOf(event->button, e.button)) return EM_FALSE;
        e.kind = WebEvent::Kind::button;
        e.down = type == EMSCRIPTEN_EVENT_MOUSEDOWN;
        break;
    default: return EM_FALSE;
    }
    push(e);
    // A press would otherwise start selecting text on the page, and a middle
    // press scrolling it.
    return type == EMSCRIPTEN_EVENT_MOUSEDOWN ? EM_TRUE : EM_FALSE;
}

// Blue, green, red, alpha in the image; red, green, blue, alpha on the
// canvas, which shows alpha too: every pixel is opaque. Four pixels at a time.
void toCanvasBytes(const std::uint8_t* from, std::uint8_t* to, std::int32_t count) {
    const v128_t opaque = wasm_i32x4_splat(static_cast<std::int32_t>(0xFF000000u));
    std::int32_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const v128_t pixels = wasm_v128_load(from + 4 * i);
        const v128_t swapped = wasm_i8x16_shuffle(pixels, pixels, 2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15);
        wasm_v128_store(to + 4 * i, wasm_v128_or(swapped, opaque));
    }
    for (; i < count; ++i) {
        to[4 * i] = from[4 * i + 2];
        to[4 * i + 1] = from[4 * i + 1];
        to[4 * i + 2] = from[4 * i];
        to[4 * i + 3] = 0xFF;
    }
}

Refusal refusedByPage(const char* why) { return Refusal{pxNativeFailure::refusedByDisplay, why}; }

// The page's size of the canvas, where it differs from the window's: the
// page (a style, or its user dragging the frame's corner) resized it.
void checkCanvasSize() {
    PageState& w = page();
    if (w.window == nullptr) return;
    const auto largest = pxNative::backend::largestClient();
    const auto css = static_cast<std::uint32_t>(webCanvasCssSize());
    const std::int32_t width = std::min(static_cast<std::int32_t>(css >> 16), largest.width);
    const std::int32_t height = std::min(static_cast<std::int32_t>(css & 0xFFFFu), largest.height);
    if (width == w.width && height == w.height) return;
    w.width = width;
    w.height = height;
    webSetCanvasSize(width, height);
    pxNative::input::resized(w.window, width, height);
}

}  // namespace

// The primary touch or pen contact (see webSetUpCanvas): `phase` 0 when it
// touches (a move there, then the left button's press), 1 when it moves, 2
// when it lifts or the browser takes it over (the release). Canvas pixels.
extern "C" EMSCRIPTEN_KEEPALIVE void glintworksContact(int phase, std::int32_t x, std::int32_t y) {
    if (page().window == nullptr || phase < 0 || phase > 2) return;
    WebEvent e;
    e.x = x;
    e.y = y;
    if (phase == 0) push(e);  // Kind::move
    if (phase != 1) {
        e.kind = WebEvent::Kind::button;
        e.down = phase == 0;
    }
    push(e);
}

// Page hide or unload: the close button. Called from the page's listener.
extern "C" EMSCRIPTEN_KEEPALIVE void glintworksPageHidden() {
    if (page().window == nullptr) return;
    WebEvent e;
    e.kind = WebEvent::Kind::close;
    push(e);
}

namespace pxNative::backend {

bool openWindow(HWND window, const WindowRequest& request, Refusal& refusal) {
    PageState& w = page();
    if (!request.toplevel) {
        refusal = Refusal{pxNativeFailure::childWindow, ""};
        return false;
    }
    if (w.window != nullptr) {
        refusal = refusedByPage("the page has one canvas, and another window shows it");
        return false;
    }
    const Size size = clampClientSize(request.width, request.height);
    if (!webSetUpCanvas(size.width, size.height)) {
        refusal = refusedByPage("the page has no canvas with the id \"canvas\"");
        return false;
    }
    emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_TRUE, onKey);
    emscripten_set_keyup_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_TRUE, onKey);
    emscripten_set_mousedown_callback(kCanvas, nullptr, EM_TRUE, onMouse);
    emscripten_set_mouseup_callback(kCanvas, nullptr, EM_TRUE, onMouse);
    emscripten_set_mousemove_callback(kCanvas, nullptr, EM_TRUE, onMouse);
    emscripten_set_mouseleave_callback(kCanvas, nullptr, EM_TRUE, onMouse);
    w.window = window;
    w.width = size.width;
    w.height = size.height;
    w.events.reserve(256);
    return true;
}

void closeWindow(HWND window) {
    PageState& w = page();
    if (window != w.window) return;
    emscripten_html5_remove_all_event_listeners();
    webSetCanvasVisible(0);
    w.window = nullptr;
    w.events.clear();
}

void setTitle(HWND window, const std::string& utf8) {
    if (window == page().window) emscripten_set_window_title(utf8.c_str());
}

void setVisible(HWND window, bool visible) {
    if (window == page().window) webSetCanvasVisible(visible ? 1 : 0);
}

std::uint8_t* allocateImage(HWND, std::int32_t width, std::int32_t height) {
    const std::size_t bytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
    return static_cast<std::uint8_t*>(std::malloc(bytes));  // null: the window keeps the image it has
}

void freeImage(HWND, std::uint8_t* memory) { std::free(memory); }

// The canvas reads a copy (present), never the image itself.
void waitImageIdle(HWND, std::uint8_t*) {}

void present(HWND window, const Image& image, const Rect& area) {
    PageState& w = page();
    if (window != w.window || image.bytes() == nullptr) return;
    // The canvas's copy is made again only when the size changes.
    const std::size_t bytes = static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height) * 4;
    if (w.canvasBytes.size() != bytes) w.canvasBytes.assign(bytes, 0);
    const Rect r = intersect(area, Rect{0, 0, image.width, image.height});
    if (r.empty()) return;
    for (std::int32_t y = r.top; y < r.bottom; ++y) {
        const std::size_t first = (static_cast<std::size_t>(y) * image.width + r.left) * 4;
        toCanvasBytes(image.bytes() + first, w.canvasBytes.data() + first, r.right - r.left);
    }
    if (!webPutImage(w.canvasBytes.data(), image.width, image.height, r.left, r.top, r.right - r.left,
                     r.bottom - r.top)) {
        // A window whose pixels cannot reach the screen must not run on as
        // if they did.
        std::fprintf(stderr, "glintworks: cannot draw into the canvas: the page holds another kind of context\n");
        std::exit(1);
    }
}

namespace {

// Sets the program aside for `ms` milliseconds or until an event comes (none:
// below 0). Only the program's own message loop may be set aside: a window
// procedure's frames are not kept (see ASYNCIFY_IGNORE_INDIRECT in the
// build), so a message loop inside one cannot wait here.
void sleepInLoop(double ms) {
    if (state().procedureDepth != 0) {
        std::fprintf(stderr, "glintworks: a message loop inside a window procedure cannot wait in the browser\n");
        std::abort();
    }
    webSleep(ms);
    page().lastTurnMs = emscripten_get_now();
}

}  // namespace

void pollEvents() {
    using namespace pxNative;
    PageState& w = page();
    if (w.window == nullptr) {
        w.events.clear();
        return;
    }
    if (state().procedureDepth == 0 && emscripten_get_now() - w.lastTurnMs >= kTurnEveryMs) sleepInLoop(0);
    checkCanvasSize();
    // Reporting may not add events (nothing here waits), but index anyway.
    for (std::size_t i = 0; i < w.events.size() && w.window != nullptr; ++i) {
        const WebEvent e = w.events[i];
        switch (e.kind) {
        case WebEvent::Kind::key: input::key(w.window, e.vk, e.down); break;
        case WebEvent::Kind::move: input::mouseMove(w.window, e.x, e.y); break;
        case WebEvent::Kind::button: input::mouseButton(w.window, e.button, e.down, e.x, e.y); break;
        case WebEvent::Kind::leave: input::pointerLeft(w.window); break;
        case WebEvent::Kind::close: input::closeRequested(w.window); break;
        }
    }
    w.events.clear();
}

void waitEvents(std::optional<std::int64_t> deadlineNs) {
    if (!page().events.empty()) return;
    if (!deadlineNs) {
        sleepInLoop(-1.0);
        return;
    }
    // Whole milliseconds, rounded up, so the wait never ends before the
    // deadline and spins.
    const std::int64_t remaining = *deadlineNs - nowNs();
    if (remaining <= 0) return;
    sleepInLoop(std::ceil(static_cast<double>(remaining) / 1e6));
}

// A canvas this size takes 256 MB, and its copy as much again.
Size largestClient() { return Size{8192, 8192}; }

std::int64_t nowNs() { return static_cast<std::int64_t>(emscripten_get_now() * 1e6); }

}  // namespace pxNative::backend
