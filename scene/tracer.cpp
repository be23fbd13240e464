#include "scene/tracer.h"

#include <cmath>

namespace glintworks {

Ray primaryRay(const Scene& scene, std::int32_t x, std::int32_t y) {
    Ray ray;
    ray.origin = scene.eye;
    Vec3 d{static_cast<float>(x) - scene.eye.x, static_cast<float>(y) - scene.eye.y, 0.0f - scene.eye.z};
    const float s = d.x * d.x + d.y * d.y + d.z * d.z;
    if (s != 0.0f) d = d * (1.0f / std::sqrt(s));
    ray.direction = d;
    return ray;
}

Pixel tracePixel(const Scene& scene, std::int32_t x, std::int32_t y) {
    Ray ray = primaryRay(scene, x, y);
    float coefficient = 1.0f;
    float sumB = 0.0f, sumG = 0.0f, sumR = 0.0f;

    for (std::int32_t level = 0; level < scene.traceDepth; ++level) {
        // Nearest hit; intersect only accepts strictly nearer hits, so ties stay
        // with the earlier primitive.
        float nearest = kFarDistance;
        const Primitive* hit = nullptr;
        for (const auto& primitive : scene.primitives) {
            if (primitive->intersect(ray, nearest)) hit = primitive.get();
        }
        if (hit == nullptr) break;  // the background is black

        const Vec3 p = ray.origin + nearest * ray.direction;
        Vec3 n = hit->normalAt(p);
        const float nn = dot(n, n);
        if (nn == 0.0f) break;
        n = n * (1.0f / std::sqrt(nn));

        const Material& material = hit->material;
        for (const Light& light : scene.lights) {
            const Vec3 lv = light.position - p;
            const float d2 = dot(lv, lv);
            if (d2 == 0.0f) continue;  // the light sits on the hit point
            const float dist = std::sqrt(d2);
            const Vec3 l = lv * (1.0f / dist);
            const float nl = dot(n, l);
            if (nl <= 0.0f) continue;  // behind the surface or in its plane

            // Hard shadow: the first primitive between P and the light blocks it.
            // The hit primitive is skipped, so nothing shadows itself.
            const Ray shadow{p, l};
            bool blocked = false;
            for (const auto& primitive : scene.primitives) {
                if (primitive.get() == hit) continue;
                float bound = dist;
                if (primitive->intersect(shadow, bound)) {
                    blocked = true;
                    break;
                }
            }
            if (blocked) continue;

            const float diffuse = nl * coefficient;
            sumB += diffuse * light.color.b * material.color.b;
            sumG += diffuse * light.color.g * material.color.g;
            sumR += diffuse * light.color.r * material.color.r;

            // Hard-edged highlight: whole units only, so it is a spot with a sharp rim.
            const Vec3 r = l - (2.0f * nl) * n;
            float s = dot(r, ray.direction);
            if (s <= 0.0f) s = 0.0f;
            const float highlight = std::pow(s, material.specularPower) * material.specular * coefficient;
            sumB += std::trunc(highlight * light.color.b);
            sumG += std::trunc(highlight * light.color.g);
            sumR += std::trunc(highlight * light.color.r);
        }

        // The lights of this segment were shaded with the old weight.
        coefficient *= material.reflection;
        if (coefficient < kMinCoefficient) break;

        const Vec3 d = ray.direction;
        ray.origin = p;
        ray.direction = d - (2.0f * dot(n, d)) * n;
    }

    return {channelByte(sumB), channelByte(sumG), channelByte(sumR), 255};
}

}  // namespace glintworks
