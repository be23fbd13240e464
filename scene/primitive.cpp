#include "scene/primitive.h"

#include <cmath>

namespace glintworks {

bool Primitive::intersect(const Ray&, float&) const { return false; }
Vec3 Primitive::normalAt(const Vec3&) const { return {0.0f, 0.0f, 0.0f}; }
void Primitive::translate(std::int32_t, std::int32_t, std::int32_t) {}

bool Sphere::intersect(const Ray& ray, float& distance) const {
    const Vec3 v = center - ray.origin;
    const float b = dot(v, ray.direction);
    const float disc = (radius * radius - dot(v, v)) + b * b;
    if (disc <= 0.0f) return false;
    const float t = b - std::sqrt(disc);
    if (t > 0.001f && t < distance) {
        distance = t;
        return true;
    }
    return false;
}

Vec3 Sphere::normalAt(const Vec3& point) const { return point - center; }

void Sphere::translate(std::int32_t dx, std::int32_t dy, std::int32_t dz) {
    center.x += static_cast<float>(dx);
    center.y += static_cast<float>(dy);
    center.z += static_cast<float>(dz);
}

bool Plane::intersect(const Ray& ray, float& distance) const {
    const float denom = dot(ray.direction, normal);
    if (denom == 0.0f) return false;
    const float t = -(dot(ray.origin, normal) + offset) / denom;
    if (t > 0.0f && t < distance) {
        distance = t;
        return true;
    }
    return false;
}

Vec3 Plane::normalAt(const Vec3&) const { return normal; }

void Plane::translate(std::int32_t, std::int32_t dy, std::int32_t) { offset += static_cast<float>(dy); }

}  // namespace glintworks
