// Frame times of both renderers on the default scene, on one thread, measured
// with the steady clock (performance.now() under emscripten): the frame
// benchmark of the WebAssembly build, which Google Benchmark does not reach,
// and of the native build beside it (scripts/bench-web).
// Per frame size: the fast path with each SIMD target the renderer offers, and
// the literal loop, which is slow, for a third as many frames. The kinds take
// turns frame by frame, starting with a different one each round, so that a
// change in the machine's load falls on all of them alike; every ratio is
// taken within this one run. Prints the median and best frame of each kind.
//
//   glintworks_frame_times [FRAMES [TARGET...]]
//       FRAMES fast frames per target and size (default 21, at least 3), of
//       the targets named (default every one this CPU offers)

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bench/frame.h"
#include "scene/default_scene.h"
#include "render/render.h"

namespace {

using glintworks::ImageRows;
using glintworks::Scene;

// One way of rendering a frame, and the milliseconds each of its frames took.
struct Kind {
    int target;  // position in the renderer's target list; -1 for the literal loop
    std::vector<double> times;

    double median() const {
        std::vector<double> sorted = times;
        std::sort(sorted.begin(), sorted.end());
        const std::size_t n = sorted.size();
        return n % 2 == 1 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
    }
    double best() const { return *std::min_element(times.begin(), times.end()); }
};

double renderMilliseconds(const Scene& scene, const Kind& kind, const ImageRows& rows) {
    const auto start = std::chrono::steady_clock::now();
    if (kind.target < 0) {
        glintworks::renderImageLiteral(scene, rows);
    } else {
        glintworks::setRenderTargetForTest(kind.target);
        glintworks::renderImage(scene, rows);
    }
    const auto end = std::chrono::steady_clock::now();
    return std::chrono::duration<double, std::milli>(end - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    long frames = 21;
    char* end = nullptr;
    if (argc >= 2) frames = std::strtol(argv[1], &end, 10);
    if (argc >= 2 && (end == argv[1] || *end != '\0' || frames < 3 || frames > 10000)) {
        std::fprintf(stderr,
                     "usage: glintworks_frame_times [FRAMES [TARGET...]]   (fast frames per target and size, 3 to "
                     "10000)\n");
        return 2;
    }
    std::vector<int> chosen;
    for (int a = 2; a < argc; ++a) {
        int index = -1;
        for (int t = 0; t < glintworks::renderTargetCount(); ++t)
            if (std::strcmp(argv[a], glintworks::renderTargetNameAt(t)) == 0) index = t;
        if (index < 0) {
            std::fprintf(stderr, "glintworks_frame_times: this CPU does not offer the target %s\n", argv[a]);
            return 1;
        }
        chosen.push_back(index);
    }
    if (chosen.empty())
        for (int t = 0; t < glintworks::renderTargetCount(); ++t) chosen.push_back(t);
    const long literalFrames = (frames + 2) / 3;  // rounds 0, 3, 6, ...
    const Scene scene = glintworks::makeDefaultScene();

    std::printf(
        "Glintworks frames, one thread: median and best of %ld frames per SIMD target, %ld of the literal loop\n\n",
        frames, literalFrames);
    std::printf("%-11s %-14s %9s %9s %11s %9s %7s %7s\n", "size", "SIMD target", "fast ms", "best ms", "literal ms",
                "best ms", "ratio", "best");
    const std::int32_t sizes[][2] = {{320, 240}, {1920, 1080}};
    for (const auto& size : sizes) {
        Frame frame(size[0], size[1]);
        std::vector<Kind> kinds;
        kinds.push_back({-1, {}});
        for (int target : chosen) kinds.push_back({target, {}});
        // One frame of each first, which is not counted: the first call of a
        // WebAssembly function may compile it.
        for (const Kind& kind : kinds) renderMilliseconds(scene, kind, frame.rows);
        for (long round = 0; round < frames; ++round) {
            for (std::size_t i = 0; i < kinds.size(); ++i) {
                Kind& kind = kinds[(i + static_cast<std::size_t>(round)) % kinds.size()];
                if (kind.target < 0 && round % 3 != 0) continue;  // the literal loop every third round
                kind.times.push_back(renderMilliseconds(scene, kind, frame.rows));
            }
        }
        const Kind& literal = kinds[0];
        for (std::size_t i = 1; i < kinds.size(); ++i) {
            const Kind& fast = kinds[i];
            char name[24];
            std::snprintf(name, sizeof name, "%dx%d", size[0], size[1]);
            std::printf("%-11s %-14s %9.3f %9.3f %11.2f %9.2f %6.1fx %6.1fx\n", name,
                        glintworks::renderTargetNameAt(fast.target), fast.median(), fast.best(), literal.median(),
                        literal.best(), literal.median() / fast.median(), literal.best() / fast.best());
        }
    }
    glintworks::setRenderTargetForTest(-1);
    return 0;
}
