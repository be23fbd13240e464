// The SIMD frame renderer: many pixels of a row traced side by side, one per
// vector lane, compiled once per instruction set and chosen at run time.
//
// Which path a vector takes, and why (the unit that holds it in brackets):
//
//   the scene has a primitive of another type than Sphere or Plane, or more
//   primitives or lights than fit
//       -> renderImageLiteral, one tracePixel per pixel (render.cpp): only
//          exact spheres and planes are flattened into a FlatScene
//   a chunk, or a vector of one, whose eye rays can meet nothing (no eye box
//   meets it and the row's eye rays miss every plane)
//       -> black at once (RenderFlat, StartChunk in chunk): nothing to trace
//   eye rays that no sphere's eye box meets, in a scene with one plane
//       -> EyeRaysOnOnlyPlane (intersect): one primitive, so no tie and no
//          vector of hit indices
//   every other ray: the eye rays, and each segment's mirrored rays
//       -> IntersectChunk (intersect): the spheres whose box meets the
//          vector, then the planes
//   shaded lanes that all met cull plane p with their eye rays, and no box
//   of the plane meets the vector
//       -> ShadeAndMirrorOnPlane (plane): every light without shadow or
//          highlight tests, then the mirrored rays' tests, which mostly
//          finish the vector there
//   shaded lanes that all met cull plane p, and some box of the plane meets
//   the vector
//       -> ShadePlaneVectors (plane), light by light: AddPlaneLight where
//          the light's highlight box misses the vector, AddLightOfVector
//          (shade) where it does not
//   every other vector with shaded lanes: one sphere, one plane or mixed
//       -> AddLightsOfVector<Hits> (shade): all lights in one call, loading
//          only what that kind of vector needs (surface)
//   every chunk, at the end
//       -> StoreChunk (chunk): the bytes, alpha kept
//
// The units, each compiled once per target through this file:
//   render_lanes-inl.h      vector types and lane helpers
//   render_spans-inl.h      culling boxes cut down to one image row
//   render_chunk-inl.h      a chunk's state, its eye rays and its store
//   render_intersect-inl.h  nearest hits, normals and materials
//   render_surface-inl.h    a segment's surface as the light loop reads it
//   render_shade-inl.h      shadows, diffuse light, highlights, light loops
//   render_plane-inl.h      the lean paths of vectors on a cull plane
// and here the step over a chunk's vectors and the frame loop. The choice of
// target at run time is in render_dispatch.cpp.
//
// Every lane performs exactly the float operations of tracePixel, in the same
// order (no fused multiply-add, correctly rounded square root and division), and
// takes exactly its decisions, so each pixel comes out bit for bit as the tracer
// gives it. What the lanes save is work whose result is known not to matter:
//   - a square root or division of an intersection test is skipped when no lane
//     can have a hit there (a sphere with no real root or a root behind the ray
//     start, a plane the ray runs away from);
//   - a sphere cannot shadow a point outside its shadow cone, and only the
//     spheres and planes that can come between a light and a sphere are
//     tested for points on that sphere (see FlatScene);
//   - a sphere is not tested at all for a vector whose pixels lie outside its
//     culling box (eye rays; mirrored rays, shadow rays and highlights of
//     vectors whose lanes all met one plane; see FlatScene), and a vector
//     whose eye rays can meet nothing is black at once;
//   - a vector whose lanes have all finished is skipped;
//   - the power function of the highlight, the one call that stays scalar, runs
//     only for lanes where the highlight can reach a whole unit (a threshold
//     per material and light, then a bound per lane), and the exact cosine is
//     formed only where a cheap estimate of it, with a wide margin, does not
//     show it below the threshold;
//   - products whose result is known bit for bit (by a weight of 1, by a white
//     light's 1, by the zero components of a normal along an axis) are not
//     formed.
// A row is cut into chunks of several vectors, and each step of the trace runs
// over all vectors of a chunk before the next step, so that the long square
// root and division latencies of neighbouring vectors and lights overlap.
// Vectors whose lanes all met one cull plane with their eye rays, most of a
// picture with a floor, take a lean path through the lights; the light loop
// of the others is compiled for each kind of vector (one sphere, one plane,
// different primitives).

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "render/render_simd.cpp"
#include "hwy/foreach_target.h"  // IWYU pragma: keep
#include "hwy/highway.h"

#include <cstddef>
#include <cstdint>

#include "render/flat_scene.h"
#include "render/render_lanes-inl.h"
#include "render/render_spans-inl.h"
#include "render/render_chunk-inl.h"
#include "render/render_intersect-inl.h"
#include "render/render_surface-inl.h"
#include "render/render_shade-inl.h"
#include "render/render_plane-inl.h"

