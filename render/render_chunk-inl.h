// A chunk of pixels: the vectors of one image row traced together, their
// state through the trace, how it starts (the eye rays) and how it ends (the
// bytes stored).
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
#if defined(GLINTWORKS_SCENE_RENDER_CHUNK_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef GLINTWORKS_SCENE_RENDER_CHUNK_INL_H_
#undef GLINTWORKS_SCENE_RENDER_CHUNK_INL_H_
#else
#define GLINTWORKS_SCENE_RENDER_CHUNK_INL_H_
#endif

#include "hwy/highway.h"
#include "render/render_lanes-inl.h"
#include "render/render_spans-inl.h"

HWY_BEFORE_NAMESPACE();
namespace glintworks {
namespace HWY_NAMESPACE {
namespace {

// Vectors traced together; enough independent work to hide the latencies.
constexpr std::size_t kVectorsPerChunk = 8;
// The lanes of a chunk's arrays; a chunk on this CPU is kVectorsPerChunk x
// LaneCount() pixels.
constexpr std::size_t kMaxChunk = kMaxLanes * kVectorsPerChunk;
// The primitives a vector's lanes hit that are listed (see Chunk::hitList).
constexpr std::int32_t kHitList = 4;

// The state of one chunk of pixels, one array element per lane. Masks are kept
// as int32 lanes, -1 for true and 0 for false.
struct Chunk {
    // Current ray: origin (the hit point once a segment is intersected) and
    // direction.
    alignas(64) float ox[kMaxChunk];
    alignas(64) float oy[kMaxChunk];
    alignas(64) float oz[kMaxChunk];
    alignas(64) float dx[kMaxChunk];
    alignas(64) float dy[kMaxChunk];
    alignas(64) float dz[kMaxChunk];
    alignas(64) float coefficient[kMaxChunk];
    alignas(64) float sumB[kMaxChunk];
    alignas(64) float sumG[kMaxChunk];
    alignas(64) float sumR[kMaxChunk];
    alignas(64) std::int32_t active[kMaxChunk];  // the eye ray is traced
    // The current segment: whether it is shaded, the scan index of what it
    // hit, and the unit normal there.
    alignas(64) std::int32_t shade[kMaxChunk];
    alignas(64) std::int32_t hit[kMaxChunk];
    alignas(64) float nx[kMaxChunk];
    alignas(64) float ny[kMaxChunk];
    alignas(64) float nz[kMaxChunk];
    // Per vector, for the current segment: the scan index of the one
    // primitive that every hitting lane hit, or -1 where they hit different
    // primitives (and where no lane hit anything). Only at -1 are the
    // per-lane materials below filled; otherwise the material is read from
    // the flattened scene (see Hits).
    std::int32_t soleHit[kVectorsPerChunk];
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
    alignas(64) float colorB[kMaxChunk];
    alignas(64) float colorG[kMaxChunk];
    alignas(64) float colorR[kMaxChunk];
    alignas(64) float specular[kMaxChunk];
    alignas(64) float specularPower[kMaxChunk];
    alignas(64) float reflection[kMaxChunk];
};

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
    const std::size_t lanes = LaneCount();
    for (std::size_t i = 0; i < lanes * kVectorsPerChunk; i += lanes) {
        const Place place = PlaceOfVector(y, x0, i);
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
    const auto lanes = static_cast<std::int32_t>(LaneCount());
    for (; x + lanes <= count; x += lanes) {
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
    const std::size_t lanes = LaneCount();
    for (std::size_t i = 0; i < lanes * kVectorsPerChunk && static_cast<std::int32_t>(i) < count; i += lanes) {
        const VI b = ChannelBytes(hn::Load(DF(), c.sumB + i));
        const VI g = ChannelBytes(hn::Load(DF(), c.sumG + i));
        const VI r = ChannelBytes(hn::Load(DF(), c.sumR + i));
        const VI packed = hn::Or(b, hn::Or(hn::ShiftLeft<8>(g), hn::ShiftLeft<16>(r)));
        std::uint8_t* dst = out + 4 * i;
#if HWY_TARGET != HWY_SCALAR
        if (static_cast<std::int32_t>(i + lanes) <= count) {
            // Each alpha byte is written back with the value just read. (A
            // byte-masked store, where there is one, measured slower: the
            // memory is read for the write either way.)
            const VI old = hn::LoadU(di, reinterpret_cast<const std::int32_t*>(dst));
            const VI alpha = hn::And(old, hn::Set(di, static_cast<std::int32_t>(0xFF000000u)));
            hn::StoreU(hn::Or(alpha, packed), di, reinterpret_cast<std::int32_t*>(dst));
            continue;
        }
#endif
        alignas(64) std::int32_t values[kMaxLanes];
        hn::Store(packed, di, values);
        for (std::size_t lane = 0; lane < lanes && static_cast<std::int32_t>(i + lane) < count; ++lane) {
            const auto value = static_cast<std::uint32_t>(values[lane]);
            dst[4 * lane + 0] = static_cast<std::uint8_t>(value);
            dst[4 * lane + 1] = static_cast<std::uint8_t>(value >> 8);
            dst[4 * lane + 2] = static_cast<std::uint8_t>(value >> 16);
        }
    }
}

}  // namespace
}  // namespace HWY_NAMESPACE
}  // namespace glintworks
HWY_AFTER_NAMESPACE();

#endif  // per-target include guard
