// The renderer's vocabulary of SIMD lanes: vector types of the target,
// arithmetic in the tracer's order, masks kept in memory, where a vector's
// pixels lie, and sets of primitives as bit masks.
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

// Per-target include guard.
#if defined(GLINTWORKS_SCENE_RENDER_LANES_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef GLINTWORKS_SCENE_RENDER_LANES_INL_H_
#undef GLINTWORKS_SCENE_RENDER_LANES_INL_H_
#else
#define GLINTWORKS_SCENE_RENDER_LANES_INL_H_
#endif

#include "hwy/highway.h"

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

// The lanes of a vector, at most: the size of arrays that hold a vector's
// lanes. On SVE that is the largest vector the architecture allows (2048
// bits), far more than any CPU has.
constexpr std::size_t kMaxLanes = hn::MaxLanes(DF());

// The lanes of a vector on this CPU: kMaxLanes, known where the code is
// compiled, on every target but SVE, whose vector length (128 to 2048 bits)
// the CPU tells when the program runs. Every step from one vector to the next
// and every span of a vector's pixels is this many lanes. Where the count is
// known it is a constant expression, so that the code is what a constant
// gives (the compiler weighs its inlining before it folds a call).
#if HWY_HAVE_SCALABLE
HWY_INLINE std::size_t LaneCount() { return hn::Lanes(DF()); }
#else
HWY_INLINE constexpr std::size_t LaneCount() { return kMaxLanes; }
#endif

// a . b in the tracer's order: (ax bx + ay by) + az bz, each step rounded.
HWY_INLINE VF Dot(VF ax, VF ay, VF az, VF bx, VF by, VF bz) {
    return hn::Add(hn::Add(hn::Mul(ax, bx), hn::Mul(ay, by)), hn::Mul(az, bz));
}

// Masks kept in memory as int32 lanes: -1 for true, 0 for false.
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

// Masks combined: and, or, and not-a-and-b. LLVM rewrites the and of a
// comparison's mask with another value as a select of the value or zero (the
// or as a select of all ones), and WebAssembly has selects only as
// v128.bitselect, three instructions and a constant in V8's code where
// v128.and or v128.or is one; with them a WebAssembly frame took nearly a
// third longer. An empty asm statement on each operand (Opaque, also for a
// mask that a select of zero takes) hides where the masks come from, so that
// LLVM keeps the plain instruction. Every other target keeps Highway's.
template <class M>
HWY_INLINE M Opaque(M m) {
#if HWY_TARGET == HWY_WASM
    asm("" : "+r"(m.raw));
#endif
    return m;
}

HWY_INLINE MF MaskAnd(MF a, MF b) { return hn::And(Opaque(a), Opaque(b)); }
HWY_INLINE MF MaskOr(MF a, MF b) { return hn::Or(Opaque(a), Opaque(b)); }
HWY_INLINE MF MaskAndNot(MF a, MF b) { return hn::AndNot(Opaque(a), Opaque(b)); }

// Highway's WebAssembly AllFalse moves both halves of the mask to scalar
// registers and ors them; v128.any_true is one test (ptest where V8 runs on
// x86). Every other target keeps Highway's.
HWY_INLINE bool None(MF m) {
#if HWY_TARGET == HWY_WASM
    return !wasm_v128_any_true(m.raw);
#else
    return hn::AllFalse(DF(), m);
#endif
}

// The lowest lane of m, which holds at least one. Highway's WebAssembly
// FindKnownFirstTrue stores the mask and ors its four lanes in memory;
// i32x4.bitmask is one instruction (movmskps).
HWY_INLINE std::size_t FirstTrue(MF m) {
#if HWY_TARGET == HWY_WASM
    return static_cast<std::size_t>(__builtin_ctz(wasm_i32x4_bitmask(m.raw)));
#else
    return hn::FindKnownFirstTrue(DF(), m);
#endif
}

// Lanes where a plane hit distance numerator / denominator can be positive:
// both of one sign and neither zero. Any other quotient is zero, negative or
// NaN and fails the test t > 0.
HWY_INLINE MF SameSign(VF numerator, VF denominator) {
    const VF zero = hn::Zero(DF());
    return MaskOr(MaskAnd(hn::Gt(numerator, zero), hn::Gt(denominator, zero)),
                  MaskAnd(hn::Lt(numerator, zero), hn::Lt(denominator, zero)));
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

// The place of the vector whose first lane is lane i of the chunk that starts
// at column x0 of image row y.
HWY_INLINE Place PlaceOfVector(std::int32_t y, std::int32_t x0, std::size_t i) {
    return Place{y, x0 + static_cast<std::int32_t>(i), x0 + static_cast<std::int32_t>(i + LaneCount()) - 1};
}

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

}  // namespace
}  // namespace HWY_NAMESPACE
}  // namespace glintworks
HWY_AFTER_NAMESPACE();

#endif  // per-target include guard
