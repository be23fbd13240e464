#pragma once
// The scene as the SIMD frame renderer reads it: primitives and lights copied
// into fixed arrays once per frame, spheres and planes apart, with everything
// that is the same for every eye ray already worked out.
//
// Each precomputed value that enters a pixel is formed with exactly the float
// operations, in the same order, that the tracer performs for it, so that using
// it changes no bit of any pixel. The remaining values (shadow cones, highlight
// thresholds, culling boxes) only decide which work can be skipped; each is
// built with a wide safety margin so that it never skips work whose result
// could change a byte.

#include <cstdint>

#include "render/image_rows.h"
#include "scene/scene.h"

namespace glintworks {

// A rectangle of pixels, bounds included; empty where x0 > x1.
struct PixelBox {
    std::int32_t x0 = 0, x1 = -1, y0 = 0, y1 = -1;
};

// Limits of the screen-space culling (see FlatScene): only the first spheres,
// planes and lights take part; the work of the others is never skipped.
constexpr std::int32_t kCullSpheres = 16;
constexpr std::int32_t kCullPlanes = 2;
constexpr std::int32_t kCullLights = 4;
// The boxes that depend on how far a ray travelled before it met the plane
// are made for a few bounds of that distance; a vector uses the smallest bound
// that holds for all its lanes. The last one holds for every hit.
constexpr std::int32_t kCullTiers = 3;
constexpr float kTierReach[kCullTiers] = {1024.0f, 8192.0f, 50000.0f};

// The renderer estimates a highlight cosine, to see that it is below the
// threshold, with products of unit vectors rounded otherwise than the
// tracer's: the two differ by a few units in the sixth decimal at most. This
// margin is far wider.
constexpr float kCosineEstimateMargin = 1e-4f;

// Laid out as structure of arrays, so that a vector of lanes gathers one
// field of many primitives with one load. 47,760 bytes in all (checked below),
// built on the stack by renderImage once per frame. By group, with who fills
// and who reads it (the kernels are render_*-inl.h):
//
//   group                       bytes   filled by     read by
//   per scan index (shading)     3332   flatten.cpp   intersect, surface, shade, plane
//   spheres                      2316   flatten.cpp   intersect (eye rays), shade (shadows)
//   planes                       1808   flatten.cpp   lanes, spans, intersect
//   lights                        468   flatten.cpp   shade, plane
//   shadow cones                20480   culling.cpp   shade
//   highlight thresholds         8192   flatten.cpp   surface, plane
//   screen-space culling        11148   culling.cpp   spans, intersect, plane, shade
//   eye and trace depth            16   flatten.cpp   every kernel
//
// Only the first primitiveCount, sphereCount, planeCount and lightCount
// entries of an array are meaningful; the rest are left as they were.
struct FlatScene {
    // What a primitive is; int32 wide, as the other per-primitive arrays.
    enum Kind : std::int32_t { kSphere, kPlane };

    // Primitives in scan order, numbered by "scan index". An object that the
    // scene lists more than once is kept at its first place only: a repeat
    // always ties with the first entry and loses the tie, and in a shadow test
    // it blocks exactly when the first entry does (and is skipped with it when
    // it is the hit primitive), so dropping it changes nothing.
    std::int32_t primitiveCount = 0;
    Kind kind[kFastMaxPrimitives];
    // Position of a plane in the plane arrays, of a sphere in the sphere
    // arrays; -1 for the other kind.
    std::int32_t planeSlot[kFastMaxPrimitives];
    std::int32_t sphereSlot[kFastMaxPrimitives];
    // Per scan index, for shading a lane whatever it hit (a sphere's centre
    // is in the sphere arrays, at sphereSlot). Plane: the unit normal used
    // for shading, and zeroNormal -1 where the normal has zero length (the
    // trace ends at such a hit); 0 for a sphere.
    float unitNx[kFastMaxPrimitives], unitNy[kFastMaxPrimitives], unitNz[kFastMaxPrimitives];
    std::int32_t zeroNormal[kFastMaxPrimitives];
    float colorB[kFastMaxPrimitives], colorG[kFastMaxPrimitives], colorR[kFastMaxPrimitives];
    float specular[kFastMaxPrimitives];
    float specularPower[kFastMaxPrimitives];
    float reflection[kFastMaxPrimitives];

    // Spheres in scan order: scan index, centre, radius * radius, and the
    // eye-ray constants v = centre - eye and eyeDiscBase = radius^2 - v.v, the
    // part of the discriminant (radius^2 - v.v) + b^2 that is the same for
    // every ray from the eye.
    std::int32_t sphereCount = 0;
    std::uint64_t allSpheres = 0;  // bit j set for each sphere position j
    std::int32_t sphereIndex[kFastMaxPrimitives];
    float sphereX[kFastMaxPrimitives], sphereY[kFastMaxPrimitives], sphereZ[kFastMaxPrimitives];
    float radiusSquared[kFastMaxPrimitives];
    float eyeVx[kFastMaxPrimitives], eyeVy[kFastMaxPrimitives], eyeVz[kFastMaxPrimitives];
    float eyeDiscBase[kFastMaxPrimitives];

