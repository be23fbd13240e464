// Flattening: a scene's spheres, planes and lights copied into the fixed
// arrays of a FlatScene, with the values that are the same for every eye ray
// and the highlight thresholds worked out once per frame. The culling values
// come from culling.cpp.

#include "render/flatten.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <typeinfo>

#include "render/culling.h"
#include "render/flat_scene.h"
#include "scene/tracer.h"

namespace glintworks {
namespace {

void addSphere(const Sphere& sphere, Vec3 eye, std::int32_t index, FlatScene& flat) {
    const std::int32_t j = flat.sphereCount++;
    flat.kind[index] = FlatScene::kSphere;
    flat.planeSlot[index] = -1;
    flat.sphereSlot[index] = j;
    flat.unitNx[index] = flat.unitNy[index] = flat.unitNz[index] = 0.0f;
    flat.zeroNormal[index] = 0;
    flat.sphereIndex[j] = index;
    flat.sphereX[j] = sphere.center.x;
    flat.sphereY[j] = sphere.center.y;
    flat.sphereZ[j] = sphere.center.z;
    flat.radiusSquared[j] = sphere.radius * sphere.radius;
    // As Sphere::intersect forms them for a ray starting at the eye.
    const Vec3 v = sphere.center - eye;
    flat.eyeVx[j] = v.x;
    flat.eyeVy[j] = v.y;
    flat.eyeVz[j] = v.z;
    flat.eyeDiscBase[j] = flat.radiusSquared[j] - dot(v, v);
}

void addPlane(const Plane& plane, Vec3 eye, std::int32_t index, FlatScene& flat) {
    const std::int32_t j = flat.planeCount++;
    const Vec3 n = plane.normal;
    flat.kind[index] = FlatScene::kPlane;
    flat.planeSlot[index] = j;
    flat.sphereSlot[index] = -1;
    // As tracePixel normalises the normal of a plane hit.
    const float nn = dot(n, n);
    if (nn == 0.0f) {
        flat.zeroNormal[index] = -1;
        flat.unitNx[index] = flat.unitNy[index] = flat.unitNz[index] = 0.0f;
    } else {
        const Vec3 unit = n * (1.0f / std::sqrt(nn));
        flat.zeroNormal[index] = 0;
        flat.unitNx[index] = unit.x;
        flat.unitNy[index] = unit.y;
        flat.unitNz[index] = unit.z;
    }
    flat.planeIndex[j] = index;
    flat.planeNx[j] = n.x;
    flat.planeNy[j] = n.y;
    flat.planeNz[j] = n.z;
    flat.planeOffset[j] = plane.offset;
    // As Plane::intersect forms it for a ray starting at the eye.
    flat.eyeNumerator[j] = -(dot(eye, n) + plane.offset);
}

// Whether every shading normal of the scene is a unit vector to within a few
// rounding units: a sphere's normals are normalized from lengths of about its
// radius (or 0, and the trace ends), a plane's is its float unit normal.
// Then mirroring keeps a ray direction's length, which starts at 1, and the
// renderer's estimate of a highlight cosine, a sum of products of unit
// vectors, stays within kCosineEstimateMargin of the cosine. (A vector
// normalized from a length whose square is a subnormal float is off by less
// than a factor 1.5, which keeps the estimate's rounding far inside the
// margin as well; only mirroring about such normals, again and again, could
// lengthen the directions without bound.)
bool unitVectorsOnly(const FlatScene& flat) {
    for (std::int32_t j = 0; j < flat.sphereCount; ++j) {
        if (!(flat.radiusSquared[j] >= 1e-30f)) return false;
    }
    for (std::int32_t q = 0; q < flat.planeCount; ++q) {
        const std::int32_t i = flat.planeIndex[q];
        if (flat.zeroNormal[i] != 0) continue;
        const double nn = static_cast<double>(flat.unitNx[i]) * flat.unitNx[i] +
                          static_cast<double>(flat.unitNy[i]) * flat.unitNy[i] +
                          static_cast<double>(flat.unitNz[i]) * flat.unitNz[i];
        if (!(std::fabs(nn - 1.0) < 1e-5)) return false;
    }
    return true;
}

}  // namespace

float highlightThreshold(float specular, float power, float lightMax) {
    // For a cosine s with 0 <= s < t <= 1 and power p > 0, s^p < t^p. With
    // t^p x |specular| x lightMax <= 0.999 and |weight| <= 1, the exact
    // highlight of a channel stays below 0.999; the float pow (within a few
    // units in the last place) and the three rounded products that follow add
    // less than 1e-6 of relative error, so the truncated value is 0.
    if (!(power > 0.0f) || std::isnan(specular) || std::isnan(lightMax)) return -1.0f;
    const double reach = std::fabs(static_cast<double>(specular)) * lightMax;
    if (!(reach < 1e30)) return -1.0f;
    // pow(s, p) <= 1 for every s < 1, so a reach below 0.999 never shows.
    if (reach < 0.999) return 1.0f;
    const double bound = std::pow(0.999 / reach, 1.0 / static_cast<double>(power));
    float threshold = static_cast<float>(bound);
    // Rounded down, so that s < threshold implies s < bound.
    if (static_cast<double>(threshold) > bound) threshold = std::nextafter(threshold, 0.0f);
    return threshold < 1.0f ? threshold : 1.0f;
}

bool flattenScene(const Scene& scene, FlatScene& flat) {
    if (scene.primitives.size() > static_cast<std::size_t>(kFastMaxPrimitives)) return false;
    if (scene.lights.size() > static_cast<std::size_t>(kFastMaxLights)) return false;

    const Vec3 eye = scene.eye;
    flat.eye = eye;
    flat.traceDepth = scene.traceDepth;
    flat.primitiveCount = 0;
    flat.sphereCount = 0;
    flat.planeCount = 0;

    const std::size_t count = scene.primitives.size();
    for (std::size_t i = 0; i < count; ++i) {
        const Primitive* primitive = scene.primitives[i].get();
        if (primitive == nullptr) return false;
        bool repeat = false;
        for (std::size_t earlier = 0; earlier < i && !repeat; ++earlier) {
            repeat = scene.primitives[earlier].get() == primitive;
        }
        if (repeat) continue;
        const std::int32_t index = flat.primitiveCount++;
        // Exact types only: a subclass may override intersect or normalAt.
        const std::type_info& type = typeid(*primitive);
        if (type == typeid(Sphere)) {
            addSphere(static_cast<const Sphere&>(*primitive), eye, index, flat);
        } else if (type == typeid(Plane)) {
            addPlane(static_cast<const Plane&>(*primitive), eye, index, flat);
        } else {
            return false;
        }
        const Material& m = primitive->material;
        flat.colorB[index] = m.color.b;
        flat.colorG[index] = m.color.g;
        flat.colorR[index] = m.color.r;
        flat.specular[index] = m.specular;
        flat.specularPower[index] = m.specularPower;
        flat.reflection[index] = m.reflection;
    }

    const bool estimates = unitVectorsOnly(flat);
    flat.lightCount = static_cast<std::int32_t>(scene.lights.size());
    for (std::int32_t k = 0; k < flat.lightCount; ++k) {
        const Light& light = scene.lights[static_cast<std::size_t>(k)];
        flat.lightX[k] = light.position.x;
        flat.lightY[k] = light.position.y;
        flat.lightZ[k] = light.position.z;
        flat.lightB[k] = light.color.b;
        flat.lightG[k] = light.color.g;
        flat.lightR[k] = light.color.r;
        const float b = std::fabs(light.color.b), g = std::fabs(light.color.g), r = std::fabs(light.color.r);
        flat.lightMax[k] =
            std::isnan(b) || std::isnan(g) || std::isnan(r) ? std::nanf("") : std::fmax(b, std::fmax(g, r));
        flat.lightWhite[k] = light.color.b == 1.0f && light.color.g == 1.0f && light.color.r == 1.0f;
        for (std::int32_t j = 0; j < flat.sphereCount; ++j) setShadowCone(flat, k, j);
        for (std::int32_t i = 0; i < flat.primitiveCount; ++i) {
            const float below = highlightThreshold(flat.specular[i], flat.specularPower[i], flat.lightMax[k]);
            flat.highlightBelow[k][i] = below;
            flat.highlightSure[k][i] =
                estimates && below > kCosineEstimateMargin ? below - kCosineEstimateMargin : -HUGE_VALF;
        }
    }
    // Masks of 64 bits hold every sphere and plane: kFastMaxPrimitives is at most 64.
    static_assert(kFastMaxPrimitives <= 64);
    flat.allSpheres = flat.sphereCount >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << flat.sphereCount) - 1;
    flat.allPlanes = flat.planeCount >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << flat.planeCount) - 1;
    setCulling(flat);
    return true;
}

}  // namespace glintworks
