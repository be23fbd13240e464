// Renders frames of the default scene with the fast path and nothing else, so
// that a tool can count what a frame costs (scripts/bench-icount counts its
// instructions under valgrind).
//
//   glintworks_frames WIDTH HEIGHT FRAMES [TARGET]   render; TARGET as named below
//   glintworks_frames --targets                      the SIMD targets this CPU offers, best first

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "scene/default_scene.h"
#include "render/render.h"

namespace {

int usage() {
    std::fprintf(stderr, "usage: glintworks_frames WIDTH HEIGHT FRAMES [TARGET] | glintworks_frames --targets\n");
    return 2;
}

// A whole number in [1, limit], or 0.
long positive(const char* text, long limit) {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    return end != text && *end == '\0' && value >= 1 && value <= limit ? value : 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--targets") == 0) {
        for (int i = 0; i < glintworks::renderTargetCount(); ++i)
            std::printf("%s\n", glintworks::renderTargetNameAt(i));
        return 0;
    }
    if (argc != 4 && argc != 5) return usage();
    const long width = positive(argv[1], 16384), height = positive(argv[2], 16384), frames = positive(argv[3], 100000);
    if (width == 0 || height == 0 || frames == 0) return usage();
    if (argc == 5) {
        int index = -1;
        for (int i = 0; i < glintworks::renderTargetCount(); ++i) {
            if (std::strcmp(argv[4], glintworks::renderTargetNameAt(i)) == 0) index = i;
        }
        if (index < 0) {
            std::fprintf(stderr, "glintworks_frames: this CPU does not offer the target %s\n", argv[4]);
            return 1;
        }
        glintworks::setRenderTargetForTest(index);
    }
    const glintworks::Scene scene = glintworks::makeDefaultScene();
    std::vector<std::uint8_t> memory(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4, 0xFF);
    glintworks::ImageRows rows;
    rows.pixels = memory.data();
    rows.width = static_cast<std::int32_t>(width);
    rows.height = static_cast<std::int32_t>(height);
    rows.stride = static_cast<std::int32_t>(4 * width);
    for (long i = 0; i < frames; ++i) glintworks::renderImage(scene, rows);
    std::printf("%s\n", glintworks::renderTargetName());
    return 0;
}
