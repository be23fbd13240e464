// Intersection: the nearest hit of each lane's ray, and the hit point, unit
// normal and material of what it hit, for every vector of a chunk.
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
#if defined(GLINTWORKS_SCENE_RENDER_INTERSECT_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef GLINTWORKS_SCENE_RENDER_INTERSECT_INL_H_
#undef GLINTWORKS_SCENE_RENDER_INTERSECT_INL_H_
#else
#define GLINTWORKS_SCENE_RENDER_INTERSECT_INL_H_
#endif

#include "hwy/highway.h"
#include "render/render_lanes-inl.h"
#include "render/render_spans-inl.h"
#include "render/render_chunk-inl.h"

HWY_BEFORE_NAMESPACE();
namespace glintworks {
namespace HWY_NAMESPACE {
namespace {

// The hit index of the first lane of `shade` (which holds at least one), in
// every lane.
HWY_INLINE VI FirstShaded(MF shade, VI hit) {
    const DI di;
    const auto lane = static_cast<std::int32_t>(FirstTrue(shade));
#if HWY_TARGET == HWY_WASM
    // A lane picked at run time: Highway's TableLookupLanes turns the lane
    // into byte indices for a swizzle, which V8 makes of several
    // instructions; one load from the stored vector is less.
    alignas(16) std::int32_t lanes[kMaxLanes];
    hn::Store(hit, di, lanes);
    return hn::Set(di, lanes[lane]);
#else
    return hn::TableLookupLanes(hit, hn::IndicesFromVec(di, hn::Set(di, lane)));
#endif
}

// The nearest hit of one vector of rays among the spheres, then the planes.
// Spheres are scanned first, each in scan order, and a plane takes over a tie
// only from a primitive later in scan order, so that the result is the lane's
// lowest scan index among its nearest hits, as the tracer's scan leaves it.
template <bool fromEye>
HWY_INLINE void NearestHit(const FlatScene& flat, std::uint64_t spheres, MF active, VF ox, VF oy, VF oz, VF dx, VF dy,
                           VF dz, VF& nearest, VI& hit) {
    const DF df;
    const DI di;
    const VF zero = hn::Zero(df);
    const VF sphereMin = hn::Set(df, 0.001f);
    for (; spheres != 0; spheres &= spheres - 1) {
        const std::int32_t j = LowestBit(spheres);
        VF b, disc;
        if (fromEye) {
            b = Dot(hn::Set(df, flat.eyeVx[j]), hn::Set(df, flat.eyeVy[j]), hn::Set(df, flat.eyeVz[j]), dx, dy, dz);
            disc = hn::Add(hn::Set(df, flat.eyeDiscBase[j]), hn::Mul(b, b));
        } else {
            const VF vx = hn::Sub(hn::Set(df, flat.sphereX[j]), ox);
            const VF vy = hn::Sub(hn::Set(df, flat.sphereY[j]), oy);
            const VF vz = hn::Sub(hn::Set(df, flat.sphereZ[j]), oz);
            b = Dot(vx, vy, vz, dx, dy, dz);
            // t = b - sqrt(disc) is at most b, so b <= 0.001 rules a hit out.
            if (None(MaskAnd(active, hn::Gt(b, sphereMin)))) continue;
            const VF vv = Dot(vx, vy, vz, vx, vy, vz);
            disc = hn::Add(hn::Sub(hn::Set(df, flat.radiusSquared[j]), vv), hn::Mul(b, b));
        }
        const MF candidate = MaskAnd(active, MaskAnd(hn::Gt(disc, zero), hn::Gt(b, sphereMin)));
        if (None(candidate)) continue;
        const VF t = hn::Sub(b, hn::Sqrt(disc));
        const MF nearer = MaskAnd(candidate, MaskAnd(hn::Gt(t, sphereMin), hn::Lt(t, nearest)));
        nearest = hn::IfThenElse(nearer, t, nearest);
        hit = hn::IfThenElse(hn::RebindMask(di, nearer), hn::Set(di, flat.sphereIndex[j]), hit);
    }
    for (std::int32_t j = 0; j < flat.planeCount; ++j) {
        const VF denominator = PlaneDot(flat, j, dx, dy, dz);
        VF numerator;
        MF candidate;
        if (fromEye) {
            // The numerator is the same for every eye ray; where it is zero or
            // NaN no quotient is above 0, elsewhere only its sign matters.
            const float shared = flat.eyeNumerator[j];
            if (!(shared > 0.0f) && !(shared < 0.0f)) continue;
            numerator = hn::Set(df, shared);
            candidate = MaskAnd(active, shared > 0.0f ? hn::Gt(denominator, zero) : hn::Lt(denominator, zero));
        } else {
            numerator = hn::Neg(hn::Add(PlaneDot(flat, j, ox, oy, oz), hn::Set(df, flat.planeOffset[j])));
            candidate = MaskAnd(active, SameSign(numerator, denominator));
        }
        if (None(candidate)) continue;
        const VF t = hn::Div(numerator, denominator);
        const VI index = hn::Set(di, flat.planeIndex[j]);
        const MF tie = MaskAnd(hn::Eq(t, nearest), IntMask(hn::Gt(hit, index)));
        const MF nearer = MaskAnd(candidate, MaskAnd(hn::Gt(t, zero), MaskOr(hn::Lt(t, nearest), tie)));
        nearest = hn::IfThenElse(nearer, t, nearest);
        hit = hn::IfThenElse(hn::RebindMask(di, nearer), index, hit);
    }
}

// Unit normals of a vector whose lanes hit the primitive with scan index j.
// normalOk is false where the normal has zero length.
HWY_INLINE void UniformNormal(const FlatScene& flat, std::int32_t j, VF px, VF py, VF pz, VF& nx, VF& ny, VF& nz,
                              MF& normalOk) {
    const DF df;
    if (flat.kind[j] == FlatScene::kSphere) {
        const std::int32_t slot = flat.sphereSlot[j];
        nx = hn::Sub(px, hn::Set(df, flat.sphereX[slot]));
        ny = hn::Sub(py, hn::Set(df, flat.sphereY[slot]));
        nz = hn::Sub(pz, hn::Set(df, flat.sphereZ[slot]));
        const VF nn = Dot(nx, ny, nz, nx, ny, nz);
        normalOk = hn::Not(hn::Eq(nn, hn::Zero(df)));
        const VF scale = hn::Div(hn::Set(df, 1.0f), hn::Sqrt(nn));
        nx = hn::Mul(nx, scale);
        ny = hn::Mul(ny, scale);
        nz = hn::Mul(nz, scale);
    } else {
        nx = hn::Set(df, flat.unitNx[j]);
        ny = hn::Set(df, flat.unitNy[j]);
        nz = hn::Set(df, flat.unitNz[j]);
        normalOk = hn::FirstN(df, flat.zeroNormal[j] == 0 ? LaneCount() : 0);
    }
}

// Unit normals and materials of the vector whose first lane is lane i of the
// chunk, whose lanes (those of `hitSomething`) hit different primitives; the
// materials go to the chunk.
// Each primitive's values are broadcast and blended into the lanes that hit
// it, one primitive at a time: there are seldom more than two or three, and
// blends cost far less than gathers. The normals of sphere lanes are then formed together.
HWY_INLINE void MixedSurface(const FlatScene& flat, MF hitSomething, VI hit, VF px, VF py, VF pz, VF& nx, VF& ny,
                             VF& nz, MF& normalOk, Chunk& c, std::size_t i) {
    const DF df;
    const DI di;
    const VF zero = hn::Zero(df);
    VF centreX = zero, centreY = zero, centreZ = zero;
    VF unitX = zero, unitY = zero, unitZ = zero;
    VF colorB = zero, colorG = zero, colorR = zero;
    VF specular = zero, specularPower = zero, reflection = zero;
    MF isPlane = hn::FirstN(df, 0), planeOk = hn::FirstN(df, 0);
    std::int32_t& count = c.hitCount[i / LaneCount()];
    count = 0;
    for (MF left = hitSomething; !None(left);) {
        const std::int32_t j = hn::GetLane(FirstShaded(left, hit));
        if (count < kHitList) c.hitList[i / LaneCount()][count] = j;
        ++count;
        const MF lanes = MaskAnd(left, IntMask(hn::Eq(hit, hn::Set(di, j))));
        left = MaskAndNot(lanes, left);
        if (flat.kind[j] == FlatScene::kPlane) {
            isPlane = MaskOr(isPlane, lanes);
            if (flat.zeroNormal[j] == 0) planeOk = MaskOr(planeOk, lanes);
            unitX = hn::IfThenElse(lanes, hn::Set(df, flat.unitNx[j]), unitX);
            unitY = hn::IfThenElse(lanes, hn::Set(df, flat.unitNy[j]), unitY);
            unitZ = hn::IfThenElse(lanes, hn::Set(df, flat.unitNz[j]), unitZ);
        } else {
            const std::int32_t slot = flat.sphereSlot[j];
            centreX = hn::IfThenElse(lanes, hn::Set(df, flat.sphereX[slot]), centreX);
            centreY = hn::IfThenElse(lanes, hn::Set(df, flat.sphereY[slot]), centreY);
            centreZ = hn::IfThenElse(lanes, hn::Set(df, flat.sphereZ[slot]), centreZ);
        }
        colorB = hn::IfThenElse(lanes, hn::Set(df, flat.colorB[j]), colorB);
        colorG = hn::IfThenElse(lanes, hn::Set(df, flat.colorG[j]), colorG);
        colorR = hn::IfThenElse(lanes, hn::Set(df, flat.colorR[j]), colorR);
        specular = hn::IfThenElse(lanes, hn::Set(df, flat.specular[j]), specular);
        specularPower = hn::IfThenElse(lanes, hn::Set(df, flat.specularPower[j]), specularPower);
        reflection = hn::IfThenElse(lanes, hn::Set(df, flat.reflection[j]), reflection);
    }
    VF sx = hn::Sub(px, centreX);
    VF sy = hn::Sub(py, centreY);
    VF sz = hn::Sub(pz, centreZ);
    const VF nn = Dot(sx, sy, sz, sx, sy, sz);
    const VF scale = hn::Div(hn::Set(df, 1.0f), hn::Sqrt(nn));
    sx = hn::Mul(sx, scale);
    sy = hn::Mul(sy, scale);
    sz = hn::Mul(sz, scale);
    nx = hn::IfThenElse(isPlane, unitX, sx);
    ny = hn::IfThenElse(isPlane, unitY, sy);
    nz = hn::IfThenElse(isPlane, unitZ, sz);
    const MF sphereOk = hn::Not(hn::Eq(nn, zero));
    normalOk = MaskOr(MaskAnd(isPlane, planeOk), MaskAndNot(isPlane, sphereOk));
    hn::Store(colorB, df, c.colorB + i);
    hn::Store(colorG, df, c.colorG + i);
    hn::Store(colorR, df, c.colorR + i);
    hn::Store(specular, df, c.specular + i);
    hn::Store(specularPower, df, c.specularPower + i);
    hn::Store(reflection, df, c.reflection + i);
}

// What the lanes of a vector hit: different primitives, or all one sphere or
// one plane (see Chunk::soleHit), known where the code is compiled so that
// each case loads only what it needs. For a vector on one plane the plane's
// unit normal stands for the normals the chunk does not hold (see
// IntersectChunk).
enum class Hits { kMixed, kOneSphere, kOnePlane };

HWY_INLINE Hits HitsOf(const FlatScene& flat, const Chunk& c, std::size_t v) {
    const std::int32_t j = c.soleHit[v];
    if (j < 0) return Hits::kMixed;
    return flat.kind[j] == FlatScene::kSphere ? Hits::kOneSphere : Hits::kOnePlane;
}

// The next segment of vector v: the weight times the reflection of what was
// hit, the lanes that go on (the shaded ones whose weight stays at or above
// the cut-off) and each shaded lane's ray mirrored about the normal (rx, ry,
// rz).
HWY_INLINE void Reflect(const FlatScene& flat, const Chunk& c, std::size_t v, MF shade, VF& coefficient, MF& active,
                        VF& rx, VF& ry, VF& rz) {
    const DF df;
    const std::size_t i = v * LaneCount();
    const std::int32_t j = c.soleHit[v];
    const VF reflection = j >= 0 ? hn::Set(df, flat.reflection[j]) : hn::Load(df, c.reflection + i);
    coefficient = hn::Mul(hn::Load(df, c.coefficient + i), reflection);
    active = MaskAndNot(hn::Lt(coefficient, hn::Set(df, kMinCoefficient)), shade);
    const bool plane = HitsOf(flat, c, v) == Hits::kOnePlane;
    const VF nx = plane ? hn::Set(df, flat.unitNx[j]) : hn::Load(df, c.nx + i);
    const VF ny = plane ? hn::Set(df, flat.unitNy[j]) : hn::Load(df, c.ny + i);
    const VF nz = plane ? hn::Set(df, flat.unitNz[j]) : hn::Load(df, c.nz + i);
    const VF dx = hn::Load(df, c.dx + i);
    const VF dy = hn::Load(df, c.dy + i);
    const VF dz = hn::Load(df, c.dz + i);
    const VF k = hn::Mul(hn::Set(df, 2.0f), Dot(nx, ny, nz, dx, dy, dz));
    rx = hn::Sub(dx, hn::Mul(k, nx));
    ry = hn::Sub(dy, hn::Mul(k, ny));
    rz = hn::Sub(dz, hn::Mul(k, nz));
}

// The smallest culling tier whose reach covers the hit distances of the
// lanes of `shade`.
HWY_INLINE std::int32_t TierOf(MF shade, VF nearest) {
    const DF df;
    const VF reach = hn::IfThenElseZero(shade, nearest);
    std::int32_t tier = 0;
    while (tier + 1 < kCullTiers && !hn::AllTrue(df, hn::Le(reach, hn::Set(df, kTierReach[tier])))) ++tier;
    return tier;
}

// IntersectChunk for the eye rays of vector v where the scene's one plane is
// all they can meet (no sphere's box meets the vector): NearestHit, the hit
// point and the chunk state as the general path leaves them, less what is
// known without the vectors of hit indices (one primitive, so every hitting
// lane hit it and no tie arises: a hit is a distance in (0, 50000)).
// Returns whether any lane is to be shaded.
HWY_INLINE bool EyeRaysOnOnlyPlane(const FlatScene& flat, MF active, VF dx, VF dy, VF dz, Chunk& c, std::size_t v) {
    const DF df;
    const std::size_t i = v * LaneCount();
    const VF zero = hn::Zero(df);
    const float shared = flat.eyeNumerator[0];
    MF shade = hn::FirstN(df, 0);
    VF t = zero;
    if ((shared > 0.0f || shared < 0.0f) && flat.zeroNormal[flat.planeIndex[0]] == 0) {
        const VF denominator = PlaneDot(flat, 0, dx, dy, dz);
        const MF candidate = MaskAnd(active, shared > 0.0f ? hn::Gt(denominator, zero) : hn::Lt(denominator, zero));
        if (!None(candidate)) {
            t = hn::Div(hn::Set(df, shared), denominator);
            shade = MaskAnd(candidate, MaskAnd(hn::Gt(t, zero), hn::Lt(t, hn::Set(df, kFarDistance))));
        }
    }
    StoreMask(shade, c.shade + i);
    if (None(shade)) return false;
    const VF nearest = hn::IfThenElse(shade, t, hn::Set(df, kFarDistance));
    hn::Store(hn::Add(hn::Set(df, flat.eye.x), hn::Mul(nearest, dx)), df, c.ox + i);
    hn::Store(hn::Add(hn::Set(df, flat.eye.y), hn::Mul(nearest, dy)), df, c.oy + i);
    hn::Store(hn::Add(hn::Set(df, flat.eye.z), hn::Mul(nearest, dz)), df, c.oz + i);
    const std::int32_t index = flat.planeIndex[0];
    c.soleHit[v] = index;
    if (flat.cullPlaneCount > 0) {
        c.cullPlane[v] = 0;
        c.tier[v] = TierOf(shade, nearest);
    }
    return true;
}

// Nearest hit of every active lane's ray, the hit point and the unit normal
// there, and which material applies. Lanes that miss or meet a zero normal
// finish. With `fromEye` the rays start at the eye and the per-primitive
// constants of the flattened scene replace the work that is the same for every
// lane. Returns whether any lane is to be shaded.
//
// The spheres tested are those whose culling box meets the vector's pixels:
// the eye-ray boxes for eye rays, the mirror boxes of the vector's cull plane
// for the mirrored eye rays off it, all spheres otherwise.
template <bool fromEye>
bool IntersectChunk(const FlatScene& flat, const RowSpans& row, std::int32_t y, std::int32_t x0, Chunk& c) {
    const DF df;
    const DI di;
    bool anyShaded = false;
    for (std::size_t v = 0; v < kVectorsPerChunk; ++v) {
        const std::size_t i = v * LaneCount();
        const Place place = PlaceOfVector(y, x0, i);
        std::uint64_t spheres = AllSpheres(flat);
        if (fromEye) {
            spheres = SpanMeets(row.eye, place) ? SpheresMeeting(flat, flat.eyeBox, row.eyeBoxes, place) : 0;
        } else if (c.cullPlane[v] >= 0) {
            const std::int32_t p = c.cullPlane[v], tier = c.tier[v];
            spheres = SpanMeets(row.plane[p][tier], place)
                          ? SpheresMeeting(flat, flat.mirrorBox[p][tier], row.mirrorBoxes[p][tier], place)
                          : 0;
        }
        // After the eye rays, each segment's rays are the last segment's
        // mirrored, made here and kept in the chunk only for lanes that go on.
        c.cullPlane[v] = -1;
        MF active;
        VF dx, dy, dz;
        if (!fromEye) {
            // A vector with no shaded lane (finished, or shaded and finished
            // on its plane) has no further segment.
            const MF shaded = LoadMask(c.shade + i);
            if (None(shaded)) {
                c.soleHit[v] = -1;
                continue;
            }
            VF coefficient;
            Reflect(flat, c, v, shaded, coefficient, active, dx, dy, dz);
            if (!None(active)) {
                hn::Store(coefficient, df, c.coefficient + i);
                hn::Store(dx, df, c.dx + i);
                hn::Store(dy, df, c.dy + i);
                hn::Store(dz, df, c.dz + i);
            }
        } else {
            active = LoadMask(c.active + i);
            dx = hn::Load(df, c.dx + i);
            dy = hn::Load(df, c.dy + i);
            dz = hn::Load(df, c.dz + i);
        }
        c.soleHit[v] = -1;
        if (None(active)) {
            StoreMask(active, c.shade + i);
            continue;
        }
        if (fromEye && spheres == 0 && flat.planeCount == 1) {
            anyShaded = EyeRaysOnOnlyPlane(flat, active, dx, dy, dz, c, v) || anyShaded;
            continue;
        }
        const VF ox = fromEye ? hn::Set(df, flat.eye.x) : hn::Load(df, c.ox + i);
        const VF oy = fromEye ? hn::Set(df, flat.eye.y) : hn::Load(df, c.oy + i);
        const VF oz = fromEye ? hn::Set(df, flat.eye.z) : hn::Load(df, c.oz + i);

        VF nearest = hn::Set(df, kFarDistance);
        VI hit = hn::Set(di, -1);
        NearestHit<fromEye>(flat, spheres, active, ox, oy, oz, dx, dy, dz, nearest, hit);

        const MF hitSomething = MaskAnd(active, IntMask(hn::Gt(hit, hn::Set(di, -1))));
        if (None(hitSomething)) {
            StoreMask(hitSomething, c.shade + i);
            continue;
        }
        const VF px = hn::Add(ox, hn::Mul(nearest, dx));
        const VF py = hn::Add(oy, hn::Mul(nearest, dy));
        const VF pz = hn::Add(oz, hn::Mul(nearest, dz));
        hn::Store(px, df, c.ox + i);
        hn::Store(py, df, c.oy + i);
        hn::Store(pz, df, c.oz + i);

        // Most vectors hit one primitive only; its values are then broadcast
        // instead of gathered.
        const std::int32_t first = hn::GetLane(FirstShaded(hitSomething, hit));
        const bool onePrimitive =
            hn::AllTrue(df, MaskOr(hn::Not(hitSomething), IntMask(hn::Eq(hit, hn::Set(di, first)))));
        VF nx, ny, nz;
        MF normalOk;
        if (onePrimitive) {
            UniformNormal(flat, first, px, py, pz, nx, ny, nz, normalOk);
            c.soleHit[v] = first;
        } else {
            MixedSurface(flat, hitSomething, hit, px, py, pz, nx, ny, nz, normalOk, c, i);
        }
        // A vector on one plane keeps neither its normals nor its hit indices
        // here: the plane's stand for them (see Hits).
        if (!onePrimitive || flat.kind[first] != FlatScene::kPlane) {
            hn::Store(hit, di, c.hit + i);
            hn::Store(nx, df, c.nx + i);
            hn::Store(ny, df, c.ny + i);
            hn::Store(nz, df, c.nz + i);
        }
        const MF shade = MaskAnd(hitSomething, normalOk);
        if (fromEye && onePrimitive && flat.kind[first] == FlatScene::kPlane &&
            flat.planeSlot[first] < flat.cullPlaneCount) {
            c.cullPlane[v] = flat.planeSlot[first];
            c.tier[v] = TierOf(shade, nearest);
        } else if (onePrimitive && flat.kind[first] == FlatScene::kSphere) {
            c.tier[v] = TierOf(shade, nearest);
        }
        StoreMask(shade, c.shade + i);
        anyShaded = anyShaded || !None(shade);
    }
    return anyShaded;
}

}  // namespace
}  // namespace HWY_NAMESPACE
}  // namespace glintworks
HWY_AFTER_NAMESPACE();

#endif  // per-target include guard
