#pragma once
// The tracer: the colour of one pixel of a scene.

#include <cstdint>

#include "scene/scene.h"

namespace glintworks {

// One pixel in the frame buffer's byte order: blue, green, red, alpha.
struct Pixel {
    std::uint8_t b = 0;
    std::uint8_t g = 0;
    std::uint8_t r = 0;
    std::uint8_t a = 0;
};

inline bool operator==(Pixel p, Pixel q) { return p.b == q.b && p.g == q.g && p.r == q.r && p.a == q.a; }

// Hits at this distance or beyond are never seen.
constexpr float kFarDistance = 50000.0f;
// Reflections stop once a segment's weight falls below this.
constexpr float kMinCoefficient = 0.05f;

// The eye ray through pixel (x, y) of the image plane: from scene.eye towards
// (x, y, 0), of unit length (zero only when the eye sits on that very pixel).
Ray primaryRay(const Scene& scene, std::int32_t x, std::int32_t y);

// The colour of pixel (x, y), (0, 0) being the top-left pixel: nearest hit,
// diffuse and hard-edged specular light from every unshadowed light, and up to
// scene.traceDepth mirrored segments. Alpha is always 255. Reads the scene only.
Pixel tracePixel(const Scene& scene, std::int32_t x, std::int32_t y);

// A summed colour channel as a byte: the fraction of value x 255 is dropped and
// the result clamped at 255.
inline std::uint8_t channelByte(float value) {
    const float v = value * 255.0f;
    // Compared before the conversion so that a huge sum cannot overflow it:
    // 255 from 256 on and for NaN, 0 at and below the lowest int32 (the byte
    // of that int32).
    if (!(v < 256.0f)) return 255;
    if (!(v > -2147483648.0f)) return 0;
    return static_cast<std::uint8_t>(static_cast<std::int32_t>(v));
}

}  // namespace glintworks
