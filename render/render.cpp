// Whole frames: the choice between the fast path, for scenes that flatten
// (flatten.cpp; the SIMD renderer in render_simd.cpp, whose top says which
// path each vector then takes), and the literal loop, for every other scene.

#include "render/render.h"

#include <cstddef>

#include "render/flatten.h"
#include "scene/tracer.h"

namespace glintworks {

void renderImageLiteral(const Scene& scene, const ImageRows& image) {
    if (image.pixels == nullptr) return;
    for (std::int32_t y = 0; y < image.height; ++y) {
        const std::int32_t row = image.bottomUp ? image.height - 1 - y : y;
        std::uint8_t* out = image.pixels + static_cast<std::ptrdiff_t>(row) * image.stride;
        for (std::int32_t x = 0; x < image.width; ++x, out += 4) {
            const Pixel c = tracePixel(scene, x, y);
            out[0] = c.b;
            out[1] = c.g;
            out[2] = c.r;
        }
    }
}

void renderImage(const Scene& scene, const ImageRows& image) {
    if (image.pixels == nullptr) return;
    // On the stack: about 47 KB (see FlatScene), filled anew for every frame.
    FlatScene flat;
    if (!flattenScene(scene, flat)) {
        renderImageLiteral(scene, image);
        return;
    }
    renderFlatScene(flat, image);
}

}  // namespace glintworks
