// The headless backend: windows that exist only as records and backing images
// in the core, a virtual clock, and input that tests inject.
//
// Implements:
// - [x] windows open at once (or fail when a test asks), never on a screen
// - [x] backing images in memory of its own; presenting counts, and the
//       (absent) screen goes on reading the image until the core waits for
//       it, as it does on X11: a write into an image still being read aborts
// - [x] a virtual clock for timers and QueryPerformanceCounter
// - [x] waiting jumps the clock to the next timer or scheduled action, and
//       aborts when there is neither (the loop would wait for ever)
// - [x] injected keys, mouse, close, resize, expose, through the core
// - [x] reading back images and timers; making creation, bitmaps and window
//       images fail

#include "platform/headless/headless.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cstdint>
#include <map>

#include "platform/core/core.h"

namespace {

struct HeadlessState {
    std::int64_t nowNs = 0;
    // Actions by due time; equal times keep the order they were scheduled in.
    std::multimap<std::int64_t, std::function<void()>> scheduled;
    bool failNextCreation = false;
    std::size_t imageByteLimit = SIZE_MAX;  // larger window images are refused
    pxNative::backend::Refusal creationFailure;
    std::map<std::uintptr_t, int> presents;
    // What the screen was last handed per window, while it is reading it:
    // the image memory, the area and a hash of its pixels then. Entries stay
    // once made, so that presenting allocates nothing after the first time.
    struct ScreenRead {
        bool active = false;
        const std::uint8_t* memory = nullptr;
        std::int32_t width = 0;
        pxNative::Rect area;
        std::uint64_t hash = 0;
    };
    std::map<std::uintptr_t, ScreenRead> reading;
};

// Never destroyed: backing images are freed by the core's state as the
// process ends, after function-local statics made later than it are gone.
HeadlessState& headless() {
    static HeadlessState* instance = new HeadlessState;
    return *instance;
}

// Runs the scheduled actions due by `until`, each with the clock at its own
// time. Actions may schedule more.
void runScheduled(std::int64_t until) {
    HeadlessState& h = headless();
    while (!h.scheduled.empty() && h.scheduled.begin()->first <= until) {
        const auto first = h.scheduled.begin();
        if (first->first > h.nowNs) h.nowNs = first->first;
        const std::function<void()> action = std::move(first->second);
        h.scheduled.erase(first);
        action();
    }
}

std::uint64_t hashArea(const std::uint8_t* memory, std::int32_t width, const pxNative::Rect& area) {
    std::uint64_t hash = 0xcbf29ce484222325u;
    for (std::int32_t y = area.top; y < area.bottom; ++y) {
        const std::uint8_t* row = memory + (static_cast<std::size_t>(y) * width + area.left) * 4;
        for (std::int32_t x = 0; x < area.right - area.left; ++x) {
            std::uint32_t pixel;
            std::memcpy(&pixel, row + static_cast<std::size_t>(x) * 4, 4);
            hash = (hash ^ pixel) * 0x100000001b3u;
        }
    }
    return hash;
}

// The screen finishes reading what it was handed from `memory`: the pixels
// must be what they were when they were handed over, or the core wrote into
// the image without waiting (a torn picture on a real screen).
void finishReading(HWND window, const std::uint8_t* memory) {
    auto& reading = headless().reading;
    const auto it = reading.find(pxNative::handleValue(window));
    if (it == reading.end() || !it->second.active || it->second.memory != memory) return;
    const HeadlessState::ScreenRead& read = it->second;
    it->second.active = false;
    if (hashArea(read.memory, read.width, read.area) != read.hash) {
        std::fprintf(stderr, "headless: a window's image was written while the screen was still reading it\n");
        std::abort();
    }
}

}  // namespace

namespace pxNative::backend {

bool openWindow(HWND, const WindowRequest&, Refusal& refusal) {
    HeadlessState& h = headless();
    if (h.failNextCreation) {
        h.failNextCreation = false;
        refusal = h.creationFailure;
        return false;
    }
    return true;
}

void closeWindow(HWND) {}
void setTitle(HWND, const std::string&) {}
void setVisible(HWND, bool) {}

std::uint8_t* allocateImage(HWND, std::int32_t width, std::int32_t height) {
    const std::size_t bytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
    if (bytes > headless().imageByteLimit) return nullptr;
    return static_cast<std::uint8_t*>(std::malloc(bytes));
}

void freeImage(HWND window, std::uint8_t* memory) {
    // The screen reads a copy of its own of freed memory, as the X server
    // does: what it was reading needs no check.
    auto& reading = headless().reading;
    const auto it = reading.find(handleValue(window));
    if (it != reading.end() && it->second.memory == memory) it->second.active = false;
    std::free(memory);
}

void waitImageIdle(HWND window, std::uint8_t* memory) { finishReading(window, memory); }

void present(HWND window, const Image& image, const Rect& area) {
    HeadlessState& h = headless();
    ++h.presents[handleValue(window)];
    // One read at a time per window: a new one begins when the last ends.
    finishReading(window, image.bytes());
    h.reading[handleValue(window)] =
        HeadlessState::ScreenRead{true, image.bytes(), image.width, area, hashArea(image.bytes(), image.width, area)};
}

void pollEvents() { runScheduled(headless().nowNs); }

void waitEvents(std::optional<std::int64_t> deadlineNs) {
    HeadlessState& h = headless();
    std::optional<std::int64_t> next = deadlineNs;
    if (!h.scheduled.empty() && (!next || h.scheduled.begin()->first < *next)) next = h.scheduled.begin()->first;
    if (!next) {
        std::fprintf(stderr,
                     "headless: the event loop would wait for ever: nothing is queued, no timer runs and no "
                     "input is scheduled\n");
        std::abort();
    }
    if (*next > h.nowNs) h.nowNs = *next;
    runScheduled(h.nowNs);
}

std::int64_t nowNs() { return headless().nowNs; }

// The virtual screen.
Size largestClient() { return Size{4096, 4096}; }

}  // namespace pxNative::backend

