// The SIMD frame renderer: many pixels of a row traced side by side, one per
// vector lane, compiled once per instruction set and chosen at run time.
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
#define HWY_TARGET_INCLUDE "scene/render_simd.cpp"
#include "hwy/foreach_target.h"  // IWYU pragma: keep
#include "hwy/highway.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "scene/flat_scene.h"
#include "scene/tracer.h"

HWY_BEFORE_NAMESPACE();
namespace glintworks {
namespace HWY_NAMESPACE {
namespace {

namespace hn = hwy::HWY_NAMESPACE;

using DF = hn::ScalableTag<float>;
using DI = hn::RebindToSigned<DF>;
using VF = hn::Vec<DF>;
using VI = hn::Vec<DI>;
using MF = hn::Mask<DF>;

constexpr std::size_t kLanes = hn::MaxLanes(DF());
// Vectors traced together; enough independent work to hide the latencies.
constexpr std::size_t kVectorsPerChunk = 8;
constexpr std::size_t kChunk = kLanes * kVectorsPerChunk;
// The primitives a vector's lanes hit that are listed (see Chunk::hitList).
constexpr std::int32_t kHitList = 4;

// The state of one chunk of pixels, one array element per lane. Masks are kept
// as int32 lanes, -1 for true and 0 for false.
struct Chunk {
    // Current ray: origin (the hit point once a segment is intersected) and
    // direction.
    alignas(64) float ox[kChunk];
    alignas(64) float oy[kChunk];
    alignas(64) float oz[kChunk];
    alignas(64) float dx[kChunk];
    alignas(64) float dy[kChunk];
    alignas(64) float dz[kChunk];
    alignas(64) float coefficient[kChunk];
    alignas(64) float sumB[kChunk];
    alignas(64) float sumG[kChunk];
    alignas(64) float sumR[kChunk];
    alignas(64) std::int32_t active[kChunk];  // the eye ray is traced
    // The current segment: whether it is shaded, the scan index of what it
    // hit, and the unit normal there.
    alignas(64) std::int32_t shade[kChunk];
    alignas(64) std::int32_t hit[kChunk];
    alignas(64) float nx[kChunk];
    alignas(64) float ny[kChunk];
    alignas(64) float nz[kChunk];
    // Per vector: the scan index that every hitting lane hit, or -1 when they
    // hit different primitives. Only then are the per-lane materials below
    // filled; otherwise the material is read from the flattened scene.
    std::int32_t uniform[kVectorsPerChunk];
    // And where they hit different primitives: how many, and the first
    // kHitList of them, in no particular order.
    std::int32_t hitCount[kVectorsPerChunk];
    std::int32_t hitList[kVectorsPerChunk][kHitList];
    // Per vector, from the eye rays' segment until the mirrored rays have
    // been intersected: the cull plane that every shaded lane met, or -1.
    // And for a vector on one cull plane or one sphere, the smallest culling
    // tier whose reach covers the shaded lanes' hit distances.
    std::int32_t cullPlane[kVectorsPerChunk];
    std::int32_t tier[kVectorsPerChunk];
    alignas(64) float colorB[kChunk];
    alignas(64) float colorG[kChunk];
    alignas(64) float colorR[kChunk];
    alignas(64) float specular[kChunk];
    alignas(64) float specularPower[kChunk];
    alignas(64) float reflection[kChunk];
};

HWY_INLINE VF Dot(VF ax, VF ay, VF az, VF bx, VF by, VF bz) {
    return hn::Add(hn::Add(hn::Mul(ax, bx), hn::Mul(ay, by)), hn::Mul(az, bz));
}

HWY_INLINE MF LoadMask(const std::int32_t* p) {
    const DF df;
    const DI di;
    return hn::RebindMask(df, hn::Lt(hn::Load(di, p), hn::Zero(di)));
}

HWY_INLINE void StoreMask(MF m, std::int32_t* p) {
    const DI di;
    hn::Store(hn::VecFromMask(di, hn::RebindMask(di, m)), di, p);
}

HWY_INLINE MF IntMask(hn::Mask<DI> m) { return hn::RebindMask(DF(), m); }

HWY_INLINE bool None(MF m) { return hn::AllFalse(DF(), m); }

// Lanes where a plane hit distance numerator / denominator can be positive:
// both of one sign and neither zero. Any other quotient is zero, negative or
// NaN and fails the test t > 0.
HWY_INLINE MF SameSign(VF numerator, VF denominator) {
    const VF zero = hn::Zero(DF());
    return hn::Or(hn::And(hn::Gt(numerator, zero), hn::Gt(denominator, zero)),
                  hn::And(hn::Lt(numerator, zero), hn::Lt(denominator, zero)));
}

// a . n for the normal n of plane j (position in the plane arrays) as given,
// in the tracer's order. Along an axis (see FlatScene::planeAxis) the other
// two products are zeros, which change a non-zero sum not at all; where the
// one product is 0 the result is a zero either way, and a zero numerator or
// denominator gives no hit whatever its sign.
HWY_INLINE VF PlaneDot(const FlatScene& flat, std::int32_t j, VF ax, VF ay, VF az) {
    const DF df;
    switch (flat.planeAxis[j]) {
        case 0: return hn::Mul(ax, hn::Set(df, flat.planeNx[j]));
        case 1: return hn::Mul(ay, hn::Set(df, flat.planeNy[j]));
        case 2: return hn::Mul(az, hn::Set(df, flat.planeNz[j]));
        default:
            return Dot(ax, ay, az, hn::Set(df, flat.planeNx[j]), hn::Set(df, flat.planeNy[j]),
                       hn::Set(df, flat.planeNz[j]));
    }
}

// Where a vector's pixels lie: image row y, columns x0 to x1.
struct Place {
    std::int32_t y, x0, x1;
};

HWY_INLINE std::uint64_t AllSpheres(const FlatScene& flat) { return flat.allSpheres; }

// Every sphere but the one in position j, every plane but the one in
// position q.
HWY_INLINE std::uint64_t SpheresBut(const FlatScene& flat, std::int32_t j) {
    return flat.allSpheres & ~(std::uint64_t{1} << j);
}
HWY_INLINE std::uint64_t PlanesBut(const FlatScene& flat, std::int32_t q) {
    return flat.allPlanes & ~(std::uint64_t{1} << q);
}

HWY_INLINE std::int32_t LowestBit(std::uint64_t bits) { return static_cast<std::int32_t>(__builtin_ctzll(bits)); }

// The spheres (bit j for position j in the sphere arrays) whose test may
// report something for the vector's pixels: those whose box meets them, and
// every sphere beyond the culled ones. `inRow` holds the culled spheres whose
// box meets the vector's row (see RowSpans); only their columns are asked.
HWY_INLINE std::uint64_t SpheresMeeting(const FlatScene& flat, const PixelBox* boxes, std::uint32_t inRow,
                                        const Place& place) {
    const std::int32_t culled = flat.sphereCount < kCullSpheres ? flat.sphereCount : kCullSpheres;
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
    const std::int32_t culled = flat.sphereCount < kCullSpheres ? flat.sphereCount : kCullSpheres;
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
            const std::int32_t lights = flat.lightCount < kCullLights ? flat.lightCount : kCullLights;
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

// The hit index of the first lane of `shade` (which holds at least one), in
// every lane.
HWY_INLINE VI FirstShaded(MF shade, VI hit) {
    const DF df;
    const DI di;
    const auto lane = static_cast<std::int32_t>(hn::FindKnownFirstTrue(df, shade));
    return hn::TableLookupLanes(hit, hn::IndicesFromVec(di, hn::Set(di, lane)));
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
            disc = hn::Add(hn::Set(df, flat.eyeC[j]), hn::Mul(b, b));
        } else {
            const VF vx = hn::Sub(hn::Set(df, flat.sphereX[j]), ox);
            const VF vy = hn::Sub(hn::Set(df, flat.sphereY[j]), oy);
            const VF vz = hn::Sub(hn::Set(df, flat.sphereZ[j]), oz);
            b = Dot(vx, vy, vz, dx, dy, dz);
            // t = b - sqrt(disc) is at most b, so b <= 0.001 rules a hit out.
            if (None(hn::And(active, hn::Gt(b, sphereMin)))) continue;
            const VF vv = Dot(vx, vy, vz, vx, vy, vz);
            disc = hn::Add(hn::Sub(hn::Set(df, flat.radiusSquared[j]), vv), hn::Mul(b, b));
        }
        const MF candidate = hn::And(active, hn::And(hn::Gt(disc, zero), hn::Gt(b, sphereMin)));
        if (None(candidate)) continue;
        const VF t = hn::Sub(b, hn::Sqrt(disc));
        const MF nearer = hn::And(candidate, hn::And(hn::Gt(t, sphereMin), hn::Lt(t, nearest)));
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
            candidate = hn::And(active, shared > 0.0f ? hn::Gt(denominator, zero) : hn::Lt(denominator, zero));
        } else {
            numerator = hn::Neg(hn::Add(PlaneDot(flat, j, ox, oy, oz), hn::Set(df, flat.planeOffset[j])));
            candidate = hn::And(active, SameSign(numerator, denominator));
        }
        if (None(candidate)) continue;
        const VF t = hn::Div(numerator, denominator);
        const VI index = hn::Set(di, flat.planeIndex[j]);
        const MF tie = hn::And(hn::Eq(t, nearest), IntMask(hn::Gt(hit, index)));
        const MF nearer = hn::And(candidate, hn::And(hn::Gt(t, zero), hn::Or(hn::Lt(t, nearest), tie)));
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
        nx = hn::Sub(px, hn::Set(df, flat.ax[j]));
        ny = hn::Sub(py, hn::Set(df, flat.ay[j]));
        nz = hn::Sub(pz, hn::Set(df, flat.az[j]));
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
        normalOk = hn::FirstN(df, flat.zeroNormal[j] == 0 ? kLanes : 0);
    }
}

// Unit normals and materials of a vector whose lanes (those of `hitSomething`)
// hit different primitives; the materials go to the chunk. Each primitive's
// values are broadcast and blended into the lanes that hit it, one primitive
// at a time: there are seldom more than two or three, and blends cost far
// less than gathers. The normals of sphere lanes are then formed together.
HWY_INLINE void MixedSurface(const FlatScene& flat, MF hitSomething, VI hit, VF px, VF py, VF pz, VF& nx, VF& ny,
                             VF& nz, MF& normalOk, Chunk& c, std::size_t i) {
    const DF df;
    const DI di;
    const VF zero = hn::Zero(df);
    VF ax = zero, ay = zero, az = zero;
    VF unitX = zero, unitY = zero, unitZ = zero;
    VF colorB = zero, colorG = zero, colorR = zero;
    VF specular = zero, specularPower = zero, reflection = zero;
    MF isPlane = hn::FirstN(df, 0), planeOk = hn::FirstN(df, 0);
    std::int32_t& count = c.hitCount[i / kLanes];
    count = 0;
    for (MF left = hitSomething; !None(left);) {
        const std::int32_t j = hn::GetLane(FirstShaded(left, hit));
        if (count < kHitList) c.hitList[i / kLanes][count] = j;
        ++count;
        const MF lanes = hn::And(left, IntMask(hn::Eq(hit, hn::Set(di, j))));
        left = hn::AndNot(lanes, left);
        if (flat.kind[j] == FlatScene::kPlane) {
            isPlane = hn::Or(isPlane, lanes);
            if (flat.zeroNormal[j] == 0) planeOk = hn::Or(planeOk, lanes);
            unitX = hn::IfThenElse(lanes, hn::Set(df, flat.unitNx[j]), unitX);
            unitY = hn::IfThenElse(lanes, hn::Set(df, flat.unitNy[j]), unitY);
            unitZ = hn::IfThenElse(lanes, hn::Set(df, flat.unitNz[j]), unitZ);
        } else {
            ax = hn::IfThenElse(lanes, hn::Set(df, flat.ax[j]), ax);
            ay = hn::IfThenElse(lanes, hn::Set(df, flat.ay[j]), ay);
            az = hn::IfThenElse(lanes, hn::Set(df, flat.az[j]), az);
        }
        colorB = hn::IfThenElse(lanes, hn::Set(df, flat.colorB[j]), colorB);
        colorG = hn::IfThenElse(lanes, hn::Set(df, flat.colorG[j]), colorG);
        colorR = hn::IfThenElse(lanes, hn::Set(df, flat.colorR[j]), colorR);
        specular = hn::IfThenElse(lanes, hn::Set(df, flat.specular[j]), specular);
        specularPower = hn::IfThenElse(lanes, hn::Set(df, flat.specularPower[j]), specularPower);
        reflection = hn::IfThenElse(lanes, hn::Set(df, flat.reflection[j]), reflection);
    }
    VF sx = hn::Sub(px, ax);
    VF sy = hn::Sub(py, ay);
    VF sz = hn::Sub(pz, az);
    const VF nn = Dot(sx, sy, sz, sx, sy, sz);
    const VF scale = hn::Div(hn::Set(df, 1.0f), hn::Sqrt(nn));
    sx = hn::Mul(sx, scale);
    sy = hn::Mul(sy, scale);
    sz = hn::Mul(sz, scale);
    nx = hn::IfThenElse(isPlane, unitX, sx);
    ny = hn::IfThenElse(isPlane, unitY, sy);
    nz = hn::IfThenElse(isPlane, unitZ, sz);
    const MF sphereOk = hn::Not(hn::Eq(nn, zero));
    normalOk = hn::Or(hn::And(isPlane, planeOk), hn::AndNot(isPlane, sphereOk));
    hn::Store(colorB, df, c.colorB + i);
    hn::Store(colorG, df, c.colorG + i);
    hn::Store(colorR, df, c.colorR + i);
    hn::Store(specular, df, c.specular + i);
    hn::Store(specularPower, df, c.specularPower + i);
    hn::Store(reflection, df, c.reflection + i);
}

// What the lanes of a vector hit: different primitives, or all one sphere or
// one plane (see Chunk::uniform), known where the code is compiled so that
// each case loads only what it needs. For a vector on one plane the plane's
// unit normal stands for the normals the chunk does not hold (see
// IntersectChunk).
enum class Hits { kMixed, kOneSphere, kOnePlane };

HWY_INLINE Hits HitsOf(const FlatScene& flat, const Chunk& c, std::size_t v) {
    const std::int32_t j = c.uniform[v];
    if (j < 0) return Hits::kMixed;
    return flat.kind[j] == FlatScene::kSphere ? Hits::kOneSphere : Hits::kOnePlane;
}

// The next segment of vector v: the weight times the reflection of what was
// hit, the lanes that go on (the shaded ones whose weight stays at or above
// the cut-off) and each shaded lane's ray mirrored about the normal.
struct Reflection {
    VF coefficient;
    MF active;
    VF dx, dy, dz;
};

HWY_INLINE Reflection Reflect(const FlatScene& flat, const Chunk& c, std::size_t v, MF shade) {
    const DF df;
    const std::size_t i = v * kLanes;
    const std::int32_t j = c.uniform[v];
    const VF reflection = j >= 0 ? hn::Set(df, flat.reflection[j]) : hn::Load(df, c.reflection + i);
    Reflection r;
    r.coefficient = hn::Mul(hn::Load(df, c.coefficient + i), reflection);
    r.active = hn::AndNot(hn::Lt(r.coefficient, hn::Set(df, kMinCoefficient)), shade);
    const bool plane = HitsOf(flat, c, v) == Hits::kOnePlane;
    const VF nx = plane ? hn::Set(df, flat.unitNx[j]) : hn::Load(df, c.nx + i);
    const VF ny = plane ? hn::Set(df, flat.unitNy[j]) : hn::Load(df, c.ny + i);
    const VF nz = plane ? hn::Set(df, flat.unitNz[j]) : hn::Load(df, c.nz + i);
    const VF dx = hn::Load(df, c.dx + i);
    const VF dy = hn::Load(df, c.dy + i);
    const VF dz = hn::Load(df, c.dz + i);
    const VF k = hn::Mul(hn::Set(df, 2.0f), Dot(nx, ny, nz, dx, dy, dz));
    r.dx = hn::Sub(dx, hn::Mul(k, nx));
    r.dy = hn::Sub(dy, hn::Mul(k, ny));
    r.dz = hn::Sub(dz, hn::Mul(k, nz));
    return r;
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
    const std::size_t i = v * kLanes;
    const VF zero = hn::Zero(df);
    const float shared = flat.eyeNumerator[0];
    MF shade = hn::FirstN(df, 0);
    VF t = zero;
    if ((shared > 0.0f || shared < 0.0f) && flat.zeroNormal[flat.planeIndex[0]] == 0) {
        const VF denominator = PlaneDot(flat, 0, dx, dy, dz);
        const MF candidate = hn::And(active, shared > 0.0f ? hn::Gt(denominator, zero) : hn::Lt(denominator, zero));
        if (!None(candidate)) {
            t = hn::Div(hn::Set(df, shared), denominator);
            shade = hn::And(candidate, hn::And(hn::Gt(t, zero), hn::Lt(t, hn::Set(df, kFarDistance))));
        }
    }
    StoreMask(shade, c.shade + i);
    if (None(shade)) return false;
    const VF nearest = hn::IfThenElse(shade, t, hn::Set(df, kFarDistance));
    hn::Store(hn::Add(hn::Set(df, flat.eye.x), hn::Mul(nearest, dx)), df, c.ox + i);
    hn::Store(hn::Add(hn::Set(df, flat.eye.y), hn::Mul(nearest, dy)), df, c.oy + i);
    hn::Store(hn::Add(hn::Set(df, flat.eye.z), hn::Mul(nearest, dz)), df, c.oz + i);
    const std::int32_t index = flat.planeIndex[0];
    c.uniform[v] = index;
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
        const std::size_t i = v * kLanes;
        const Place place{y, x0 + static_cast<std::int32_t>(i), x0 + static_cast<std::int32_t>(i + kLanes) - 1};
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
                c.uniform[v] = -1;
                continue;
            }
            const Reflection r = Reflect(flat, c, v, shaded);
            active = r.active;
            dx = r.dx;
            dy = r.dy;
            dz = r.dz;
            if (!None(active)) {
                hn::Store(r.coefficient, df, c.coefficient + i);
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
        c.uniform[v] = -1;
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

        const MF hitSomething = hn::And(active, IntMask(hn::Gt(hit, hn::Set(di, -1))));
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
        const bool uniform =
            hn::AllTrue(df, hn::Or(hn::Not(hitSomething), IntMask(hn::Eq(hit, hn::Set(di, first)))));
        VF nx, ny, nz;
        MF normalOk;
        if (uniform) {
            UniformNormal(flat, first, px, py, pz, nx, ny, nz, normalOk);
            c.uniform[v] = first;
        } else {
            MixedSurface(flat, hitSomething, hit, px, py, pz, nx, ny, nz, normalOk, c, i);
        }
        // A vector on one plane keeps neither its normals nor its hit indices
        // here: the plane's stand for them (see Hits).
        if (!uniform || flat.kind[first] != FlatScene::kPlane) {
            hn::Store(hit, di, c.hit + i);
            hn::Store(nx, df, c.nx + i);
            hn::Store(ny, df, c.ny + i);
            hn::Store(nz, df, c.nz + i);
        }
        const MF shade = hn::And(hitSomething, normalOk);
        if (fromEye && uniform && flat.kind[first] == FlatScene::kPlane && flat.planeSlot[first] < flat.cullPlaneCount) {
            c.cullPlane[v] = flat.planeSlot[first];
            c.tier[v] = TierOf(shade, nearest);
        } else if (uniform && flat.kind[first] == FlatScene::kSphere) {
            c.tier[v] = TierOf(shade, nearest);
        }
        StoreMask(shade, c.shade + i);
        anyShaded = anyShaded || !None(shade);
    }
    return anyShaded;
}

