// Intersection, normal and move rules of spheres, planes and the base primitive.

#include <gtest/gtest.h>

#include <cmath>

#include "scene/primitive.h"

namespace glintworks {
namespace {

const Material kPlain{};

TEST(SphereIntersect, AcceptsOnlyStrictlyNearerHits) {
    const Sphere sphere({0, 0, 10}, 2, kPlain);
    const Ray ray{{0, 0, 0}, {0, 0, 1}};
    float distance = 50000.0f;
    EXPECT_TRUE(sphere.intersect(ray, distance));
    EXPECT_EQ(distance, 8.0f);
    // The same hit again is not nearer, so it is refused and distance stays.
    EXPECT_FALSE(sphere.intersect(ray, distance));
    EXPECT_EQ(distance, 8.0f);
    distance = 7.5f;
    EXPECT_FALSE(sphere.intersect(ray, distance));
    EXPECT_EQ(distance, 7.5f);
}

TEST(SphereIntersect, RaysStartingInsideOrOnTheSurfaceMiss) {
    const Sphere sphere({0, 0, 10}, 2, kPlain);
    float distance = 50000.0f;
    EXPECT_FALSE(sphere.intersect({{0, 0, 10}, {0, 0, 1}}, distance)) << "from the centre";
    EXPECT_FALSE(sphere.intersect({{0, 0, 8}, {0, 0, -1}}, distance)) << "on the surface, outwards";
    EXPECT_FALSE(sphere.intersect({{0, 0, 8}, {0, 0, 1}}, distance)) << "on the surface, inwards";
    EXPECT_EQ(distance, 50000.0f);
}

TEST(SphereIntersect, MinimumDistanceIsExclusive) {
    const Sphere sphere({0, 0, 10}, 2, kPlain);
    float distance = 50000.0f;
    // Just beyond the 0.001 minimum hits; at or within it misses.
    EXPECT_TRUE(sphere.intersect({{0, 0, 7.99f}, {0, 0, 1}}, distance));
    EXPECT_NEAR(distance, 0.01f, 1e-4f);
    distance = 50000.0f;
    EXPECT_FALSE(sphere.intersect({{0, 0, 7.9995f}, {0, 0, 1}}, distance));
}

TEST(SphereIntersect, TouchingRayMisses) {
    const Sphere sphere({0, 2, 10}, 2, kPlain);
    float distance = 50000.0f;
    // Grazes the top of the sphere: the discriminant is exactly 0.
    EXPECT_FALSE(sphere.intersect({{-5, 0, 10}, {1, 0, 0}}, distance));
    EXPECT_TRUE(sphere.intersect({{-5, 0.5f, 10}, {1, 0, 0}}, distance));
}

TEST(PlaneIntersect, HitsBothFacesAndNeverParallelOrStartingRays) {
    const Plane floor({0, -1, 0}, 240, kPlain);
    float distance = 50000.0f;
    EXPECT_TRUE(floor.intersect({{0, 0, 0}, {0, 1, 0}}, distance));
    EXPECT_EQ(distance, 240.0f);
    distance = 50000.0f;
    EXPECT_TRUE(floor.intersect({{0, 300, 0}, {0, -1, 0}}, distance)) << "from below";
    EXPECT_EQ(distance, 60.0f);
    distance = 50000.0f;
    EXPECT_FALSE(floor.intersect({{0, 0, 0}, {1, 0, 0}}, distance)) << "parallel";
    EXPECT_FALSE(floor.intersect({{0, 240, 0}, {0, 1, 0}}, distance)) << "starting on it";
    EXPECT_FALSE(floor.intersect({{0, 0, 0}, {0, -1, 0}}, distance)) << "pointing away";
    EXPECT_EQ(distance, 50000.0f);
    distance = 240.0f;
    EXPECT_FALSE(floor.intersect({{0, 0, 0}, {0, 1, 0}}, distance)) << "not strictly nearer";
}

TEST(Normals, SphereIsUnnormalisedPlaneIsConstant) {
    const Sphere sphere({1, 2, 3}, 5, kPlain);
    EXPECT_EQ(sphere.normalAt({1, 2, 8}), (Vec3{0, 0, 5}));
    const Plane plane({0, -1, 0}, 240, kPlain);
    EXPECT_EQ(plane.normalAt({7, 300, -4}), (Vec3{0, -1, 0}));
}

TEST(Translate, SphereMovesInAllAxesPlaneOnlyAlongY) {
    Sphere sphere({1, 2, 3}, 5, kPlain);
    sphere.translate(5, 7, 9);
    EXPECT_EQ(sphere.center, (Vec3{6, 9, 12}));
    Plane plane({0, -1, 0}, 240, kPlain);
    plane.translate(5, 7, 9);
    EXPECT_EQ(plane.offset, 247.0f);
    EXPECT_EQ(plane.normal, (Vec3{0, -1, 0}));
}

TEST(BasePrimitive, IsNeverHitHasNoNormalAndDoesNotMove) {
    Primitive base;
    float distance = 50000.0f;
    EXPECT_FALSE(base.intersect({{0, 0, 0}, {0, 0, 1}}, distance));
    EXPECT_EQ(distance, 50000.0f);
    EXPECT_EQ(base.normalAt({1, 2, 3}), (Vec3{0, 0, 0}));
    base.translate(1, 2, 3);
}

// A ray leaving a point on a sphere never hits that sphere again, whatever its
// direction: the property that lets reflected rays start exactly on the surface.
TEST(SphereIntersect, RayLeavingTheSurfaceOutwardsNeverReHits) {
    unsigned seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return static_cast<float>((seed >> 8) & 0xFFFF) / 65535.0f * 2.0f - 1.0f;
    };
    const Sphere sphere({10, -20, 300}, 60, kPlain);
    for (int i = 0; i < 2000; ++i) {
        Vec3 n{next(), next(), next()};
        const float len = std::sqrt(dot(n, n));
        if (len < 0.1f) continue;
        n = n * (1.0f / len);
        const Vec3 p = sphere.center + n * sphere.radius;
        Vec3 d{next(), next(), next()};
        if (dot(d, d) < 0.01f) continue;
        d = d * (1.0f / std::sqrt(dot(d, d)));
        if (dot(d, n) <= 0.0f) d = d * -1.0f;
        float distance = 50000.0f;
        EXPECT_FALSE(sphere.intersect({p, d}, distance)) << "case " << i << ", seed 12345";
    }
}

}  // namespace
}  // namespace glintworks