    // Planes in scan order: scan index, normal as given, offset, and the
    // eye-ray numerator -(eye . normal + offset) of the hit distance.
    std::int32_t planeCount = 0;
    std::uint64_t allPlanes = 0;  // bit q set for each plane position q
    std::int32_t planeIndex[kFastMaxPrimitives];
    float planeNx[kFastMaxPrimitives], planeNy[kFastMaxPrimitives], planeNz[kFastMaxPrimitives];
    float planeOffset[kFastMaxPrimitives];
    float eyeNumerator[kFastMaxPrimitives];
    // 0, 1 or 2 where the normal as given has that component only (the
    // others exactly 0) and no ray of a trace can have an infinite
    // coordinate, so that a dot product with the normal is that component's
    // product alone wherever it is not 0; -1 otherwise.
    std::int32_t planeAxis[kFastMaxPrimitives];

    // Lights in shading order. lightMax is the largest magnitude of b, g and
    // r, or NaN when one of them is NaN; lightWhite is set when all three are
    // exactly 1, so that multiplying by them changes nothing.
    std::int32_t lightCount = 0;
    float lightX[kFastMaxLights], lightY[kFastMaxLights], lightZ[kFastMaxLights];
    float lightB[kFastMaxLights], lightG[kFastMaxLights], lightR[kFastMaxLights];
    float lightMax[kFastMaxLights];
    bool lightWhite[kFastMaxLights];

    // Shadow cones, per light k and sphere position j (in the sphere arrays):
    // a hit point P can be shadowed by the sphere only if the direction from
    // the light to P lies within a cone around shadowAxis (the unit direction
    // from the light to the centre), that is only if L . shadowAxis <=
    // shadowLimit for the unit vector L from P to the light. The cone is
    // widened far beyond the rounding of the tracer's own test, and holds only
    // for points nearer to the light than shadowReach; shadowReach is 0 where
    // no such cone exists (the light inside or close to the sphere).
    float shadowAxisX[kFastMaxLights][kFastMaxPrimitives];
    float shadowAxisY[kFastMaxLights][kFastMaxPrimitives];
    float shadowAxisZ[kFastMaxLights][kFastMaxPrimitives];
    float shadowLimit[kFastMaxLights][kFastMaxPrimitives];
    float shadowReach[kFastMaxLights][kFastMaxPrimitives];

    // Highlight thresholds, per light k and scan index: for a segment weight
    // of magnitude at most 1, a highlight cosine below highlightBelow[k][i]
    // cannot give a whole unit in any channel, so the highlight adds nothing
    // there. -1 where no such bound is known (every cosine is at least 0).
    float highlightBelow[kFastMaxLights][kFastMaxPrimitives];
    // And the bound an estimate of the highlight cosine must stay below to
    // show the cosine below highlightBelow: highlightBelow less
    // kCosineEstimateMargin, or -infinity where that is not above 0.
    float highlightSure[kFastMaxLights][kFastMaxPrimitives];

    // Screen-space culling, per image pixel (x, y) as the lanes are laid
    // out. Each box is conservative: outside it, the float test it names
    // cannot report what it looks for in any lane (see culling.cpp for the
    // margins), so the test is skipped for a vector whose pixels all lie
    // outside. Boxes that cull nothing cover every pixel.
    //   eyeBox[j]: eye rays meeting sphere j (the test can find a candidate).
    // For a vector whose shaded lanes all met cull plane p (the first
    // kCullPlanes planes) with their eye ray, within reach kTierReach[tier]:
    //   mirrorBox[p][tier][j]: their mirrored rays meeting sphere j;
    //   shadowBox[p][tier][k][j]: sphere j blocking light k;
    //   highlightBox[p][k]: the highlight of light k reaching the threshold
    //     highlightBelow (any reach).
    PixelBox eyeBox[kCullSpheres];
    std::int32_t cullPlaneCount = 0;
    // Per cull plane: 0, 1 or 2 where the float unit normal has that
    // component only (the others exactly 0) and the scene is small enough
    // that no light vector of a hit point is infinite, so that N . L is that
    // component's product alone wherever it is not 0; -1 otherwise.
    std::int32_t cullPlaneAxis[kCullPlanes];
    PixelBox mirrorBox[kCullPlanes][kCullTiers][kCullSpheres];
    PixelBox shadowBox[kCullPlanes][kCullTiers][kCullLights][kCullSpheres];
    PixelBox highlightBox[kCullPlanes][kCullLights];
    // Shadows on the culled spheres: for the points of sphere j met by rays
    // within reach kTierReach[tier], the spheres (bits as in allSpheres) and
    // the planes (bits as in allPlanes) whose test may block light k. Sphere
    // j itself is never among them; without culling, all others are.
    std::uint64_t sphereShadowers[kCullTiers][kCullLights][kCullSpheres];
    std::uint64_t planeShadowers[kCullTiers][kCullLights][kCullSpheres];

    Vec3 eye;
    std::int32_t traceDepth = 0;
};
static_assert(sizeof(FlatScene) == 47760, "the size stated above FlatScene");

// How many spheres and lights the culling covers: the first kCullSpheres
// spheres and kCullLights lights of the scene.
inline std::int32_t culledSpheres(const FlatScene& flat) {
    return flat.sphereCount < kCullSpheres ? flat.sphereCount : kCullSpheres;
}
inline std::int32_t culledLights(const FlatScene& flat) {
    return flat.lightCount < kCullLights ? flat.lightCount : kCullLights;
}

inline bool boxMeetsRow(const PixelBox& box, std::int32_t y, std::int32_t x0, std::int32_t x1) {
    return y >= box.y0 && y <= box.y1 && x1 >= box.x0 && x0 <= box.x1;
}

}  // namespace glintworks
