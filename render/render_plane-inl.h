// The lean paths of vectors whose lanes all met one cull plane with their eye
// rays (most of a picture with a floor): the operations of the general light
// loop less those whose result is known, and, where no culling box of the
// plane meets the vector, its lights and mirrored rays in one pass.
//
// One unit of the SIMD frame renderer, included by render_simd.cpp and by the
// units that build on it, and compiled once per instruction set: Highway's
// foreach_target includes render_simd.cpp again for each target, hence the
// per-target include guard. Only that one translation unit includes it, so its
// functions keep internal linkage (the anonymous namespace), as they would in
// one file: the compiler inlines what is called from one place.

#include <cstddef>
#include <cstdint>

#include "render/flat_scene.h"
#include "scene/tracer.h"

// Per-target include guard.
#if defined(GLINTWORKS_SCENE_RENDER_PLANE_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef GLINTWORKS_SCENE_RENDER_PLANE_INL_H_
#undef GLINTWORKS_SCENE_RENDER_PLANE_INL_H_
#else
#define GLINTWORKS_SCENE_RENDER_PLANE_INL_H_
#endif

#include "hwy/highway.h"
#include "render/render_lanes-inl.h"
#include "render/render_spans-inl.h"
#include "render/render_chunk-inl.h"
#include "render/render_intersect-inl.h"
#include "render/render_surface-inl.h"
#include "render/render_shade-inl.h"