// What one ray segment met in each lane: hit point, unit normal, the scan
// index of the primitive and its material, and the highlight threshold of the
// light being shaded. `shade` holds the lanes that hit something with a usable
// normal.
struct Surface {
    VF px, py, pz;
    VF nx, ny, nz;
    VI hit;
    // Where the lanes hit different primitives: how many, and the first
    // kHitList of them (see Chunk).
    std::int32_t hitCount;
    const std::int32_t* hitList;
    VF colorB, colorG, colorR;
    VF specular, specularPower;
    // The highlight thresholds of the light being shaded (HighlightBelow),
    // and for each the bound that an estimate of the cosine must stay below
    // to show the exact cosine below the threshold (see AddLight).
    VF highlightBelow, highlightSure;
    // For that estimate, once per segment: 2 N . D for the segment's ray
    // direction D, and the lanes whose weight has magnitude at most 1.
    VF twiceNd;
    MF unitWeight;
    MF shade;
};

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
// `uniform` where they all hit it, otherwise those of each lane's s.hit.
template <Hits kHits>
HWY_INLINE void HighlightBelow(const FlatScene& flat, std::int32_t k, std::int32_t uniform, Surface& s) {
    const DF df;
    const DI di;
    if (kHits != Hits::kMixed) {
        s.highlightBelow = hn::Set(df, flat.highlightBelow[k][uniform]);
        s.highlightSure = hn::Set(df, flat.highlightSure[k][uniform]);
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

// The surface of vector v of the chunk as light k sees it.
template <Hits kHits>
HWY_INLINE Surface LoadSurface(const FlatScene& flat, const Chunk& c, std::size_t v, std::int32_t k, MF shade) {
    const DF df;
    const DI di;
    const std::size_t i = v * kLanes;
    Surface s;
    s.shade = shade;
    s.px = hn::Load(df, c.ox + i);
    s.py = hn::Load(df, c.oy + i);
    s.pz = hn::Load(df, c.oz + i);
    const std::int32_t j = kHits == Hits::kMixed ? -1 : c.uniform[v];
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
    return s;
}

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
        MF other = kOneHit ? lit : hn::AndNot(IntMask(hn::Eq(hit, hn::Set(di, flat.sphereIndex[j]))), lit);
        if (flat.shadowReach[k][j] > 0.0f) {
            // A culling test only, with a margin far above its own rounding:
            // fused operations are welcome here.
            const VF along = hn::MulAdd(lz, hn::Set(df, flat.shadowAxisZ[k][j]),
                                        hn::MulAdd(ly, hn::Set(df, flat.shadowAxisY[k][j]),
                                                   hn::Mul(lx, hn::Set(df, flat.shadowAxisX[k][j]))));
            const MF outside = hn::And(hn::Gt(along, hn::Set(df, flat.shadowLimit[k][j])),
                                       hn::Lt(dist, hn::Set(df, flat.shadowReach[k][j])));
            other = hn::AndNot(outside, other);
        }
        if (None(other)) continue;
        const VF vx = hn::Sub(hn::Set(df, flat.sphereX[j]), px);
        const VF vy = hn::Sub(hn::Set(df, flat.sphereY[j]), py);
        const VF vz = hn::Sub(hn::Set(df, flat.sphereZ[j]), pz);
        const VF b = Dot(vx, vy, vz, lx, ly, lz);
        const MF ahead = hn::And(other, hn::Gt(b, sphereMin));
        if (None(ahead)) continue;
        const VF vv = Dot(vx, vy, vz, vx, vy, vz);
        const VF disc = hn::Add(hn::Sub(hn::Set(df, flat.radiusSquared[j]), vv), hn::Mul(b, b));
        const MF candidate = hn::And(ahead, hn::Gt(disc, zero));
        if (None(candidate)) continue;
        const VF t = hn::Sub(b, hn::Sqrt(disc));
        const MF blocked = hn::And(candidate, hn::And(hn::Gt(t, sphereMin), hn::Lt(t, dist)));
        lit = hn::AndNot(blocked, lit);
        if (None(lit)) return lit;
    }
    for (; planes != 0; planes &= planes - 1) {
        const std::int32_t j = LowestBit(planes);
        const MF other = kOneHit ? lit : hn::AndNot(IntMask(hn::Eq(hit, hn::Set(di, flat.planeIndex[j]))), lit);
        if (None(other)) continue;
        const VF denominator = PlaneDot(flat, j, lx, ly, lz);
        const VF numerator = hn::Neg(hn::Add(PlaneDot(flat, j, px, py, pz), hn::Set(df, flat.planeOffset[j])));
        const MF candidate = hn::And(other, SameSign(numerator, denominator));
        if (None(candidate)) continue;
        const VF t = hn::Div(numerator, denominator);
        const MF blocked = hn::And(candidate, hn::And(hn::Gt(t, zero), hn::Lt(t, dist)));
        lit = hn::AndNot(blocked, lit);
        if (None(lit)) return lit;
    }
    return lit;
}

