// How retrieval's cost grows with the messages waiting: N key events (presses
// and releases in turn) are queued at once through the headless backend, then
// taken out by the event loop's PeekMessageW / TranslateMessage /
// DispatchMessageW; the time per size (the least of five rounds), and its
// ratio to the first size, in one run. Proportional retrieval doubles the time with the count; a queue
// searched from its start for each message quadruples it.
//
//   glintworks_queue_drain [N...]   (default 10000 20000 40000 80000)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/headless/headless.h"
#include "px/pxWindow.h"

namespace {

double drainMs(int count) {
    pxHeadless::reset();
    // The bound on waiting input is raised, so that all of them wait.
    pxHeadless::limitQueuedInput(static_cast<std::size_t>(count) + 16);
    pxWindow window;
    if (window.create(10, 64, 320, 240) != 0) std::exit(1);
    pxHeadless::dispatchPending();
    for (int i = 0; i < count; ++i) (i % 2 == 0 ? pxHeadless::keyDown : pxHeadless::keyUp)(window.handle, 'A');
    const auto start = std::chrono::steady_clock::now();
    const int dispatched = pxHeadless::dispatchPending().dispatched;
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    // Each press also gives a WM_CHAR.
    if (dispatched != count + count / 2) {
        std::fprintf(stderr, "queue_drain: %d of %d messages came out\n", dispatched, count + count / 2);
        std::exit(1);
    }
    pxHeadless::reset();
    return ms;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i) counts.push_back(std::atoi(argv[i]));
    if (counts.empty()) counts = {10000, 20000, 40000, 80000};
    std::printf("%10s %12s %8s\n", "keys", "drain ms", "ratio");
    double first = 0;
    for (const int count : counts) {
        double ms = drainMs(count);
        for (int round = 1; round < 5; ++round) ms = std::min(ms, drainMs(count));
        if (first == 0) first = ms;
        std::printf("%10d %12.1f %8.2f\n", count, ms, ms / first);
    }
    return 0;
}
