#include "scene/render.h"

#include <cmath>
#include <cstddef>
#include <typeinfo>

#include "scene/flat_scene.h"
#include "scene/tracer.h"

namespace glintworks {

void renderImageLiteral(const Scene& scene, const ImageRows& image) {
    if (image.pixels == nullptr) return;
    for (std::int32_t y = 0; y < image.height; ++y) {
        const std::int32_t row = image.bottomUp ? image.height - 1 - y : y;
        std::uint8_t* out = image.pixels + static_cast<std::ptrdiff_t>(row) * image.stride;
        for (std::int32_t x = 0; x < image.width; ++x, out += 4) {
            const Pixel c = tracePixel(scene, x, y);
            out[0] = c.b;
            out[1] = c.g;
            out[2] = c.r;
        }
    }
}

namespace {

// The shadow cone of sphere j (position in the sphere arrays) seen from light
// k (see FlatScene). The tracer decides "blocked" from float values whose
// rounding can move the sphere's apparent surface by about 5e-4 of the
// distance from the hit point to the centre; the cone is built for a sphere
// grown by more than that for every hit point nearer to the light than
// shadowReach, and narrowed again by 1e-4 in cosine, far beyond the rounding of
// the lanes' own cone test.
void setShadowCone(FlatScene& flat, std::int32_t k, std::int32_t j) {
    flat.shadowReach[k][j] = 0.0f;
    flat.shadowAxisX[k][j] = flat.shadowAxisY[k][j] = flat.shadowAxisZ[k][j] = 0.0f;
    flat.shadowLimit[k][j] = 0.0f;
    const double wx = static_cast<double>(flat.sphereX[j]) - flat.lightX[k];
    const double wy = static_cast<double>(flat.sphereY[j]) - flat.lightY[k];
    const double wz = static_cast<double>(flat.sphereZ[j]) - flat.lightZ[k];
    const double centreDistance = std::sqrt(wx * wx + wy * wy + wz * wz);
    const double radius = std::sqrt(static_cast<double>(flat.radiusSquared[j]));
    const double reach = 8.0 * centreDistance + 2000.0;
    const double grown = radius + 6e-4 * (centreDistance + reach) + 1e-3;
    if (!(centreDistance > 1.01 * grown) || !std::isfinite(reach) || reach > 1e30) return;
    const double ratio = grown / centreDistance;
    const double cosine = std::sqrt(1.0 - ratio * ratio) - 1e-4;
    if (!(cosine > 0.0)) return;
    flat.shadowAxisX[k][j] = static_cast<float>(wx / centreDistance);
    flat.shadowAxisY[k][j] = static_cast<float>(wy / centreDistance);
    flat.shadowAxisZ[k][j] = static_cast<float>(wz / centreDistance);
    flat.shadowLimit[k][j] = static_cast<float>(-cosine);
    flat.shadowReach[k][j] = static_cast<float>(reach);
}

void addSphere(const Sphere& sphere, Vec3 eye, std::int32_t index, FlatScene& flat) {
    const std::int32_t j = flat.sphereCount++;
    flat.kind[index] = FlatScene::kSphere;
    flat.ax[index] = sphere.center.x;
    flat.ay[index] = sphere.center.y;
    flat.az[index] = sphere.center.z;
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
    flat.eyeC[j] = flat.radiusSquared[j] - dot(v, v);
}

void addPlane(const Plane& plane, Vec3 eye, std::int32_t index, FlatScene& flat) {
    const std::int32_t j = flat.planeCount++;
    const Vec3 n = plane.normal;
    flat.kind[index] = FlatScene::kPlane;
    flat.ax[index] = flat.ay[index] = flat.az[index] = 0.0f;
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
        flat.lightMax[k] = std::isnan(b) || std::isnan(g) || std::isnan(r) ? std::nanf("") : std::fmax(b, std::fmax(g, r));
        flat.lightWhite[k] = light.color.b == 1.0f && light.color.g == 1.0f && light.color.r == 1.0f;
        for (std::int32_t j = 0; j < flat.sphereCount; ++j) setShadowCone(flat, k, j);
        for (std::int32_t i = 0; i < flat.primitiveCount; ++i) {
            flat.highlightBelow[k][i] = highlightThreshold(flat.specular[i], flat.specularPower[i], flat.lightMax[k]);
        }
    }
    return true;
}

void renderImage(const Scene& scene, const ImageRows& image) {
    if (image.pixels == nullptr) return;
    // On the stack: a few kilobytes, filled anew for every frame.
    FlatScene flat;
    if (!flattenScene(scene, flat)) {
        renderImageLiteral(scene, image);
        return;
    }
    renderFlatScene(flat, image);
}

}  // namespace glintworks
