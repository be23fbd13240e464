// What the headless backend's test controls read and set in the core: the
// hooks that no Win32 call offers.

#include <algorithm>

#include "platform/core/core.h"

namespace pxNative::inspect {

const Image* image(HWND window) {
    const Window* record = findWindow(window);
    return record == nullptr ? nullptr : &record->image;
}

std::vector<Timer> timers(HWND window) {
    std::vector<Timer> out;
    for (const Timer& timer : state().timers)
        if (timer.window == window) out.push_back(timer);
    std::sort(out.begin(), out.end(), [](const Timer& a, const Timer& b) { return a.id < b.id; });
    return out;
}

void failDibSections(int count) { state().dibFailures = std::max(count, 0); }

void limitQueuedInput(std::size_t count) { state().inputLimit = count > 0 ? count : kInputLimit; }

void limitDibSectionBytes(std::uint64_t bytes) {
    state().dibByteLimit = std::min<std::uint64_t>(bytes, State{}.dibByteLimit);
}

}  // namespace pxNative::inspect
