// Shading: shadows, diffuse light and highlights of each light, added to the
// sums of a vector's lanes; and the light loop of a vector whatever it hit.
//
// One unit of the SIMD frame renderer, included by render_simd.cpp and by the
// units that build on it, and compiled once per instruction set: Highway's
// foreach_target includes render_simd.cpp again for each target, hence the
// per-target include guard. Only that one translation unit includes it, so its
// functions keep internal linkage (the anonymous namespace), as they would in
// one file: the compiler inlines what is called from one place.

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "render/flat_scene.h"
#include "scene/tracer.h"

// Per-target include guard.
#if defined(GLINTWORKS_SCENE_RENDER_SHADE_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef GLINTWORKS_SCENE_RENDER_SHADE_INL_H_
#undef GLINTWORKS_SCENE_RENDER_SHADE_INL_H_
#else
#define GLINTWORKS_SCENE_RENDER_SHADE_INL_H_
#endif

#include "hwy/highway.h"
#include "render/render_lanes-inl.h"
#include "render/render_chunk-inl.h"
#include "render/render_intersect-inl.h"
#include "render/render_surface-inl.h"

HWY_BEFORE_NAMESPACE();
namespace glintworks {
namespace HWY_NAMESPACE {
namespace {

// Whether any primitive but the hit one has a hit strictly between each lit
// lane's point and light k; returns the lanes that stay lit. Only the spheres
// and planes (bits as in allSpheres and allPlanes) of `spheres` and `planes`
// can block. Which primitive blocks does not matter, so spheres are tested
// before planes and the scan stops once every lane is blocked.
//
// With kOneHit, every lane of `lit` hit one primitive, which is among neither
// `spheres` nor `planes`, so that every lane tests them all; otherwise each
// lane leaves out the primitive `hit` names.
template <bool kOneHit>
HWY_INLINE MF Unshadowed(const FlatScene& flat, std::int32_t k, std::uint64_t spheres, std::uint64_t planes, VI hit,
                         VF px, VF py, VF pz, MF lit, VF lx, VF ly, VF lz, VF dist) {
    const DF df;
    const DI di;
    const VF zero = hn::Zero(df);
    const VF sphereMin = hn::Set(df, 0.001f);
    for (; spheres != 0; spheres &= spheres - 1) {
        const std::int32_t j = LowestBit(spheres);
        MF other = kOneHit ? lit : MaskAndNot(IntMask(hn::Eq(hit, hn::Set(di, flat.sphereIndex[j]))), lit);
        if (flat.shadowReach[k][j] > 0.0f) {
            // A culling test only, with a margin far above its own rounding:
            // fused operations are welcome here.
            const VF along = hn::MulAdd(
                lz, hn::Set(df, flat.shadowAxisZ[k][j]),
                hn::MulAdd(ly, hn::Set(df, flat.shadowAxisY[k][j]), hn::Mul(lx, hn::Set(df, flat.shadowAxisX[k][j]))));
            const MF outside = MaskAnd(hn::Gt(along, hn::Set(df, flat.shadowLimit[k][j])),
                                       hn::Lt(dist, hn::Set(df, flat.shadowReach[k][j])));
            other = MaskAndNot(outside, other);
        }
        if (None(other)) continue;
        const VF vx = hn::Sub(hn::Set(df, flat.sphereX[j]), px);
        const VF vy = hn::Sub(hn::Set(df, flat.sphereY[j]), py);
        const VF vz = hn::Sub(hn::Set(df, flat.sphereZ[j]), pz);
        const VF b = Dot(vx, vy, vz, lx, ly, lz);
        const MF ahead = MaskAnd(other, hn::Gt(b, sphereMin));
        if (None(ahead)) continue;
        const VF vv = Dot(vx, vy, vz, vx, vy, vz);
        const VF disc = hn::Add(hn::Sub(hn::Set(df, flat.radiusSquared[j]), vv), hn::Mul(b, b));
        const MF candidate = MaskAnd(ahead, hn::Gt(disc, zero));
        if (None(candidate)) continue;
        const VF t = hn::Sub(b, hn::Sqrt(disc));
        const MF blocked = MaskAnd(candidate, MaskAnd(hn::Gt(t, sphereMin), hn::Lt(t, dist)));
        lit = MaskAndNot(blocked, lit);
        if (None(lit)) return lit;
    }
    for (; planes != 0; planes &= planes - 1) {
        const std::int32_t j = LowestBit(planes);
        const MF other = kOneHit ? lit : MaskAndNot(IntMask(hn::Eq(hit, hn::Set(di, flat.planeIndex[j]))), lit);
        if (None(other)) continue;
        const VF denominator = PlaneDot(flat, j, lx, ly, lz);
        const VF numerator = hn::Neg(hn::Add(PlaneDot(flat, j, px, py, pz), hn::Set(df, flat.planeOffset[j])));
        const MF candidate = MaskAnd(other, SameSign(numerator, denominator));
        if (None(candidate)) continue;
        const VF t = hn::Div(numerator, denominator);
        const MF blocked = MaskAnd(candidate, MaskAnd(hn::Gt(t, zero), hn::Lt(t, dist)));
        lit = MaskAndNot(blocked, lit);
        if (None(lit)) return lit;
    }
    return lit;
}

// The lanes of `lit` whose highlight may reach a whole unit, so that pow must
// run for them. Everything else adds a truncated 0 in every channel.
HWY_INLINE MF MayHighlight(const FlatScene& flat, std::int32_t k, const Surface& s, MF lit, VF cosine, VF coefficient) {
    const DF df;
    const VF zero = hn::Zero(df);
    const VF one = hn::Set(df, 1.0f);
    // The threshold of the material and light (see highlightThreshold) holds
    // for weights of magnitude up to 1, which covers every segment of a scene
    // without reflections above 1.
    const MF belowThreshold = MaskAnd(hn::Lt(cosine, s.highlightBelow), hn::Le(hn::Abs(coefficient), one));
    const MF pending = MaskAndNot(belowThreshold, lit);
    if (None(pending)) return pending;
    // For 0 <= s < 1 and power p > 0, pow(s, p) <= exp(-p (1 - s))
    // <= 1 / (1 + x + x^2/2 + x^3/6) with x = p (1 - s). Where that bound
    // times |specular x coefficient x light| stays below 1 with a margin far
    // wider than the rounding of the products, every channel's truncated
    // highlight is 0. Everything else, NaN included, takes the exact path.
    // Only a bound, with a margin far above its rounding: fused operations
    // are welcome here.
    const VF x = hn::Mul(s.specularPower, hn::Sub(one, cosine));
    const VF series =
        hn::MulAdd(x, hn::MulAdd(x, hn::MulAdd(x, hn::Set(df, 1.0f / 6.0f), hn::Set(df, 0.5f)), one), one);
    const VF reach = hn::Mul(hn::Mul(hn::Abs(s.specular), hn::Abs(coefficient)), hn::Set(df, flat.lightMax[k]));
    const MF noHighlight = MaskAnd(MaskAnd(hn::Lt(cosine, one), hn::Gt(s.specularPower, zero)),
                                   hn::Lt(reach, hn::Mul(series, hn::Set(df, 0.9999f))));
    return MaskAndNot(noHighlight, pending);
}

// The truncated highlight of a light in each channel, per lane.
struct HighlightAdds {
    alignas(64) float b[kMaxLanes];
    alignas(64) float g[kMaxLanes];
    alignas(64) float r[kMaxLanes];
};

// The highlight of light k for the lanes of `highlight`, with the scalar power
// function; +0 in the other lanes. Kept out of line, and given only values,
// so that the common path around it keeps its vectors in registers.
HWY_NOINLINE void HighlightOf(const FlatScene& flat, std::int32_t k, MF highlight, VF cosine, VF specularPower,
                              VF specular, VF coefficient, HighlightAdds& adds) {
    const DF df;
    const VF zero = hn::Zero(df);
    alignas(64) float cosineLane[kMaxLanes], powerLane[kMaxLanes], specularLane[kMaxLanes], coefficientLane[kMaxLanes];
    hn::Store(cosine, df, cosineLane);
    hn::Store(specularPower, df, powerLane);
    hn::Store(specular, df, specularLane);
    hn::Store(coefficient, df, coefficientLane);
    hn::Store(zero, df, adds.b);
    hn::Store(zero, df, adds.g);
    hn::Store(zero, df, adds.r);
    // One bit a lane, eight lanes a byte.
    alignas(8) std::uint8_t bits[(kMaxLanes + 7) / 8] = {};
    hn::StoreMaskBits(df, highlight, bits);
    const std::size_t lanes = LaneCount();
    for (std::size_t lane = 0; lane < lanes; ++lane) {
        if ((bits[lane / 8] >> (lane % 8) & 1) == 0) continue;
        const float strength = std::pow(cosineLane[lane], powerLane[lane]) * specularLane[lane] * coefficientLane[lane];
        adds.b[lane] = std::trunc(strength * flat.lightB[k]);
        adds.g[lane] = std::trunc(strength * flat.lightG[k]);
        adds.r[lane] = std::trunc(strength * flat.lightR[k]);
    }
}

// The highlight of light k for the lanes of `highlight` added to the sums.
HWY_INLINE void AddHighlight(const FlatScene& flat, std::int32_t k, const Surface& s, MF highlight, VF cosine,
                             VF coefficient, VF& sumB, VF& sumG, VF& sumR) {
    const DF df;
    HighlightAdds adds;
    HighlightOf(flat, k, highlight, cosine, s.specularPower, s.specular, coefficient, adds);
    // Adding +0 leaves a sum unchanged: a sum is never -0.
    sumB = hn::Add(sumB, hn::Load(df, adds.b));
    sumG = hn::Add(sumG, hn::Load(df, adds.g));
    sumR = hn::Add(sumR, hn::Load(df, adds.r));
}

// The unit vector l from each lane's point to light k, the squared distance d2
// and the distance, as the tracer forms them.
HWY_INLINE void TowardLightOf(const FlatScene& flat, std::int32_t k, VF px, VF py, VF pz, VF& lx, VF& ly, VF& lz,
                              VF& d2, VF& dist) {
    const DF df;
    const VF lvx = hn::Sub(hn::Set(df, flat.lightX[k]), px);
    const VF lvy = hn::Sub(hn::Set(df, flat.lightY[k]), py);
    const VF lvz = hn::Sub(hn::Set(df, flat.lightZ[k]), pz);
    d2 = Dot(lvx, lvy, lvz, lvx, lvy, lvz);
    dist = hn::Sqrt(d2);
    const VF scale = hn::Div(hn::Set(df, 1.0f), dist);
    lx = hn::Mul(lvx, scale);
    ly = hn::Mul(lvy, scale);
    lz = hn::Mul(lvz, scale);
}

// Diffuse and highlight of light k added to the sums of each shaded lane that
// the light reaches, l being the vector towards it, d2 and dist its squared
// and plain distance (TowardLightOf). d is the
// direction of the segment's ray. Only the spheres and planes of
// `shadowSpheres` and `shadowPlanes` can block the light, and without
// `mayHighlight` no lane's highlight reaches the threshold. kOneHit as for
// Unshadowed.
template <bool kOneHit>
HWY_INLINE void AddLight(const FlatScene& flat, std::int32_t k, VF lx, VF ly, VF lz, VF d2, VF dist,
                         std::uint64_t shadowSpheres, std::uint64_t shadowPlanes, bool mayHighlight, const Surface& s,
                         VF dx, VF dy, VF dz, VF coefficient, VF& sumB, VF& sumG, VF& sumR) {
    const DF df;
    const VF zero = hn::Zero(df);
    const VF nl = Dot(s.nx, s.ny, s.nz, lx, ly, lz);
    // Skipped: the light on the hit point, or behind or in the surface.
    MF lit = MaskAndNot(MaskOr(hn::Eq(d2, zero), hn::Le(nl, zero)), s.shade);
    if (None(lit)) return;
    lit = Unshadowed<kOneHit>(flat, k, shadowSpheres, shadowPlanes, s.hit, s.px, s.py, s.pz, lit, lx, ly, lz, dist);
    if (None(lit)) return;

    const VF diffuse = hn::Mul(nl, coefficient);
    if (flat.lightWhite[k]) {
        // diffuse x 1 is diffuse, bit for bit.
        sumB = hn::Add(sumB, hn::IfThenElseZero(lit, hn::Mul(diffuse, s.colorB)));
        sumG = hn::Add(sumG, hn::IfThenElseZero(lit, hn::Mul(diffuse, s.colorG)));
        sumR = hn::Add(sumR, hn::IfThenElseZero(lit, hn::Mul(diffuse, s.colorR)));
    } else {
        sumB = hn::Add(sumB, hn::IfThenElseZero(lit, hn::Mul(hn::Mul(diffuse, hn::Set(df, flat.lightB[k])), s.colorB)));
        sumG = hn::Add(sumG, hn::IfThenElseZero(lit, hn::Mul(hn::Mul(diffuse, hn::Set(df, flat.lightG[k])), s.colorG)));
        sumR = hn::Add(sumR, hn::IfThenElseZero(lit, hn::Mul(hn::Mul(diffuse, hn::Set(df, flat.lightR[k])), s.colorR)));
    }

    if (!mayHighlight) return;
    // Highlight: R = L - 2 nl N, s = R . D clamped at 0. Mostly the cosine
    // is far below the threshold, and an estimate shows it: L . D - 2 nl
    // (N . D) is R . D rounded differently. An estimate only, checked with a
    // margin far above its rounding: fused operations are welcome here.
    const VF ld = hn::MulAdd(lz, dz, hn::MulAdd(ly, dy, hn::Mul(lx, dx)));
    const VF estimate = hn::NegMulAdd(nl, s.twiceNd, ld);
    if (None(MaskAndNot(MaskAnd(hn::Lt(estimate, s.highlightSure), s.unitWeight), lit))) return;
    const VF twiceNl = hn::Mul(hn::Set(df, 2.0f), nl);
    const VF rx = hn::Sub(lx, hn::Mul(twiceNl, s.nx));
    const VF ry = hn::Sub(ly, hn::Mul(twiceNl, s.ny));
    const VF rz = hn::Sub(lz, hn::Mul(twiceNl, s.nz));
    VF cosine = Dot(rx, ry, rz, dx, dy, dz);
    cosine = hn::IfThenZeroElse(Opaque(hn::Le(cosine, zero)), cosine);
    const MF highlight = MayHighlight(flat, k, s, lit, cosine, coefficient);
    if (None(highlight)) return;
    AddHighlight(flat, k, s, highlight, cosine, coefficient, sumB, sumG, sumR);
}

// AddLight for vector v of the chunk, on one plane, from its state in the
// chunk; the plane is not among `shadowPlanes`. Kept out of line: it is the
// rare case, and inlined it would crowd the registers of the loops around it.
HWY_NOINLINE void AddLightOfVector(const FlatScene& flat, std::int32_t k, std::uint64_t shadowSpheres,
                                   std::uint64_t shadowPlanes, Chunk& c, std::size_t v) {
    const DF df;
    const std::size_t i = v * LaneCount();
    // Only vectors on one plane come here (see ShadePlaneVectors).
    GLINTWORKS_SURFACE(s);
    LoadSurface<Hits::kOnePlane>(flat, c, v, k, LoadMask(c.shade + i), s);
    const VF dx = hn::Load(df, c.dx + i), dy = hn::Load(df, c.dy + i), dz = hn::Load(df, c.dz + i);
    const VF coefficient = hn::Load(df, c.coefficient + i);
    SetViewTerms(s, dx, dy, dz, coefficient);
    VF sumB = hn::Load(df, c.sumB + i);
    VF sumG = hn::Load(df, c.sumG + i);
    VF sumR = hn::Load(df, c.sumR + i);
    VF lx, ly, lz, d2, dist;
    TowardLightOf(flat, k, s.px, s.py, s.pz, lx, ly, lz, d2, dist);
    AddLight<true>(flat, k, lx, ly, lz, d2, dist, shadowSpheres, shadowPlanes, true, s, dx, dy, dz, coefficient, sumB,
                   sumG, sumR);
    hn::Store(sumB, df, c.sumB + i);
    hn::Store(sumG, df, c.sumG + i);
    hn::Store(sumR, df, c.sumR + i);
}

// Every light, in order, for vector v of the chunk, from its state in the
// chunk: AddLightOfVector for each, with the surface loaded once. On one of
// the culled spheres, only that sphere's shadowers are tested.
template <Hits kHits>
HWY_NOINLINE void AddLightsOfVector(const FlatScene& flat, Chunk& c, std::size_t v) {
    if (flat.lightCount == 0) return;
    const DF df;
    const std::size_t i = v * LaneCount();
    GLINTWORKS_SURFACE(s);
    LoadSurface<kHits>(flat, c, v, 0, LoadMask(c.shade + i), s);
    const VF dx = hn::Load(df, c.dx + i), dy = hn::Load(df, c.dy + i), dz = hn::Load(df, c.dz + i);
    const VF coefficient = hn::Load(df, c.coefficient + i);
    SetViewTerms(s, dx, dy, dz, coefficient);
    VF sumB = hn::Load(df, c.sumB + i);
    VF sumG = hn::Load(df, c.sumG + i);
    VF sumR = hn::Load(df, c.sumR + i);
    const std::int32_t j = kHits == Hits::kMixed ? -1 : c.soleHit[v];
    const std::int32_t slot = kHits == Hits::kOneSphere ? flat.sphereSlot[j] : -1;
    const bool culled = kHits == Hits::kOneSphere && slot < kCullSpheres;
    // Where every lane hit one primitive, no lane tests it.
    const std::uint64_t otherSpheres = kHits == Hits::kOneSphere ? SpheresBut(flat, slot) : AllSpheres(flat);
    const std::uint64_t otherPlanes = kHits == Hits::kOnePlane ? PlanesBut(flat, flat.planeSlot[j]) : flat.allPlanes;
    // Each light's vector is worked out a light ahead, so that its square
    // root and division overlap the shading of the light before.
    VF nextX, nextY, nextZ, nextD2, nextDist;
    TowardLightOf(flat, 0, s.px, s.py, s.pz, nextX, nextY, nextZ, nextD2, nextDist);
    for (std::int32_t k = 0; k < flat.lightCount; ++k) {
        const VF lx = nextX, ly = nextY, lz = nextZ, d2 = nextD2, dist = nextDist;
        if (k + 1 < flat.lightCount)
            TowardLightOf(flat, k + 1, s.px, s.py, s.pz, nextX, nextY, nextZ, nextD2, nextDist);
        if (k > 0) HighlightBelow<kHits>(flat, k, j, s);
        std::uint64_t spheres = otherSpheres, planes = otherPlanes;
        if (culled && k < kCullLights) {
            spheres = flat.sphereShadowers[c.tier[v]][k][slot];
            planes = flat.planeShadowers[c.tier[v]][k][slot];
        }
        AddLight<kHits != Hits::kMixed>(flat, k, lx, ly, lz, d2, dist, spheres, planes, true, s, dx, dy, dz,
                                        coefficient, sumB, sumG, sumR);
    }
    hn::Store(sumB, df, c.sumB + i);
    hn::Store(sumG, df, c.sumG + i);
    hn::Store(sumR, df, c.sumR + i);
}

}  // namespace
}  // namespace HWY_NAMESPACE
}  // namespace glintworks
HWY_AFTER_NAMESPACE();

#endif  // per-target include guard