HWY_BEFORE_NAMESPACE();
namespace glintworks {
namespace HWY_NAMESPACE {
namespace {

// N . L for the unit normal N of cull plane p. Along an axis (see
// FlatScene::cullPlaneAxis) the other two products are zeros, which change a
// non-zero sum not at all, so N . L is the one product wherever it is not 0;
// where it is 0 the light is skipped either way.
//
// kAxis is the axis when it is known where the code is compiled, kAnyAxis
// where cullPlaneAxis is to be asked.
constexpr int kAnyAxis = -2;

template <int kAxis>
HWY_INLINE VF PlaneCosine(const FlatScene& flat, std::int32_t p, VF nx, VF ny, VF nz, VF lx, VF ly, VF lz) {
    const int axis = kAxis == kAnyAxis ? flat.cullPlaneAxis[p] : kAxis;
    switch (axis) {
    case 0: return hn::Mul(nx, lx);
    case 1: return hn::Mul(ny, ly);
    case 2: return hn::Mul(nz, lz);
    default: return Dot(nx, ny, nz, lx, ly, lz);
    }
}
// Diffuse light of light k for lanes of `shade` that met cull plane p with
// their eye rays, so that their weight is 1, where no lane's highlight can
// reach a whole unit: the operations of AddLight less those whose result is
// known (products with the weight 1, the highlight that adds 0). Only the
// spheres of `shadowSpheres` can block. Adds +0 to the sums of unlit lanes,
// which leaves them as they are (a sum is never -0).
//
// kAxis as for PlaneCosine; without kMayShadow the caller knows that nothing
// can block the light (no sphere to test and no other plane).
template <int kAxis, bool kMayShadow>
HWY_INLINE void AddPlaneLight(const FlatScene& flat, std::int32_t k, std::int32_t p, std::uint64_t shadowSpheres,
                              MF shade, VF px, VF py, VF pz, VF& sumB, VF& sumG, VF& sumR) {
    const DF df;
    const DI di;
    const std::int32_t index = flat.planeIndex[p];
    const VF zero = hn::Zero(df);
    VF lx, ly, lz, d2, dist;
    TowardLightOf(flat, k, px, py, pz, lx, ly, lz, d2, dist);
    const VF nl = PlaneCosine<kAxis>(flat, p, hn::Set(df, flat.unitNx[index]), hn::Set(df, flat.unitNy[index]),
                                     hn::Set(df, flat.unitNz[index]), lx, ly, lz);
    MF lit = MaskAndNot(MaskOr(hn::Eq(d2, zero), hn::Le(nl, zero)), shade);
    if (kMayShadow && (shadowSpheres != 0 || flat.planeCount > 1)) {
        if (None(lit)) return;
        lit = Unshadowed<true>(flat, k, shadowSpheres, PlanesBut(flat, p), hn::Set(di, index), px, py, pz, lit, lx, ly,
                               lz, dist);
    }
    // nl x 1 is nl, and so is nl x a white light's 1, bit for bit.
    VF diffuseB = nl, diffuseG = nl, diffuseR = nl;
    if (!flat.lightWhite[k]) {
        diffuseB = hn::Mul(nl, hn::Set(df, flat.lightB[k]));
        diffuseG = hn::Mul(nl, hn::Set(df, flat.lightG[k]));
        diffuseR = hn::Mul(nl, hn::Set(df, flat.lightR[k]));
    }
    sumB = hn::Add(sumB, hn::IfThenElseZero(lit, hn::Mul(diffuseB, hn::Set(df, flat.colorB[index]))));
    sumG = hn::Add(sumG, hn::IfThenElseZero(lit, hn::Mul(diffuseG, hn::Set(df, flat.colorG[index]))));
    sumR = hn::Add(sumR, hn::IfThenElseZero(lit, hn::Mul(diffuseR, hn::Set(df, flat.colorR[index]))));
}

// Light k for the vectors of the chunk listed in `vectors`, whose shaded
// lanes all met cull plane p with their eye rays. The shadow and highlight
// boxes of the plane decide which spheres are tested and whether the
// highlight is worked out; where it is, the vector takes the general path.
void ShadePlaneVectors(const FlatScene& flat, const RowSpans& row, std::int32_t k, std::int32_t p, std::int32_t y,
                       std::int32_t x0, const std::size_t* vectors, std::size_t count, Chunk& c) {
    const DF df;
    for (std::size_t n = 0; n < count; ++n) {
        const std::size_t v = vectors[n];
        const std::size_t i = v * LaneCount();
        const Place place = PlaceOfVector(y, x0, i);
        std::uint64_t shadowSpheres = AllSpheres(flat);
        bool mayHighlight = true;
        if (k < kCullLights) {
            const std::int32_t tier = c.tier[v];
            shadowSpheres = SpheresMeeting(flat, flat.shadowBox[p][tier][k], row.shadowBoxes[p][tier][k], place);
            mayHighlight = boxMeetsRow(flat.highlightBox[p][k], place.y, place.x0, place.x1);
        }
        if (mayHighlight) {
            AddLightOfVector(flat, k, shadowSpheres, PlanesBut(flat, p), c, v);
            continue;
        }
        VF sumB = hn::Load(df, c.sumB + i);
        VF sumG = hn::Load(df, c.sumG + i);
        VF sumR = hn::Load(df, c.sumR + i);
        AddPlaneLight<kAnyAxis, true>(flat, k, p, shadowSpheres, LoadMask(c.shade + i), hn::Load(df, c.ox + i),
                                      hn::Load(df, c.oy + i), hn::Load(df, c.oz + i), sumB, sumG, sumR);
        hn::Store(sumB, df, c.sumB + i);
        hn::Store(sumG, df, c.sumG + i);
        hn::Store(sumR, df, c.sumR + i);
    }
}

// For vector v, whose lanes met cull plane p with their eye rays and whose
// pixels no culling box of the plane meets: every light as ShadePlaneVectors
// shades it, with the point and sums in registers, then the mirrored rays'
// plane tests as IntersectChunk makes them. Returns true when no lane has a
// further segment, and the vector is then finished; otherwise IntersectChunk
// goes on with it as with any other vector on the plane.
//
// Compiled for each axis of the plane and for whether another plane could
// block a light, so that the light loop holds only the work that is needed.
template <int kAxis, bool kOtherPlanes>
bool ShadeAndMirrorOnPlaneOf(const FlatScene& flat, std::int32_t p, Chunk& c, std::size_t v) {
    const DF df;
    const DI di;
    const std::size_t i = v * LaneCount();
    const MF shade = LoadMask(c.shade + i);
    const VF px = hn::Load(df, c.ox + i);
    const VF py = hn::Load(df, c.oy + i);
    const VF pz = hn::Load(df, c.oz + i);
    VF sumB = hn::Load(df, c.sumB + i);
    VF sumG = hn::Load(df, c.sumG + i);
    VF sumR = hn::Load(df, c.sumR + i);
    for (std::int32_t k = 0; k < flat.lightCount; ++k) {
        AddPlaneLight<kAxis, kOtherPlanes>(flat, k, p, 0, shade, px, py, pz, sumB, sumG, sumR);
    }
    hn::Store(sumB, df, c.sumB + i);
    hn::Store(sumG, df, c.sumG + i);
    hn::Store(sumR, df, c.sumR + i);
    if (flat.traceDepth > 1) {
        VF coefficient, rx, ry, rz;
        MF active;
        Reflect(flat, c, v, shade, coefficient, active, rx, ry, rz);
        if (!None(active)) {
            VF nearest = hn::Set(df, kFarDistance);
            VI hit = hn::Set(di, -1);
            NearestHit<false>(flat, 0, active, px, py, pz, rx, ry, rz, nearest, hit);
            if (!None(MaskAnd(active, IntMask(hn::Gt(hit, hn::Set(di, -1)))))) return false;
        }
    }
    return true;
}

HWY_INLINE bool ShadeAndMirrorOnPlane(const FlatScene& flat, std::int32_t p, Chunk& c, std::size_t v) {
    const bool others = flat.planeCount > 1;
    switch (flat.cullPlaneAxis[p]) {
    case 0:
        return others ? ShadeAndMirrorOnPlaneOf<0, true>(flat, p, c, v)
                      : ShadeAndMirrorOnPlaneOf<0, false>(flat, p, c, v);
    case 1:
        return others ? ShadeAndMirrorOnPlaneOf<1, true>(flat, p, c, v)
                      : ShadeAndMirrorOnPlaneOf<1, false>(flat, p, c, v);
    case 2:
        return others ? ShadeAndMirrorOnPlaneOf<2, true>(flat, p, c, v)
                      : ShadeAndMirrorOnPlaneOf<2, false>(flat, p, c, v);
    default:
        return others ? ShadeAndMirrorOnPlaneOf<-1, true>(flat, p, c, v)
                      : ShadeAndMirrorOnPlaneOf<-1, false>(flat, p, c, v);
    }
}

}  // namespace
}  // namespace HWY_NAMESPACE
}  // namespace glintworks
HWY_AFTER_NAMESPACE();

#endif  // per-target include guard