// The lanes of `lit` whose highlight may reach a whole unit, so that pow must
// run for them. Everything else adds a truncated 0 in every channel.
HWY_INLINE MF MayHighlight(const FlatScene& flat, std::int32_t k, const Surface& s, MF lit, VF cosine,
                           VF coefficient) {
    const DF df;
    const VF zero = hn::Zero(df);
    const VF one = hn::Set(df, 1.0f);
    // The threshold of the material and light (see highlightThreshold) holds
    // for weights of magnitude up to 1, which covers every segment of a scene
    // without reflections above 1.
    const MF belowThreshold = hn::And(hn::Lt(cosine, s.highlightBelow), hn::Le(hn::Abs(coefficient), one));
    const MF pending = hn::AndNot(belowThreshold, lit);
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
    const MF noHighlight = hn::And(hn::And(hn::Lt(cosine, one), hn::Gt(s.specularPower, zero)),
                                   hn::Lt(reach, hn::Mul(series, hn::Set(df, 0.9999f))));
    return hn::AndNot(noHighlight, pending);
}

// The truncated highlight of a light in each channel, per lane.
struct HighlightAdds {
    alignas(64) float b[kLanes];
    alignas(64) float g[kLanes];
    alignas(64) float r[kLanes];
};

// The highlight of light k for the lanes of `highlight`, with the scalar power
// function; +0 in the other lanes. Kept out of line, and given only values,
// so that the common path around it keeps its vectors in registers.
HWY_NOINLINE void HighlightOf(const FlatScene& flat, std::int32_t k, MF highlight, VF cosine, VF specularPower,
                              VF specular, VF coefficient, HighlightAdds& adds) {
    const DF df;
    const VF zero = hn::Zero(df);
    alignas(64) float cosineLane[kLanes], powerLane[kLanes], specularLane[kLanes], coefficientLane[kLanes];
    hn::Store(cosine, df, cosineLane);
    hn::Store(specularPower, df, powerLane);
    hn::Store(specular, df, specularLane);
    hn::Store(coefficient, df, coefficientLane);
    hn::Store(zero, df, adds.b);
    hn::Store(zero, df, adds.g);
    hn::Store(zero, df, adds.r);
    alignas(8) std::uint8_t bits[8] = {};
    hn::StoreMaskBits(df, highlight, bits);
    for (std::size_t lane = 0; lane < kLanes; ++lane) {
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
struct TowardLight {
    VF lx, ly, lz;
    VF d2, dist;
};

HWY_INLINE TowardLight TowardLightOf(const FlatScene& flat, std::int32_t k, VF px, VF py, VF pz) {
    const DF df;
    const VF lvx = hn::Sub(hn::Set(df, flat.lightX[k]), px);
    const VF lvy = hn::Sub(hn::Set(df, flat.lightY[k]), py);
    const VF lvz = hn::Sub(hn::Set(df, flat.lightZ[k]), pz);
    TowardLight t;
    t.d2 = Dot(lvx, lvy, lvz, lvx, lvy, lvz);
    t.dist = hn::Sqrt(t.d2);
    const VF scale = hn::Div(hn::Set(df, 1.0f), t.dist);
    t.lx = hn::Mul(lvx, scale);
    t.ly = hn::Mul(lvy, scale);
    t.lz = hn::Mul(lvz, scale);
    return t;
}

// Diffuse and highlight of light k added to the sums of each shaded lane that
// the light reaches, l being the vector towards it (TowardLightOf). d is the
// direction of the segment's ray. Only the spheres and planes of
// `shadowSpheres` and `shadowPlanes` can block the light, and without
// `mayHighlight` no lane's highlight reaches the threshold. kOneHit as for
// Unshadowed.
template <bool kOneHit>
HWY_INLINE void AddLight(const FlatScene& flat, std::int32_t k, const TowardLight& l, std::uint64_t shadowSpheres,
                         std::uint64_t shadowPlanes, bool mayHighlight, const Surface& s, VF dx, VF dy, VF dz,
                         VF coefficient, VF& sumB, VF& sumG, VF& sumR) {
    const DF df;
    const VF zero = hn::Zero(df);
    const VF lx = l.lx, ly = l.ly, lz = l.lz;
    const VF nl = Dot(s.nx, s.ny, s.nz, lx, ly, lz);
    // Skipped: the light on the hit point, or behind or in the surface.
    MF lit = hn::AndNot(hn::Or(hn::Eq(l.d2, zero), hn::Le(nl, zero)), s.shade);
    if (None(lit)) return;
    lit = Unshadowed<kOneHit>(flat, k, shadowSpheres, shadowPlanes, s.hit, s.px, s.py, s.pz, lit, lx, ly, lz,
                              l.dist);
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
    if (None(hn::AndNot(hn::And(hn::Lt(estimate, s.highlightSure), s.unitWeight), lit))) return;
    const VF twiceNl = hn::Mul(hn::Set(df, 2.0f), nl);
    const VF rx = hn::Sub(lx, hn::Mul(twiceNl, s.nx));
    const VF ry = hn::Sub(ly, hn::Mul(twiceNl, s.ny));
    const VF rz = hn::Sub(lz, hn::Mul(twiceNl, s.nz));
    VF cosine = Dot(rx, ry, rz, dx, dy, dz);
    cosine = hn::IfThenZeroElse(hn::Le(cosine, zero), cosine);
    const MF highlight = MayHighlight(flat, k, s, lit, cosine, coefficient);
    if (None(highlight)) return;
    AddHighlight(flat, k, s, highlight, cosine, coefficient, sumB, sumG, sumR);
}

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
    const TowardLight l = TowardLightOf(flat, k, px, py, pz);
    const VF nl = PlaneCosine<kAxis>(flat, p, hn::Set(df, flat.unitNx[index]), hn::Set(df, flat.unitNy[index]),
                                     hn::Set(df, flat.unitNz[index]), l.lx, l.ly, l.lz);
    MF lit = hn::AndNot(hn::Or(hn::Eq(l.d2, zero), hn::Le(nl, zero)), shade);
    if (kMayShadow && (shadowSpheres != 0 || flat.planeCount > 1)) {
        if (None(lit)) return;
        lit = Unshadowed<true>(flat, k, shadowSpheres, PlanesBut(flat, p), hn::Set(di, index), px, py, pz, lit, l.lx,
                               l.ly, l.lz, l.dist);
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

// AddLight for vector v of the chunk, on one plane, from its state in the
// chunk; the plane is not among `shadowPlanes`. Kept out of line: it is the
// rare case, and inlined it would crowd the registers of the loops around it.
HWY_NOINLINE void AddLightOfVector(const FlatScene& flat, std::int32_t k, std::uint64_t shadowSpheres,
                                   std::uint64_t shadowPlanes, Chunk& c, std::size_t v) {
    const DF df;
    const std::size_t i = v * kLanes;
    // Only vectors on one plane come here (see ShadePlaneVectors).
    Surface s = LoadSurface<Hits::kOnePlane>(flat, c, v, k, LoadMask(c.shade + i));
    const VF dx = hn::Load(df, c.dx + i), dy = hn::Load(df, c.dy + i), dz = hn::Load(df, c.dz + i);
    const VF coefficient = hn::Load(df, c.coefficient + i);
    SetViewTerms(s, dx, dy, dz, coefficient);
    VF sumB = hn::Load(df, c.sumB + i);
    VF sumG = hn::Load(df, c.sumG + i);
    VF sumR = hn::Load(df, c.sumR + i);
    AddLight<true>(flat, k, TowardLightOf(flat, k, s.px, s.py, s.pz), shadowSpheres, shadowPlanes, true, s, dx, dy, dz,
             coefficient, sumB, sumG, sumR);
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
    const std::size_t i = v * kLanes;
    Surface s = LoadSurface<kHits>(flat, c, v, 0, LoadMask(c.shade + i));
    const VF dx = hn::Load(df, c.dx + i), dy = hn::Load(df, c.dy + i), dz = hn::Load(df, c.dz + i);
    const VF coefficient = hn::Load(df, c.coefficient + i);
    SetViewTerms(s, dx, dy, dz, coefficient);
    VF sumB = hn::Load(df, c.sumB + i);
    VF sumG = hn::Load(df, c.sumG + i);
    VF sumR = hn::Load(df, c.sumR + i);
    const std::int32_t j = kHits == Hits::kMixed ? -1 : c.uniform[v];
    const std::int32_t slot = kHits == Hits::kOneSphere ? flat.sphereSlot[j] : -1;
    const bool culled = kHits == Hits::kOneSphere && slot < kCullSpheres;
    // Where every lane hit one primitive, no lane tests it.
    const std::uint64_t otherSpheres = kHits == Hits::kOneSphere ? SpheresBut(flat, slot) : AllSpheres(flat);
    const std::uint64_t otherPlanes = kHits == Hits::kOnePlane ? PlanesBut(flat, flat.planeSlot[j]) : flat.allPlanes;
    // Each light's vector is worked out a light ahead, so that its square
    // root and division overlap the shading of the light before.
    TowardLight next = TowardLightOf(flat, 0, s.px, s.py, s.pz);
    for (std::int32_t k = 0; k < flat.lightCount; ++k) {
        const TowardLight l = next;
        if (k + 1 < flat.lightCount) next = TowardLightOf(flat, k + 1, s.px, s.py, s.pz);
        if (k > 0) HighlightBelow<kHits>(flat, k, j, s);
        std::uint64_t spheres = otherSpheres, planes = otherPlanes;
        if (culled && k < kCullLights) {
            spheres = flat.sphereShadowers[c.tier[v]][k][slot];
            planes = flat.planeShadowers[c.tier[v]][k][slot];
        }
        AddLight<kHits != Hits::kMixed>(flat, k, l, spheres, planes, true, s, dx, dy, dz, coefficient, sumB, sumG,
                                        sumR);
    }
    hn::Store(sumB, df, c.sumB + i);
    hn::Store(sumG, df, c.sumG + i);
    hn::Store(sumR, df, c.sumR + i);
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
        const std::size_t i = v * kLanes;
        const Place place{y, x0 + static_cast<std::int32_t>(i), x0 + static_cast<std::int32_t>(i + kLanes) - 1};
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
        AddPlaneLight<kAnyAxis, true>(flat, k, p, shadowSpheres, LoadMask(c.shade + i), hn::Load(df, c.ox + i), hn::Load(df, c.oy + i),
                      hn::Load(df, c.oz + i), sumB, sumG, sumR);
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
    const std::size_t i = v * kLanes;
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
        const Reflection r = Reflect(flat, c, v, shade);
        if (!None(r.active)) {
            VF nearest = hn::Set(df, kFarDistance);
            VI hit = hn::Set(di, -1);
            NearestHit<false>(flat, 0, r.active, px, py, pz, r.dx, r.dy, r.dz, nearest, hit);
            if (!None(hn::And(r.active, IntMask(hn::Gt(hit, hn::Set(di, -1)))))) return false;
        }
    }
    return true;
}

HWY_INLINE bool ShadeAndMirrorOnPlane(const FlatScene& flat, std::int32_t p, Chunk& c, std::size_t v) {
    const bool others = flat.planeCount > 1;
    switch (flat.cullPlaneAxis[p]) {
        case 0: return others ? ShadeAndMirrorOnPlaneOf<0, true>(flat, p, c, v) : ShadeAndMirrorOnPlaneOf<0, false>(flat, p, c, v);
        case 1: return others ? ShadeAndMirrorOnPlaneOf<1, true>(flat, p, c, v) : ShadeAndMirrorOnPlaneOf<1, false>(flat, p, c, v);
        case 2: return others ? ShadeAndMirrorOnPlaneOf<2, true>(flat, p, c, v) : ShadeAndMirrorOnPlaneOf<2, false>(flat, p, c, v);
        default:
            return others ? ShadeAndMirrorOnPlaneOf<-1, true>(flat, p, c, v)
                          : ShadeAndMirrorOnPlaneOf<-1, false>(flat, p, c, v);
    }
}
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
        const std::size_t i = v * kLanes;
        if (p < 0) {
            if (!None(LoadMask(c.shade + i))) others[otherCount++] = v;
            continue;
        }
        const Place place{y, x0 + static_cast<std::int32_t>(i), x0 + static_cast<std::int32_t>(i + kLanes) - 1};
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

// Eye rays of the chunk starting at column x0 of image row y, as primaryRay
// builds them; lanes beyond the image width start finished. A vector whose
// eye rays can meet nothing (see RowSpans) is black and finished at once.
void StartChunk(const FlatScene& flat, const RowSpans& row, std::int32_t x0, std::int32_t y, std::int32_t width,
                Chunk& c) {
    const DF df;
    const DI di;
    const float rowDy = static_cast<float>(y) - flat.eye.y;
    const float rowDz = 0.0f - flat.eye.z;
    // primaryRay sums (dx^2 + dy^2) + dz^2; the last two are the same for the
    // whole row. The sum can be zero (and the direction is then kept unscaled)
    // only where both of them are.
    const float rowDy2 = rowDy * rowDy;
    const float rowDz2 = rowDz * rowDz;
    const bool maybeZero = !(rowDy2 > 0.0f) && !(rowDz2 > 0.0f);
    const VF eyeX = hn::Set(df, flat.eye.x);
    const VF dy = hn::Set(df, rowDy);
    const VF dz = hn::Set(df, rowDz);
    const VF dy2 = hn::Set(df, rowDy2);
    const VF dz2 = hn::Set(df, rowDz2);
    const VF one = hn::Set(df, 1.0f);
    const VF zero = hn::Zero(df);
    const bool trace = flat.traceDepth > 0;
    const VI lane = hn::Iota(di, 0);
    for (std::size_t i = 0; i < kChunk; i += kLanes) {
        const Place place{y, x0 + static_cast<std::int32_t>(i), x0 + static_cast<std::int32_t>(i + kLanes) - 1};
        if (row.noPlane && !SpanMeets(row.eye, place)) {
            hn::Store(zero, df, c.sumB + i);
            hn::Store(zero, df, c.sumG + i);
            hn::Store(zero, df, c.sumR + i);
            StoreMask(hn::FirstN(df, 0), c.active + i);
            continue;
        }
        const VI xi = hn::Add(lane, hn::Set(di, x0 + static_cast<std::int32_t>(i)));
        const VF dx = hn::Sub(hn::ConvertTo(df, xi), eyeX);
        const VF s = hn::Add(hn::Add(hn::Mul(dx, dx), dy2), dz2);
        const VF scale = hn::Div(one, hn::Sqrt(s));
        VF ux = hn::Mul(dx, scale);
        VF uy = hn::Mul(dy, scale);
        VF uz = hn::Mul(dz, scale);
        if (maybeZero) {
            const MF keep = hn::Eq(s, zero);
            ux = hn::IfThenElse(keep, dx, ux);
            uy = hn::IfThenElse(keep, dy, uy);
            uz = hn::IfThenElse(keep, dz, uz);
        }
        hn::Store(ux, df, c.dx + i);
        hn::Store(uy, df, c.dy + i);
        hn::Store(uz, df, c.dz + i);
        hn::Store(one, df, c.coefficient + i);
        hn::Store(zero, df, c.sumB + i);
        hn::Store(zero, df, c.sumG + i);
        hn::Store(zero, df, c.sumR + i);
        const MF inside = IntMask(hn::Lt(xi, hn::Set(di, width)));
        StoreMask(trace ? inside : hn::FirstN(df, 0), c.active + i);
    }
}

// The whole number of each lane, the fraction dropped, for lanes whose value
// lies within the int32 range; below it the result is INT32_MIN, the same as
// Highway's ConvertTo. On x86 the instruction itself, without the corrections
// ConvertTo makes for values above the range, NaN and infinities (which the
// one caller replaces).
HWY_INLINE VI TruncateBelowRange(VF v) {
#if HWY_TARGET == HWY_AVX3
    return VI{_mm512_cvttps_epi32(v.raw)};
#elif HWY_TARGET == HWY_AVX2
    return VI{_mm256_cvttps_epi32(v.raw)};
#elif HWY_TARGET == HWY_SSE4 || HWY_TARGET == HWY_SSSE3
    return VI{_mm_cvttps_epi32(v.raw)};
#else
    return hn::ConvertTo(DI(), v);
#endif
}

// channelByte for every lane: the fraction of sum x 255 dropped, 255 from 256
// on (and for NaN), the low byte of the whole number otherwise.
HWY_INLINE VI ChannelBytes(VF sum) {
    const DF df;
    const DI di;
    const VF v = hn::Mul(sum, hn::Set(df, 255.0f));
    const VI whole = hn::And(TruncateBelowRange(v), hn::Set(di, 0xFF));
    return hn::IfThenElse(hn::RebindMask(di, hn::Lt(v, hn::Set(df, 256.0f))), whole, hn::Set(di, 255));
}

// Stores `count` black pixels at `out`; the alpha bytes keep their values.
void StoreBlack(std::int32_t count, std::uint8_t* out) {
    std::int32_t x = 0;
#if HWY_TARGET != HWY_SCALAR
    const DI di;
    const VI alphaBits = hn::Set(di, static_cast<std::int32_t>(0xFF000000u));
    for (; x + static_cast<std::int32_t>(kLanes) <= count; x += static_cast<std::int32_t>(kLanes)) {
        auto* dst = reinterpret_cast<std::int32_t*>(out + 4 * static_cast<std::ptrdiff_t>(x));
        hn::StoreU(hn::And(hn::LoadU(di, dst), alphaBits), di, dst);
    }
#endif
    for (; x < count; ++x) {
        out[4 * x + 0] = 0;
        out[4 * x + 1] = 0;
        out[4 * x + 2] = 0;
    }
}

// Stores the chunk's `count` pixels at `out`: bytes b, g, r of each pixel; the
// alpha bytes keep their values.
void StoreChunk(const Chunk& c, std::int32_t count, std::uint8_t* out) {
    const DI di;
    for (std::size_t i = 0; i < kChunk && static_cast<std::int32_t>(i) < count; i += kLanes) {
        const VI b = ChannelBytes(hn::Load(DF(), c.sumB + i));
        const VI g = ChannelBytes(hn::Load(DF(), c.sumG + i));
        const VI r = ChannelBytes(hn::Load(DF(), c.sumR + i));
        const VI packed = hn::Or(b, hn::Or(hn::ShiftLeft<8>(g), hn::ShiftLeft<16>(r)));
        std::uint8_t* dst = out + 4 * i;
#if HWY_TARGET != HWY_SCALAR
        if (static_cast<std::int32_t>(i + kLanes) <= count) {
            // Each alpha byte is written back with the value just read. (A
            // byte-masked store, where there is one, measured slower: the
            // memory is read for the write either way.)
            const VI old = hn::LoadU(di, reinterpret_cast<const std::int32_t*>(dst));
            const VI alpha = hn::And(old, hn::Set(di, static_cast<std::int32_t>(0xFF000000u)));
            hn::StoreU(hn::Or(alpha, packed), di, reinterpret_cast<std::int32_t*>(dst));
            continue;
        }
#endif
        alignas(64) std::int32_t lanes[kLanes];
        hn::Store(packed, di, lanes);
        for (std::size_t lane = 0; lane < kLanes && static_cast<std::int32_t>(i + lane) < count; ++lane) {
            const auto value = static_cast<std::uint32_t>(lanes[lane]);
            dst[4 * lane + 0] = static_cast<std::uint8_t>(value);
            dst[4 * lane + 1] = static_cast<std::uint8_t>(value >> 8);
            dst[4 * lane + 2] = static_cast<std::uint8_t>(value >> 16);
        }
    }
}

}  // namespace

void RenderFlat(const FlatScene& flat, const ImageRows& image) {
    Chunk chunk;
    RowSpans spans;
    for (std::int32_t y = 0; y < image.height; ++y) {
        SpansOfRow(flat, y, spans);
        const std::int32_t row = image.bottomUp ? image.height - 1 - y : y;
        std::uint8_t* rowStart = image.pixels + static_cast<std::ptrdiff_t>(row) * image.stride;
        for (std::int32_t x0 = 0; x0 < image.width; x0 += static_cast<std::int32_t>(kChunk)) {
            // A chunk whose eye rays can meet nothing (see RowSpans) is black.
            const std::int32_t count = image.width - x0;
            if (spans.noPlane && !SpanMeets(spans.eye, Place{y, x0, x0 + static_cast<std::int32_t>(kChunk) - 1})) {
                StoreBlack(count < static_cast<std::int32_t>(kChunk) ? count : static_cast<std::int32_t>(kChunk),
                           rowStart + 4 * static_cast<std::ptrdiff_t>(x0));
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

#if HWY_ONCE
#include <cpuid.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

// Highway's own checks, active in sanitizer builds, report through hwy::Abort,
// which lives in its shared library. That library is not linked (see below),
// so the report is made here.
namespace hwy {
HWY_NORETURN void Abort(const char* file, int line, const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::fprintf(stderr, "Highway check failed at %s:%d: ", file, line);
    std::vfprintf(stderr, format, args);
    std::fputc('\n', stderr);
    va_end(args);
    std::abort();
}
}  // namespace hwy

namespace glintworks {
namespace {

using RenderFunction = void (*)(const FlatScene&, const ImageRows&);

// The dispatch is done here rather than with Highway's HWY_EXPORT, so that only
// Highway's headers are used: its shared library probes the CPU's timer when
// it is loaded, with an instruction that valgrind cannot run, and programs
// built on this renderer are checked under valgrind. The features tested are
// those each target is compiled with (Highway's HWY_TARGET_STR); libgcc's
// check also asks the OS whether it saves the wide registers.
// Asked of CPUID itself (leaf 1, ECX bit 29): clang's __builtin_cpu_supports
// does not know "f16c".
bool runsF16c() {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    return __get_cpuid(1, &eax, &ebx, &ecx, &edx) != 0 && (ecx & (1u << 29)) != 0;
}
bool runsSsse3() { return __builtin_cpu_supports("ssse3"); }
bool runsSse4() {
    return runsSsse3() && __builtin_cpu_supports("sse4.1") && __builtin_cpu_supports("sse4.2") &&
           __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("aes");
}
bool runsAvx2() {
    return runsSse4() && __builtin_cpu_supports("avx") && __builtin_cpu_supports("avx2") &&
           __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("fma") &&
           runsF16c();
}
bool runsAvx3() {
    return runsAvx2() && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
           __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512bw");
}
bool runsAlways() { return true; }

struct Target {
    const char* name;
    RenderFunction render;  // nullptr where the target is not compiled in
    bool (*runs)();
};

// Best first.
const Target kTargets[] = {
    {"AVX-512", HWY_CHOOSE_AVX3(RenderFlat), runsAvx3},
    {"AVX2", HWY_CHOOSE_AVX2(RenderFlat), runsAvx2},
    {"SSE4", HWY_CHOOSE_SSE4(RenderFlat), runsSse4},
    {"SSSE3", HWY_CHOOSE_SSSE3(RenderFlat), runsSsse3},
    {"scalar", HWY_CHOOSE_FALLBACK(RenderFlat), runsAlways},
};
constexpr int kTargetCount = static_cast<int>(sizeof kTargets / sizeof kTargets[0]);

// The targets this CPU runs, as indices into kTargets, best first.
struct Usable {
    Usable() {
        __builtin_cpu_init();
        for (int i = 0; i < kTargetCount; ++i) {
            if (kTargets[i].render != nullptr && kTargets[i].runs()) index[count++] = i;
        }
    }
    int index[kTargetCount] = {};
    int count = 0;
};

const Usable& usable() {
    static const Usable list;
    return list;
}

int chosen = 0;  // position in usable()

}  // namespace

void renderFlatScene(const FlatScene& flat, const ImageRows& image) {
    kTargets[usable().index[chosen]].render(flat, image);
}

int renderTargetCount() { return usable().count; }

const char* renderTargetNameAt(int index) {
    if (index < 0 || index >= usable().count) return "";
    return kTargets[usable().index[index]].name;
}

void setRenderTargetForTest(int index) { chosen = index >= 0 && index < usable().count ? index : 0; }

const char* renderTargetName() { return renderTargetNameAt(chosen); }

}  // namespace glintworks
#endif  // HWY_ONCE
