#pragma once
// The scene as the SIMD frame renderer reads it: primitives and lights copied
// into fixed arrays once per frame, spheres and planes apart, with everything
// that is the same for every eye ray already worked out.
//
// Each precomputed value that enters a pixel is formed with exactly the float
// operations, in the same order, that the tracer performs for it, so that using
// it changes no bit of any pixel. The remaining values (shadow cones, highlight
// thresholds) only decide which work can be skipped; each is built with a wide
// safety margin so that it never skips work whose result could change a byte.

#include <cstdint>

#include "scene/render.h"
#include "scene/scene.h"

namespace glintworks {

struct FlatScene {
    static constexpr std::int32_t kSphere = 0;
    static constexpr std::int32_t kPlane = 1;

    // Primitives in scan order, numbered by "scan index". An object that the
    // scene lists more than once is kept at its first place only: a repeat
    // always ties with the first entry and loses the tie, and in a shadow test
    // it blocks exactly when the first entry does (and is skipped with it when
    // it is the hit primitive), so dropping it changes nothing.
    std::int32_t primitiveCount = 0;
    std::int32_t kind[kFastMaxPrimitives];
    // Per scan index, for shading a lane whatever it hit. Sphere: centre in
    // ax, ay, az. Plane: the unit normal used for shading, and zeroNormal -1
    // where the normal has zero length (the trace ends at such a hit).
    float ax[kFastMaxPrimitives], ay[kFastMaxPrimitives], az[kFastMaxPrimitives];
    float unitNx[kFastMaxPrimitives], unitNy[kFastMaxPrimitives], unitNz[kFastMaxPrimitives];
    std::int32_t zeroNormal[kFastMaxPrimitives];
    float colorB[kFastMaxPrimitives], colorG[kFastMaxPrimitives], colorR[kFastMaxPrimitives];
    float specular[kFastMaxPrimitives];
    float specularPower[kFastMaxPrimitives];
    float reflection[kFastMaxPrimitives];

    // Spheres in scan order: scan index, centre, radius * radius, and the
    // eye-ray constants v = centre - eye and radius^2 - v.v.
    std::int32_t sphereCount = 0;
    std::int32_t sphereIndex[kFastMaxPrimitives];
    float sphereX[kFastMaxPrimitives], sphereY[kFastMaxPrimitives], sphereZ[kFastMaxPrimitives];
    float radiusSquared[kFastMaxPrimitives];
    float eyeVx[kFastMaxPrimitives], eyeVy[kFastMaxPrimitives], eyeVz[kFastMaxPrimitives];
    float eyeC[kFastMaxPrimitives];

    // Planes in scan order: scan index, normal as given, offset, and the
    // eye-ray numerator -(eye . normal + offset) of the hit distance.
    std::int32_t planeCount = 0;
    std::int32_t planeIndex[kFastMaxPrimitives];
    float planeNx[kFastMaxPrimitives], planeNy[kFastMaxPrimitives], planeNz[kFastMaxPrimitives];
    float planeOffset[kFastMaxPrimitives];
    float eyeNumerator[kFastMaxPrimitives];

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

    Vec3 eye;
    std::int32_t traceDepth = 0;
};

// Fills `flat` from `scene`. Returns false, leaving `flat` unspecified, when the
// scene holds anything but exact Sphere and Plane objects or more primitives or
// lights than fit.
bool flattenScene(const Scene& scene, FlatScene& flat);

// The largest cosine s such that, for every cosine below it and every segment
// weight of magnitude at most 1, the highlight pow(s, power) x specular x
// weight x light colour stays below 1 in every channel whose magnitude is at
// most lightMax; -1 where no such bound holds. Exposed for tests.
float highlightThreshold(float specular, float power, float lightMax);

// Renders a flattened scene with the SIMD target renderImage uses (see
// renderTargetName).
void renderFlatScene(const FlatScene& flat, const ImageRows& image);

}  // namespace glintworks
