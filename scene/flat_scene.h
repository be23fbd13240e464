#pragma once
// The scene as the SIMD frame renderer reads it: primitives and lights copied
// into fixed arrays once per frame, with everything that is the same for every
// eye ray already worked out.
//
// Each precomputed value is formed with exactly the float operations, in the
// same order, that the tracer performs for it, so that using it changes no bit
// of any pixel.

#include <cstdint>

#include "scene/render.h"
#include "scene/scene.h"

namespace glintworks {

struct FlatScene {
    static constexpr std::int32_t kSphere = 0;
    static constexpr std::int32_t kPlane = 1;

    // Primitives in scan order; index i is scene.primitives[i].
    std::int32_t primitiveCount = 0;
    std::int32_t kind[kFastMaxPrimitives];
    // Scan index of the first entry holding the same object. The tracer tells
    // the hit primitive by identity, so a shadow test skips every entry of it.
    std::int32_t identity[kFastMaxPrimitives];
    // Sphere: centre and radius * radius. Plane: normal as given and offset.
    float ax[kFastMaxPrimitives], ay[kFastMaxPrimitives], az[kFastMaxPrimitives];
    float radiusSquared[kFastMaxPrimitives];
    float offset[kFastMaxPrimitives];
    // Eye-ray constants. Sphere: v = centre - eye and radius^2 - v.v. Plane:
    // -(eye . normal + offset), the numerator of the hit distance.
    float eyeVx[kFastMaxPrimitives], eyeVy[kFastMaxPrimitives], eyeVz[kFastMaxPrimitives];
    float eyeC[kFastMaxPrimitives];
    float eyeNumerator[kFastMaxPrimitives];
    // Plane: the unit normal used for shading, and -1 where the normal has zero
    // length (the trace ends at such a hit). Unused for spheres.
    float unitNx[kFastMaxPrimitives], unitNy[kFastMaxPrimitives], unitNz[kFastMaxPrimitives];
    std::int32_t zeroNormal[kFastMaxPrimitives];
    // Material.
    float colorB[kFastMaxPrimitives], colorG[kFastMaxPrimitives], colorR[kFastMaxPrimitives];
    float specular[kFastMaxPrimitives];
    float specularPower[kFastMaxPrimitives];
    float reflection[kFastMaxPrimitives];

    // Lights in shading order. lightMax is the largest magnitude of b, g and
    // r, or NaN when one of them is NaN.
    std::int32_t lightCount = 0;
    float lightX[kFastMaxLights], lightY[kFastMaxLights], lightZ[kFastMaxLights];
    float lightB[kFastMaxLights], lightG[kFastMaxLights], lightR[kFastMaxLights];
    float lightMax[kFastMaxLights];

    // Shadow cones, per light k and sphere j: a hit point P can be shadowed by
    // the sphere only if the direction from the light to P lies within a cone
    // around shadowAxis (the unit direction from the light to the centre), that
    // is only if L . shadowAxis <= shadowLimit for the unit vector L from P to
    // the light. The cone is widened far beyond the rounding of the tracer's
    // own test, and holds only for points nearer to the light than
    // shadowReach; shadowReach is 0 where no such cone exists (the light
    // inside or close to the sphere).
    float shadowAxisX[kFastMaxLights][kFastMaxPrimitives];
    float shadowAxisY[kFastMaxLights][kFastMaxPrimitives];
    float shadowAxisZ[kFastMaxLights][kFastMaxPrimitives];
    float shadowLimit[kFastMaxLights][kFastMaxPrimitives];
    float shadowReach[kFastMaxLights][kFastMaxPrimitives];

    Vec3 eye;
    std::int32_t traceDepth = 0;
};

// Fills `flat` from `scene`. Returns false, leaving `flat` unspecified, when the
// scene holds anything but exact Sphere and Plane objects or more primitives or
// lights than fit.
bool flattenScene(const Scene& scene, FlatScene& flat);

// Renders a flattened scene with the SIMD target renderImage uses (see
// renderTargetName).
void renderFlatScene(const FlatScene& flat, const ImageRows& image);

}  // namespace glintworks
