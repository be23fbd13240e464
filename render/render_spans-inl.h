// Row spans: the culling boxes of FlatScene cut down, once per image row, to
// the columns they cover, so that most vectors learn with two comparisons
// that nothing is to be tested.
//
// One unit of the SIMD frame renderer, included by render_simd.cpp and by the
// units that build on it, and compiled once per instruction set: Highway's
// foreach_target includes render_simd.cpp again for each target, hence the
// per-target include guard. Only that one translation unit includes it, so its
// functions keep internal linkage (the anonymous namespace), as they would in
// one file: the compiler inlines what is called from one place.

#include <cmath>
#include <cstdint>

#include "render/flat_scene.h"
#include "scene/tracer.h"

// Per-target include guard.
#if defined(GLINTWORKS_SCENE_RENDER_SPANS_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef GLINTWORKS_SCENE_RENDER_SPANS_INL_H_
#undef GLINTWORKS_SCENE_RENDER_SPANS_INL_H_
#else
#define GLINTWORKS_SCENE_RENDER_SPANS_INL_H_
#endif

#include "hwy/highway.h"
#include "render/render_lanes-inl.h"

HWY_BEFORE_NAMESPACE();
namespace glintworks {
namespace HWY_NAMESPACE {
namespace {

// The spheres (bit j for position j in the sphere arrays) whose test may
// report something for the vector's pixels: those whose box meets them, and
// every sphere beyond the culled ones. `inRow` holds the culled spheres whose
// box meets the vector's row (see RowSpans); only their columns are asked.
HWY_INLINE std::uint64_t SpheresMeeting(const FlatScene& flat, const PixelBox* boxes, std::uint32_t inRow,
                                        const Place& place) {
    const std::int32_t culled = culledSpheres(flat);
    std::uint64_t spheres = AllSpheres(flat) & ~((std::uint64_t{1} << culled) - 1);
    for (; inRow != 0; inRow &= inRow - 1) {
        const std::int32_t j = LowestBit(inRow);
        if (place.x1 >= boxes[j].x0 && place.x0 <= boxes[j].x1) spheres |= std::uint64_t{1} << j;
    }
    return spheres;
}

// Columns x0 to x1 of an image row; empty where x0 > x1.
struct Span {
    std::int32_t x0 = 1, x1 = 0;
};

HWY_INLINE bool SpanMeets(const Span& span, const Place& place) { return place.x1 >= span.x0 && place.x0 <= span.x1; }

// Widens the span to hold the columns of the box in row y; returns whether
// the box meets the row.
HWY_INLINE bool Widen(Span& span, const PixelBox& box, std::int32_t y) {
    if (y < box.y0 || y > box.y1 || box.x0 > box.x1) return false;
    if (span.x0 > span.x1) {
        span.x0 = box.x0;
        span.x1 = box.x1;
        return true;
    }
    span.x0 = box.x0 < span.x0 ? box.x0 : span.x0;
    span.x1 = box.x1 > span.x1 ? box.x1 : span.x1;
    return true;
}

// The columns of one image row that any culling box of a kind meets: `eye`,
// where an eye ray may meet a sphere; plane[p][tier], for vectors whose lanes
// all met cull plane p within that tier's reach, where a shadow ray or a
// mirrored ray may meet a sphere or a highlight may reach a whole unit.
// Worked out once per row, so that most vectors learn with two comparisons
// that nothing is to be tested; only the others look at the boxes one by one.
struct RowSpans {
    Span eye;
    Span plane[kCullPlanes][kCullTiers];
    // The culled spheres (bit j for position j) whose box of each kind meets
    // the row: eye boxes, and for cull plane p and tier the mirror boxes and
    // the shadow boxes of each culled light.
    std::uint32_t eyeBoxes;
    std::uint32_t mirrorBoxes[kCullPlanes][kCullTiers];
    std::uint32_t shadowBoxes[kCullPlanes][kCullTiers][kCullLights];
    // No eye ray of the row can meet any plane: each plane has a normal along
    // y or z, and the sign of the hit distance's denominator, the normal's
    // component times the row's direction component (scaled by a positive
    // factor), is never that of the shared numerator. Outside `eye` the
    // pixels of such a row are black.
    bool noPlane;
};

// Whether no eye ray of image row y can meet plane j (see RowSpans).
bool RowMissesPlane(const FlatScene& flat, std::int32_t y, std::int32_t j) {
    const float shared = flat.eyeNumerator[j];
    if (!(shared > 0.0f) && !(shared < 0.0f)) return true;
    const float nx = flat.planeNx[j], ny = flat.planeNy[j], nz = flat.planeNz[j];
    float along;  // the normal's one component times the row's direction component
    if (nx == 0.0f && nz == 0.0f && std::isfinite(ny)) {
        along = ny * (static_cast<float>(y) - flat.eye.y);
    } else if (nx == 0.0f && ny == 0.0f && std::isfinite(nz)) {
        along = nz * (0.0f - flat.eye.z);
    } else {
        return false;
    }
    return shared > 0.0f ? !(along > 0.0f) : !(along < 0.0f);
}

void SpansOfRow(const FlatScene& flat, std::int32_t y, RowSpans& row) {
    row.noPlane = true;
    for (std::int32_t j = 0; j < flat.planeCount && row.noPlane; ++j) row.noPlane = RowMissesPlane(flat, y, j);
    const Span everything{-(1 << 30), 1 << 30};
    const std::int32_t culled = culledSpheres(flat);
    row.eye = Span{};
    if (flat.sphereCount > kCullSpheres) row.eye = everything;
    row.eyeBoxes = 0;
    for (std::int32_t j = 0; j < culled; ++j) row.eyeBoxes |= std::uint32_t{Widen(row.eye, flat.eyeBox[j], y)} << j;
    // No vector of a row whose eye rays meet no plane is on a plane.
    for (std::int32_t p = 0; p < flat.cullPlaneCount && !row.noPlane; ++p) {
        const bool mirrored = flat.traceDepth > 1 && !(flat.reflection[flat.planeIndex[p]] < kMinCoefficient);
        for (std::int32_t tier = 0; tier < kCullTiers; ++tier) {
            Span& span = row.plane[p][tier];
            span = Span{};
            const std::int32_t lights = culledLights(flat);
            for (std::int32_t k = 0; k < lights; ++k) {
                Widen(span, flat.highlightBox[p][k], y);
                std::uint32_t& inRow = row.shadowBoxes[p][tier][k];
                inRow = 0;
                for (std::int32_t j = 0; j < culled; ++j) {
                    inRow |= std::uint32_t{Widen(span, flat.shadowBox[p][tier][k][j], y)} << j;
                }
            }
            std::uint32_t& inRow = row.mirrorBoxes[p][tier];
            inRow = 0;
            for (std::int32_t j = 0; j < culled && mirrored; ++j) {
                inRow |= std::uint32_t{Widen(span, flat.mirrorBox[p][tier][j], y)} << j;
            }
            // Spheres and lights beyond the culled ones are tested wherever
            // the vectors are.
            if (flat.sphereCount > kCullSpheres || flat.lightCount > kCullLights) span = everything;
        }
    }
}

}  // namespace
}  // namespace HWY_NAMESPACE
}  // namespace glintworks
HWY_AFTER_NAMESPACE();

#endif  // per-target include guard
