// One frame of the default scene per call, for bench/web_pair.js, which loads
// two builds of this module into one node process and times their frames in
// turn. On a shared machine whose load comes in bursts, two processes run at
// different moments can differ by more than a change gains; frames taken in
// turns within one process meet the same load.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include <emscripten.h>

#include "render/render.h"
#include "scene/default_scene.h"

namespace {

struct Pair {
    glintworks::Scene scene = glintworks::makeDefaultScene();
    std::vector<std::uint8_t> memory;
    glintworks::ImageRows rows;
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
    Pair& p = pair();
    p.memory.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4, 0xFF);
    p.rows.pixels = p.memory.data();
    p.rows.width = width;
    p.rows.height = height;
    p.rows.stride = 4 * width;
    return 0;
}

extern "C" EMSCRIPTEN_KEEPALIVE void pair_frame() { glintworks::renderImage(pair().scene, pair().rows); }

// A hash of the last frame's bytes, so that the two builds' pictures can be
// held to each other.
extern "C" EMSCRIPTEN_KEEPALIVE std::uint32_t pair_hash() {
    std::uint32_t hash = 2166136261u;
    for (const std::uint8_t byte : pair().memory) hash = (hash ^ byte) * 16777619u;
    return hash;
}
