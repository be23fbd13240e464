// Timings of the tracer and of both frame renderers on the default scene, on
// one thread. The SIMD target of the fast path is recorded in the context
// ("simd_target") and in each fast benchmark's label; fastFrameTarget runs the
// fast path at 1920x1080 with each target this CPU offers, best first.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bench/frame.h"
#include "scene/default_scene.h"
#include "render/render.h"
#include "scene/tracer.h"

namespace {

using glintworks::ImageRows;
using glintworks::Scene;

void tracePixel(benchmark::State& state) {
    const Scene scene = glintworks::makeDefaultScene();
    std::int32_t x = 0, y = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(glintworks::tracePixel(scene, x, y));
        if (++x == 320) {
            x = 0;
            if (++y == 240) y = 0;
        }
    }
    // The same counters as the frames, so that every row of a CSV report has them.
    state.counters["pixels"] = 1;
}

template <void (*render)(const Scene&, const ImageRows&)>
void frame(benchmark::State& state) {
    const Scene scene = glintworks::makeDefaultScene();
    Frame frame(static_cast<std::int32_t>(state.range(0)), static_cast<std::int32_t>(state.range(1)));
    for (auto _ : state) {
        render(scene, frame.rows);
        benchmark::DoNotOptimize(frame.memory.data());
        benchmark::ClobberMemory();
    }
    state.counters["pixels"] = static_cast<double>(state.range(0) * state.range(1));
}

void literalFrame(benchmark::State& state) { frame<glintworks::renderImageLiteral>(state); }

void fastFrame(benchmark::State& state) {
    frame<glintworks::renderImage>(state);
    state.SetLabel(glintworks::renderTargetName());
}

void frameSizes(benchmark::internal::Benchmark* b) {
    b->Args({320, 240})->Args({1280, 720})->Args({1920, 1080})->Args({3840, 2160});
    b->ArgNames({"w", "h"})->Unit(benchmark::kMillisecond);
}

BENCHMARK(tracePixel);
BENCHMARK(literalFrame)->Apply(frameSizes);
BENCHMARK(fastFrame)->Apply(frameSizes);

// The fast path restricted to target `index` of the renderer's list.
void fastFrameWithTarget(benchmark::State& state, int index) {
    glintworks::setRenderTargetForTest(index);
    frame<glintworks::renderImage>(state);
    state.SetLabel(glintworks::renderTargetName());
    glintworks::setRenderTargetForTest(-1);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::AddCustomContext("simd_target", glintworks::renderTargetName());
    for (int index = 0; index < glintworks::renderTargetCount(); ++index) {
        const std::string name = std::string("fastFrameTarget/") + glintworks::renderTargetNameAt(index);
        benchmark::RegisterBenchmark(name.c_str(), fastFrameWithTarget, index)
            ->Args({1920, 1080})
            ->ArgNames({"w", "h"})
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
