// The default scene, and pixels of it worked out by hand.

#include <gtest/gtest.h>

#include "scene/default_scene.h"
#include "scene/tracer.h"

namespace glintworks {
namespace {

// The index of the nearest primitive along the pixel's eye ray, or -1.
int nearestAlong(const Scene& scene, int x, int y, float& distance) {
    const Ray ray = primaryRay(scene, x, y);
    distance = kFarDistance;
    int hit = -1;
    for (std::size_t i = 0; i < scene.primitives.size(); ++i) {
        if (scene.primitives[i]->intersect(ray, distance)) hit = static_cast<int>(i);
    }
    return hit;
}

TEST(DefaultScene, HoldsThePrimitivesAndLightsInOrder) {
    const Scene scene = makeDefaultScene();
    EXPECT_EQ(scene.width, 320);
    EXPECT_EQ(scene.height, 240);
    EXPECT_EQ(scene.traceDepth, 4);
    EXPECT_EQ(scene.eye, (Vec3{160, 120, -240}));
    ASSERT_EQ(scene.primitives.size(), 4u);
    const auto* orange = dynamic_cast<const Sphere*>(scene.primitives[1].get());
    ASSERT_NE(orange, nullptr);
    EXPECT_EQ(orange->center, (Vec3{128, 144, 160}));
    EXPECT_EQ(orange->radius, 60.0f);
    EXPECT_EQ(orange->material.color, (Color4{0, 0.5f, 0.7f, 1}));
    EXPECT_EQ(orange->material.savedColor, orange->material.color);
    const auto* floor = dynamic_cast<const Plane*>(scene.primitives[3].get());
    ASSERT_NE(floor, nullptr);
    EXPECT_EQ(floor->offset, 240.0f);
    EXPECT_EQ(floor->material.reflection, 1.0f);
    ASSERT_EQ(scene.lights.size(), 2u);
    EXPECT_EQ(scene.lights[1].position, (Vec3{310, 30, 0}));
    EXPECT_EQ(scene.drag.selected, nullptr);
    // Each build is its own: the primitives are not shared between two builds.
    const Scene other = makeDefaultScene();
    EXPECT_NE(other.primitives[1], scene.primitives[1]);
    EXPECT_EQ(scene.primitives[1].use_count(), 1);
}

TEST(DefaultScene, CentrePixelMeetsTheOrangeSphere) {
    const Scene scene = makeDefaultScene();
    float distance = 0;
    EXPECT_EQ(nearestAlong(scene, 160, 120, distance), 1);
    // V = (-32, 24, 400), B = 400, disc = 3600 - 161600 + 160000 = 2000:
    // t = 400 - sqrt(2000) = 355.28.
    EXPECT_NEAR(distance, 355.2786f, 1e-3f);
}

TEST(DefaultScene, FloorIsSeenOnlyBelowTheHorizon) {
    const Scene scene = makeDefaultScene();
    float distance = 0;
    // (160, 239): direction (0, 119, 240) / 267.88; the floor is 120 below the
    // eye, so t = 120 x 267.88 / 119 = 270.13.
    EXPECT_EQ(nearestAlong(scene, 160, 239, distance), 3);
    EXPECT_NEAR(distance, 270.13f, 1e-2f);
    // Row 120 runs parallel to the floor, rows above recede from it.
    for (int y : {0, 60, 120}) {
        const Ray ray = primaryRay(scene, 5, y);
        float d = kFarDistance;
        EXPECT_FALSE(scene.primitives[3]->intersect(ray, d)) << "row " << y;
    }
}

TEST(DefaultScene, TopCornersAreBlackSky) {
    const Scene scene = makeDefaultScene();
    float distance = 0;
    EXPECT_EQ(nearestAlong(scene, 0, 0, distance), -1);
    EXPECT_EQ(nearestAlong(scene, 319, 0, distance), -1);
    EXPECT_EQ(tracePixel(scene, 0, 0), (Pixel{0, 0, 0, 255}));
    EXPECT_EQ(tracePixel(scene, 319, 0), (Pixel{0, 0, 0, 255}));
}

TEST(DefaultScene, SpheresShowTheirColours) {
    const Scene scene = makeDefaultScene();
    // Sphere centres projected onto the image plane from the eye.
    const Pixel red = tracePixel(scene, 64, 140);
    EXPECT_GT(red.r, red.g);
    EXPECT_GT(red.r, red.b);
    const Pixel purple = tracePixel(scene, 213, 88);
    EXPECT_GT(purple.r, purple.g);
    EXPECT_GT(purple.b, purple.g);
}

}  // namespace
}  // namespace glintworks
