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

// The shadow cone of sphere j seen from light k (see FlatScene). The tracer
// decides "blocked" from float values whose rounding can move the sphere's
// apparent surface by about 5e-4 of the distance from the hit point to the
// centre; the cone is built for a sphere grown by more than that for every hit
// point nearer to the light than shadowReach, and narrowed again by 1e-4 in
// cosine, far beyond the rounding of the lanes' own cone test.
void setShadowCone(FlatScene& flat, std::int32_t k, std::int32_t j) {
    flat.shadowReach[k][j] = 0.0f;
    flat.shadowAxisX[k][j] = flat.shadowAxisY[k][j] = flat.shadowAxisZ[k][j] = 0.0f;
    flat.shadowLimit[k][j] = 0.0f;
    if (flat.kind[j] != FlatScene::kSphere) return;
    const double wx = static_cast<double>(flat.ax[j]) - flat.lightX[k];
    const double wy = static_cast<double>(flat.ay[j]) - flat.lightY[k];
    const double wz = static_cast<double>(flat.az[j]) - flat.lightZ[k];
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

}  // namespace

bool flattenScene(const Scene& scene, FlatScene& flat) {
    if (scene.primitives.size() > static_cast<std::size_t>(kFastMaxPrimitives)) return false;
    if (scene.lights.size() > static_cast<std::size_t>(kFastMaxLights)) return false;

    const Vec3 eye = scene.eye;
    flat.eye = eye;
    flat.traceDepth = scene.traceDepth;
    flat.primitiveCount = static_cast<std::int32_t>(scene.primitives.size());

    for (std::int32_t i = 0; i < flat.primitiveCount; ++i) {
        const Primitive* primitive = scene.primitives[static_cast<std::size_t>(i)].get();
        if (primitive == nullptr) return false;
        flat.identity[i] = i;
        for (std::int32_t earlier = 0; earlier < i; ++earlier) {
            if (scene.primitives[static_cast<std::size_t>(earlier)].get() == primitive) {
                flat.identity[i] = earlier;
                break;
            }
        }
        // Exact types only: a subclass may override intersect or normalAt.
        const std::type_info& type = typeid(*primitive);
        if (type == typeid(Sphere)) {
            const auto& sphere = static_cast<const Sphere&>(*primitive);
            flat.kind[i] = FlatScene::kSphere;
            flat.ax[i] = sphere.center.x;
            flat.ay[i] = sphere.center.y;
            flat.az[i] = sphere.center.z;
            flat.radiusSquared[i] = sphere.radius * sphere.radius;
            flat.offset[i] = 0.0f;
            // As Sphere::intersect forms them for a ray starting at the eye.
            const Vec3 v = sphere.center - eye;
            flat.eyeVx[i] = v.x;
            flat.eyeVy[i] = v.y;
            flat.eyeVz[i] = v.z;
            flat.eyeC[i] = flat.radiusSquared[i] - dot(v, v);
            flat.eyeNumerator[i] = 0.0f;
            flat.unitNx[i] = flat.unitNy[i] = flat.unitNz[i] = 0.0f;
            flat.zeroNormal[i] = 0;
        } else if (type == typeid(Plane)) {
            const auto& plane = static_cast<const Plane&>(*primitive);
            const Vec3 n = plane.normal;
            flat.kind[i] = FlatScene::kPlane;
            flat.ax[i] = n.x;
            flat.ay[i] = n.y;
            flat.az[i] = n.z;
            flat.radiusSquared[i] = 0.0f;
            flat.offset[i] = plane.offset;
            flat.eyeVx[i] = flat.eyeVy[i] = flat.eyeVz[i] = flat.eyeC[i] = 0.0f;
            // As Plane::intersect forms it for a ray starting at the eye.
            flat.eyeNumerator[i] = -(dot(eye, n) + plane.offset);
            // As tracePixel normalises the normal of a plane hit.
            const float nn = dot(n, n);
            if (nn == 0.0f) {
                flat.zeroNormal[i] = -1;
                flat.unitNx[i] = flat.unitNy[i] = flat.unitNz[i] = 0.0f;
            } else {
                const Vec3 unit = n * (1.0f / std::sqrt(nn));
                flat.zeroNormal[i] = 0;
                flat.unitNx[i] = unit.x;
                flat.unitNy[i] = unit.y;
                flat.unitNz[i] = unit.z;
            }
        } else {
            return false;
        }
        const Material& m = primitive->material;
        flat.colorB[i] = m.color.b;
        flat.colorG[i] = m.color.g;
        flat.colorR[i] = m.color.r;
        flat.specular[i] = m.specular;
        flat.specularPower[i] = m.specularPower;
        flat.reflection[i] = m.reflection;
    }

    flat.lightCount = static_cast<std::int32_t>(scene.lights.size());
    for (std::int32_t i = 0; i < flat.lightCount; ++i) {
        const Light& light = scene.lights[static_cast<std::size_t>(i)];
        flat.lightX[i] = light.position.x;
        flat.lightY[i] = light.position.y;
        flat.lightZ[i] = light.position.z;
        flat.lightB[i] = light.color.b;
        flat.lightG[i] = light.color.g;
        flat.lightR[i] = light.color.r;
        const float b = std::fabs(light.color.b), g = std::fabs(light.color.g), r = std::fabs(light.color.r);
        flat.lightMax[i] = std::isnan(b) || std::isnan(g) || std::isnan(r) ? std::nanf("") : std::fmax(b, std::fmax(g, r));
    }
    for (std::int32_t k = 0; k < flat.lightCount; ++k) {
        for (std::int32_t j = 0; j < flat.primitiveCount; ++j) {
            setShadowCone(flat, k, j);
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
