// One frame of the default scene per call, for bench/web_pair.js, which loads
// two builds of this module into one node process and times their frames in
// turn. On a shared machine whose load comes in bursts, two processes run at
// different moments can differ by more than a change gains; frames taken in
// turns within one process meet the same load.

#include <cstdint>
#include <cstring>
#include <memory>

#include <emscripten.h>

#include "bench/frame.h"
#include "render/render.h"
#include "scene/default_scene.h"

namespace {

struct Pair {
    glintworks::Scene scene = glintworks::makeDefaultScene();
    std::unique_ptr<Frame> frame;  // none until pair_setup
};

Pair& pair() {
    static Pair instance;
    return instance;
}

}  // namespace

// Frames of width x height with the SIMD target named, from now on. Returns
// 0, or -1 where the target is not offered.
extern "C" EMSCRIPTEN_KEEPALIVE int pair_setup(int width, int height, const char* target) {
    int index = -1;
    for (int i = 0; i < glintworks::renderTargetCount(); ++i) {
        if (std::strcmp(glintworks::renderTargetNameAt(i), target) == 0) index = i;
    }
    if (index < 0 || width < 1 || height < 1 || width > 16384 || height > 16384) return -1;
    glintworks::setRenderTargetForTest(index);
    pair().frame = std::make_unique<Frame>(width, height);
    return 0;
}

extern "C" EMSCRIPTEN_KEEPALIVE void pair_frame() {
    if (pair().frame) glintworks::renderImage(pair().scene, pair().frame->rows);
}

// A hash of the last frame's bytes, so that the two builds' pictures can be
// held to each other.
extern "C" EMSCRIPTEN_KEEPALIVE std::uint32_t pair_hash() {
    std::uint32_t hash = 2166136261u;
    if (!pair().frame) return hash;
    for (const std::uint8_t byte : pair().frame->memory) hash = (hash ^ byte) * 16777619u;
    return hash;
}