namespace pxHeadless {

void reset() {
    pxNative::resetState();
    headless() = HeadlessState{};
}

std::int64_t nowMs() { return headless().nowNs / 1'000'000; }

void advanceMs(std::int64_t ms) {
    if (ms <= 0) return;
    const std::int64_t target = headless().nowNs + ms * 1'000'000;
    runScheduled(target);
    headless().nowNs = target;
}

void scheduleAtMs(std::int64_t atMs, std::function<void()> action) {
    headless().scheduled.emplace(atMs * 1'000'000, std::move(action));
}

void keyDown(HWND window, int virtualKey) { pxNative::input::key(window, virtualKey, true); }
void keyUp(HWND window, int virtualKey) { pxNative::input::key(window, virtualKey, false); }

void mouseMove(HWND window, std::int32_t x, std::int32_t y) { pxNative::input::mouseMove(window, x, y); }
void mouseDown(HWND window, Button button, std::int32_t x, std::int32_t y) {
    pxNative::input::mouseButton(window, button, true, x, y);
}
void mouseUp(HWND window, Button button, std::int32_t x, std::int32_t y) {
    pxNative::input::mouseButton(window, button, false, x, y);
}

void closeButton(HWND window) { pxNative::input::closeRequested(window); }
void resize(HWND window, std::int32_t width, std::int32_t height) { pxNative::input::resized(window, width, height); }
void move(HWND window, std::int32_t x, std::int32_t y) { pxNative::input::moved(window, x, y); }
void expose(HWND window) { pxNative::input::exposed(window); }

void destroyFromOutside(HWND window) { pxNative::input::destroyed(window); }

PumpResult dispatchPending() {
    PumpResult result;
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            result.quit = true;
            result.exitCode = static_cast<int>(message.wParam);
            break;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
        if (++result.dispatched > 1'000'000) {
            std::fprintf(stderr, "headless: dispatchPending did not settle after a million messages (last: %u)\n",
                         message.message);
            std::abort();
        }
    }
    return result;
}

std::uint32_t Image::pixel(std::int32_t x, std::int32_t y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return 0;
    const std::uint8_t* p = &bgra[(static_cast<std::size_t>(y) * width + x) * 4];
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

Image windowImage(HWND window) {
    Image copy;
    if (const pxNative::Image* image = pxNative::inspect::image(window)) {
        copy.width = image->width;
        copy.height = image->height;
        const std::size_t bytes = static_cast<std::size_t>(image->width) * static_cast<std::size_t>(image->height) * 4;
        if (bytes > 0) copy.bgra.assign(image->bytes(), image->bytes() + bytes);
    }
    return copy;
}

int presentCount(HWND window) {
    const auto& presents = headless().presents;
    const auto it = presents.find(pxNative::handleValue(window));
    return it == presents.end() ? 0 : it->second;
}

std::vector<TimerInfo> timers(HWND window) {
    std::vector<TimerInfo> out;
    for (const pxNative::Timer& timer : pxNative::inspect::timers(window))
        out.push_back(TimerInfo{timer.id, timer.periodMs, timer.dueNs / 1'000'000});
    return out;
}

void failNextWindowCreation(pxNativeFailure failure, const std::string& detail) {
    headless().failNextCreation = true;
    headless().creationFailure = pxNative::backend::Refusal{failure, detail};
}

void failDibSections(int count) { pxNative::inspect::failDibSections(count); }

void limitDibSectionBytes(std::size_t bytes) { pxNative::inspect::limitDibSectionBytes(bytes); }

void limitWindowImageBytes(std::size_t bytes) { headless().imageByteLimit = bytes; }

void limitQueuedInput(std::size_t count) { pxNative::inspect::limitQueuedInput(count); }

}  // namespace pxHeadless