HWY_BEFORE_NAMESPACE();
namespace glintworks {
namespace HWY_NAMESPACE {
namespace {

// Diffuse and highlight of every light, in order, for every shaded lane.
// Vectors whose lanes met a cull plane with their eye rays and whose pixels
// some box of the plane meets go through ShadePlaneVectors, light by light
// over all such vectors; every other vector takes all lights in one call,
// whose lights are independent work for the processor to overlap. Each lane
// adds its lights in scene order either way.
//
// Returns whether any vector still has shaded lanes, whose segments may go on.
bool ShadeChunk(const FlatScene& flat, const RowSpans& row, std::int32_t y, std::int32_t x0, Chunk& c) {
    const DF df;
    // The vectors on each cull plane that some box meets; the others are
    // shaded, and most of them finished, at once.
    std::size_t onPlane[kCullPlanes][kVectorsPerChunk];
    std::size_t onPlaneCount[kCullPlanes] = {};
    // And the other vectors with lanes to shade.
    std::size_t others[kVectorsPerChunk];
    std::size_t otherCount = 0;
    // Whether a vector on a cull plane has lanes that may go on.
    bool goesOn = false;
    for (std::size_t v = 0; v < kVectorsPerChunk; ++v) {
        const std::int32_t p = c.cullPlane[v];
        const std::size_t i = v * LaneCount();
        if (p < 0) {
            if (!None(LoadMask(c.shade + i))) others[otherCount++] = v;
            continue;
        }
        const Place place = PlaceOfVector(y, x0, i);
        if (SpanMeets(row.plane[p][c.tier[v]], place)) {
            onPlane[p][onPlaneCount[p]++] = v;
            goesOn = true;
        } else if (ShadeAndMirrorOnPlane(flat, p, c, v)) {
            c.cullPlane[v] = -1;
            StoreMask(hn::FirstN(df, 0), c.shade + i);
        } else {
            goesOn = true;
        }
    }
    for (std::int32_t k = 0; k < flat.lightCount; ++k) {
        for (std::int32_t p = 0; p < flat.cullPlaneCount; ++p) {
            const std::size_t count = onPlaneCount[p];
            if (count == 0) continue;
            ShadePlaneVectors(flat, row, k, p, y, x0, onPlane[p], count, c);
        }
    }
    for (std::size_t n = 0; n < otherCount; ++n) {
        const std::size_t v = others[n];
        switch (HitsOf(flat, c, v)) {
        case Hits::kMixed: AddLightsOfVector<Hits::kMixed>(flat, c, v); break;
        case Hits::kOneSphere: AddLightsOfVector<Hits::kOneSphere>(flat, c, v); break;
        case Hits::kOnePlane: AddLightsOfVector<Hits::kOnePlane>(flat, c, v); break;
        }
    }
    return goesOn || otherCount > 0;
}

}  // namespace

// Called through the dispatch (render_dispatch.cpp), which declares it.
void RenderFlat(const FlatScene& flat, const ImageRows& image) {
    Chunk chunk;
    RowSpans spans;
    const auto pixels = static_cast<std::int32_t>(LaneCount() * kVectorsPerChunk);
    for (std::int32_t y = 0; y < image.height; ++y) {
        SpansOfRow(flat, y, spans);
        const std::int32_t row = image.bottomUp ? image.height - 1 - y : y;
        std::uint8_t* rowStart = image.pixels + static_cast<std::ptrdiff_t>(row) * image.stride;
        for (std::int32_t x0 = 0; x0 < image.width; x0 += pixels) {
            // A chunk whose eye rays can meet nothing (see RowSpans) is black.
            const std::int32_t count = image.width - x0;
            if (spans.noPlane && !SpanMeets(spans.eye, Place{y, x0, x0 + pixels - 1})) {
                StoreBlack(count < pixels ? count : pixels, rowStart + 4 * static_cast<std::ptrdiff_t>(x0));
                continue;
            }
            StartChunk(flat, spans, x0, y, image.width, chunk);
            for (std::int32_t level = 0; level < flat.traceDepth; ++level) {
                const bool shaded = level == 0 ? IntersectChunk<true>(flat, spans, y, x0, chunk)
                                               : IntersectChunk<false>(flat, spans, y, x0, chunk);
                if (!shaded || !ShadeChunk(flat, spans, y, x0, chunk)) break;
            }
            StoreChunk(chunk, image.width - x0, rowStart + 4 * static_cast<std::ptrdiff_t>(x0));
        }
    }
}

}  // namespace HWY_NAMESPACE
}  // namespace glintworks
HWY_AFTER_NAMESPACE();
