// Surface loading: what one segment met, per lane, as the light loop reads
// it: hit point, normal, material and the highlight thresholds of the light.
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
#if defined(GLINTWORKS_SCENE_RENDER_SURFACE_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef GLINTWORKS_SCENE_RENDER_SURFACE_INL_H_
#undef GLINTWORKS_SCENE_RENDER_SURFACE_INL_H_
#else
#define GLINTWORKS_SCENE_RENDER_SURFACE_INL_H_
#endif

#include "hwy/highway.h"
#include "render/render_lanes-inl.h"
#include "render/render_chunk-inl.h"
#include "render/render_intersect-inl.h"

HWY_BEFORE_NAMESPACE();
namespace glintworks {
namespace HWY_NAMESPACE {
namespace {

// What one ray segment met in each lane: hit point, unit normal, the scan
// index of the primitive and its material, and the highlight threshold of the
// light being shaded. `shade` holds the lanes that hit something with a usable
// normal. F, I and M are the types of its float, int and mask vectors.
template <class F, class I, class M>
struct SurfaceOf {
    F px, py, pz;
    F nx, ny, nz;
    I hit;
    // Where the lanes hit different primitives: how many, and the first
    // kHitList of them (see Chunk).
    std::int32_t hitCount;
    const std::int32_t* hitList;
    F colorB, colorG, colorR;
    F specular, specularPower;
    // The highlight thresholds of the light being shaded (HighlightBelow),
    // and for each the bound that an estimate of the cosine must stay below
    // to show the exact cosine below the threshold (see AddLight).
    F highlightBelow, highlightSure;
    // For that estimate, once per segment: 2 N . D for the segment's ray
    // direction D, and the lanes whose weight has magnitude at most 1.
    F twiceNd;
    M unitWeight;
    M shade;
};

// A Surface holds its vectors where their size is known where the code is
// compiled. An SVE vector, whose size only the CPU running the program knows,
// cannot be a member of a struct, but a reference to one can: there a Surface
// names vectors that GLINTWORKS_SURFACE declares beside it, and is read and
// filled as the other is. (A Surface of references on every target would do,
// but the compiler then arranges the fixed-size targets' light loops
// differently, a few instructions more.)
#undef GLINTWORKS_SURFACE
#if HWY_HAVE_SCALABLE
using Surface = SurfaceOf<VF&, VI&, MF&>;
#define GLINTWORKS_SURFACE(s)                                                                                  \
    VF s##Px, s##Py, s##Pz, s##Nx, s##Ny, s##Nz, s##B, s##G, s##R, s##Specular, s##Power, s##Below, s##Sure,   \
        s##TwiceNd;                                                                                            \
    VI s##Hit;                                                                                                 \
    MF s##UnitWeight, s##Shade;                                                                                \
    Surface s {                                                                                                \
        s##Px, s##Py, s##Pz, s##Nx, s##Ny, s##Nz, s##Hit, 0, nullptr, s##B, s##G, s##R, s##Specular, s##Power, \
            s##Below, s##Sure, s##TwiceNd, s##UnitWeight, s##Shade                                             \
    }
#else
using Surface = SurfaceOf<VF, VI, MF>;
#define GLINTWORKS_SURFACE(s) Surface s
#endif

// Fills the terms of s that depend on the segment's ray direction d and
// weight (see Surface).
HWY_INLINE void SetViewTerms(Surface& s, VF dx, VF dy, VF dz, VF coefficient) {
    const DF df;
    // An estimate only (see AddLight): fused operations are welcome here.
    const VF nd = hn::MulAdd(s.nz, dz, hn::MulAdd(s.ny, dy, hn::Mul(s.nx, dx)));
    s.twiceNd = hn::Add(nd, nd);
    s.unitWeight = hn::Le(hn::Abs(coefficient), hn::Set(df, 1.0f));
}

// The highlight thresholds of light k (highlightBelow and highlightSure) for
// the lanes of s.shade, into s: those of the primitive with scan index
// `soleHit` where they all hit it, otherwise those of each lane's s.hit.
template <Hits kHits>
HWY_INLINE void HighlightBelow(const FlatScene& flat, std::int32_t k, std::int32_t soleHit, Surface& s) {
    const DF df;
    const DI di;
    if (kHits != Hits::kMixed) {
        s.highlightBelow = hn::Set(df, flat.highlightBelow[k][soleHit]);
        s.highlightSure = hn::Set(df, flat.highlightSure[k][soleHit]);
        return;
    }
    if (s.hitCount <= kHitList) {
        // Each listed primitive's thresholds blended into the lanes that
        // hit it: far cheaper than gathers for the two or three there are.
        std::int32_t j = s.hitList[0];
        VF below = hn::Set(df, flat.highlightBelow[k][j]);
        VF sure = hn::Set(df, flat.highlightSure[k][j]);
        for (std::int32_t n = 1; n < s.hitCount; ++n) {
            j = s.hitList[n];
            const MF lanes = IntMask(hn::Eq(s.hit, hn::Set(di, j)));
            below = hn::IfThenElse(lanes, hn::Set(df, flat.highlightBelow[k][j]), below);
            sure = hn::IfThenElse(lanes, hn::Set(df, flat.highlightSure[k][j]), sure);
        }
        s.highlightBelow = below;
        s.highlightSure = sure;
        return;
    }
    const VI index = hn::IfThenElseZero(hn::RebindMask(di, s.shade), s.hit);
    s.highlightBelow = hn::GatherIndex(df, flat.highlightBelow[k], index);
    s.highlightSure = hn::GatherIndex(df, flat.highlightSure[k], index);
}

// The surface of vector v of the chunk as light k sees it, into s.
template <Hits kHits>
HWY_INLINE void LoadSurface(const FlatScene& flat, const Chunk& c, std::size_t v, std::int32_t k, MF shade,
                            Surface& s) {
    const DF df;
    const DI di;
    const std::size_t i = v * LaneCount();
    s.shade = shade;
    s.px = hn::Load(df, c.ox + i);
    s.py = hn::Load(df, c.oy + i);
    s.pz = hn::Load(df, c.oz + i);
    const std::int32_t j = kHits == Hits::kMixed ? -1 : c.soleHit[v];
    if (kHits == Hits::kOnePlane) {
        s.nx = hn::Set(df, flat.unitNx[j]);
        s.ny = hn::Set(df, flat.unitNy[j]);
        s.nz = hn::Set(df, flat.unitNz[j]);
    } else {
        s.nx = hn::Load(df, c.nx + i);
        s.ny = hn::Load(df, c.ny + i);
        s.nz = hn::Load(df, c.nz + i);
    }
    if (kHits != Hits::kMixed) {
        s.hit = hn::Set(di, j);
        s.colorB = hn::Set(df, flat.colorB[j]);
        s.colorG = hn::Set(df, flat.colorG[j]);
        s.colorR = hn::Set(df, flat.colorR[j]);
        s.specular = hn::Set(df, flat.specular[j]);
        s.specularPower = hn::Set(df, flat.specularPower[j]);
    } else {
        s.hit = hn::Load(di, c.hit + i);
        s.hitCount = c.hitCount[v];
        s.hitList = c.hitList[v];
        s.colorB = hn::Load(df, c.colorB + i);
        s.colorG = hn::Load(df, c.colorG + i);
        s.colorR = hn::Load(df, c.colorR + i);
        s.specular = hn::Load(df, c.specular + i);
        s.specularPower = hn::Load(df, c.specularPower + i);
    }
    HighlightBelow<kHits>(flat, k, j, s);
}

}  // namespace
}  // namespace HWY_NAMESPACE
}  // namespace glintworks
HWY_AFTER_NAMESPACE();

#endif  // per-target include guard
