#include "app/clock.h"

#include "platform/win32.h"

double countsToMilliseconds(std::int64_t counter, std::int64_t frequency) {
    // Whole seconds and the remainder separately: remainder x 1000 stays below
    // frequency x 1000, which fits in 64 bits for any real counter frequency.
    const std::int64_t seconds = counter / frequency;
    const std::int64_t rest = counter % frequency;
    return static_cast<double>(seconds) * 1000.0 + static_cast<double>(rest * 1000) / static_cast<double>(frequency);
}

double millisecondsNow() {
    // Read once: the frequency stays constant while the system runs.
    static const std::int64_t frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<std::int64_t>(f.QuadPart);
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return countsToMilliseconds(counter.QuadPart, frequency);
}
