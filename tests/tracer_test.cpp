// Shading rules of the tracer, each on a scene small enough to work out by hand.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "scene/tracer.h"

namespace glintworks {
namespace {

Material material(Color4 color, float specular, float power, float reflection) {
    Material m;
    m.color = color;
    m.savedColor = color;
    m.specular = specular;
    m.specularPower = power;
    m.reflection = reflection;
    return m;
}

const Color4 kWhite{1, 1, 1, 1};

// Eye (0, 0, -100) looking along +z through pixel (0, 0) at a sphere of radius
// 50 centred on (0, 0, 100): the hit point is (0, 0, 50) with normal (0, 0, -1).
Scene oneSphere(float specular, Vec3 lightPosition = {0, 0, -100}) {
    Scene scene;
    scene.traceDepth = 4;
    scene.eye = {0, 0, -100};
    scene.primitives.push_back(
        std::make_shared<Sphere>(Vec3{0, 0, 100}, 50.0f, material({0.5f, 0.25f, 1.0f, 1}, specular, 1, 0)));
    scene.lights.emplace_back(kWhite, lightPosition);
    return scene;
}

TEST(PrimaryRay, IsUnitLengthFromTheEye) {
    Scene scene;
    scene.eye = {160, 120, -240};
    const Ray centre = primaryRay(scene, 160, 120);
    EXPECT_EQ(centre.origin, (Vec3{160, 120, -240}));
    EXPECT_EQ(centre.direction, (Vec3{0, 0, 1}));
    const Ray corner = primaryRay(scene, 0, 0);
    EXPECT_NEAR(dot(corner.direction, corner.direction), 1.0f, 1e-6f);
    // An eye on the image plane at the very pixel gives a zero direction, not NaN.
    scene.eye = {5, 6, 0};
    EXPECT_EQ(primaryRay(scene, 5, 6).direction, (Vec3{0, 0, 0}));
}

TEST(Shading, DiffuseChannelsLandInBlueGreenRedOrder) {
    // 0.5 x 255 = 127.5 loses its fraction; the alpha byte is always 255.
    EXPECT_EQ(tracePixel(oneSphere(0.0f), 0, 0), (Pixel{127, 63, 255, 255}));
}

TEST(Shading, SpecularAddsWholeUnitsOnly) {
    // s = 1 on the axis, so the highlight is `specular` itself: 1.5 adds a whole
    // unit to every channel, 0.9 adds nothing at all.
    EXPECT_EQ(tracePixel(oneSphere(1.5f), 0, 0), (Pixel{255, 255, 255, 255}));
    EXPECT_EQ(tracePixel(oneSphere(0.9f), 0, 0), (Pixel{127, 63, 255, 255}));
    EXPECT_EQ(tracePixel(oneSphere(0.999f), 0, 0), (Pixel{127, 63, 255, 255}));
}

TEST(Shading, ChannelBytesDropTheFractionAndClampAt255) {
    EXPECT_EQ(channelByte(0.0f), 0);
    EXPECT_EQ(channelByte(0.999f), 254);
    EXPECT_EQ(channelByte(1.0f), 255);
    EXPECT_EQ(channelByte(3.0f), 255);
    EXPECT_EQ(channelByte(1e30f), 255);
    EXPECT_EQ(channelByte(0.5f), 127);
    // Below zero: the low byte of the whole number, 0 from the lowest int32 on.
    EXPECT_EQ(channelByte(-1.5f / 255.0f), 255);
    EXPECT_EQ(channelByte(-1e30f), 0);
    EXPECT_EQ(channelByte(-HUGE_VALF), 0);
    EXPECT_EQ(channelByte(std::nanf("")), 255);
}

TEST(Shading, DegenerateLightsContributeNothing) {
    // A light exactly at the hit point, and one in the surface's tangent plane.
    EXPECT_EQ(tracePixel(oneSphere(1.5f, {0, 0, 50}), 0, 0), (Pixel{0, 0, 0, 255}));
    EXPECT_EQ(tracePixel(oneSphere(1.5f, {100, 0, 50}), 0, 0), (Pixel{0, 0, 0, 255}));
}

TEST(Shading, NothingHitOrNothingToTraceIsBlack) {
    Scene scene = oneSphere(0.0f);
    EXPECT_EQ(tracePixel(scene, 200, 0), (Pixel{0, 0, 0, 255}));
    scene.traceDepth = 0;
    EXPECT_EQ(tracePixel(scene, 0, 0), (Pixel{0, 0, 0, 255}));
    scene.traceDepth = -3;
    EXPECT_EQ(tracePixel(scene, 0, 0), (Pixel{0, 0, 0, 255}));
    Scene empty;
    empty.traceDepth = 4;
    empty.lights.emplace_back(kWhite, Vec3{0, 0, 0});
    EXPECT_EQ(tracePixel(empty, 0, 0), (Pixel{0, 0, 0, 255}));
}

// A sphere that records how often it was asked to intersect.
class CountingSphere : public Sphere {
public:
    using Sphere::Sphere;
    bool intersect(const Ray& ray, float& distance) const override {
        ++calls;
        return Sphere::intersect(ray, distance);
    }
    mutable int calls = 0;
};

struct ShadowScene {
    Scene scene;
    std::shared_ptr<CountingSphere> lit, blocker, bystander;
};

// The light at (60, 0, -30) is 100 units from the hit point (0, 0, 50) along
// (0.6, 0, -0.8), so nl = 0.8; `blockerAt` is a small sphere on that line.
ShadowScene shadowScene(Vec3 blockerAt) {
    ShadowScene s;
    s.scene.traceDepth = 1;
    s.scene.eye = {0, 0, -100};
    const Material m = material({1, 1, 1, 1}, 0, 1, 0);
    s.lit = std::make_shared<CountingSphere>(Vec3{0, 0, 100}, 50.0f, m);
    s.blocker = std::make_shared<CountingSphere>(blockerAt, 5.0f, m);
    s.bystander = std::make_shared<CountingSphere>(Vec3{-300, 0, 0}, 5.0f, m);
    s.scene.primitives = {s.lit, s.blocker, s.bystander};
    s.scene.lights.emplace_back(kWhite, Vec3{60, 0, -30});
    return s;
}

TEST(Shadows, FirstBlockerEndsTheTestAndTheHitPrimitiveIsSkipped) {
    ShadowScene s = shadowScene({30, 0, 10});
    EXPECT_EQ(tracePixel(s.scene, 0, 0), (Pixel{0, 0, 0, 255}));
    EXPECT_EQ(s.lit->calls, 1) << "the hit primitive must not be tested for its own shadow";
    EXPECT_EQ(s.blocker->calls, 2);
    EXPECT_EQ(s.bystander->calls, 1) << "primitives after the first blocker are not tested";
}

TEST(Shadows, APrimitiveBeyondTheLightDoesNotBlock) {
    ShadowScene s = shadowScene({120, 0, -110});
    // nl = 0.8, which in 32-bit floats comes out a hair below: 203.99 gives 203.
    EXPECT_EQ(tracePixel(s.scene, 0, 0), (Pixel{203, 203, 203, 255}));
    EXPECT_EQ(s.bystander->calls, 2);
}

// Two facing mirror planes at z = 100 and z = -200 with a light between them on
// the axis: the eye ray bounces between them, and every segment adds its
// coefficient x 0.5 to the blue channel (nl = 1, no highlight).
Scene mirrorCorridor(int traceDepth, float reflection) {
    Scene scene;
    scene.traceDepth = traceDepth;
    scene.eye = {0, 0, -100};
    const Material m = material({0.5f, 0, 0, 1}, 0, 1, reflection);
    scene.primitives.push_back(std::make_shared<Plane>(Vec3{0, 0, -1}, 100.0f, m));
    scene.primitives.push_back(std::make_shared<Plane>(Vec3{0, 0, 1}, 200.0f, m));
    scene.lights.emplace_back(kWhite, Vec3{0, 0, 0});
    return scene;
}

TEST(Reflection, TraceDepthCountsSegments) {
    // 0.5 per segment of a perfect mirror, clamped at two segments; use a dim
    // colour to count further: each segment adds 0.5 x 255 / 10 for reflection 1.
    EXPECT_EQ(tracePixel(mirrorCorridor(1, 1.0f), 0, 0).b, 127);
    EXPECT_EQ(tracePixel(mirrorCorridor(2, 1.0f), 0, 0).b, 255);
    Scene dim = mirrorCorridor(6, 1.0f);
    for (auto& p : dim.primitives) p->material.color.b = 0.01f;
    EXPECT_EQ(tracePixel(dim, 0, 0).b, 15) << "six segments of 0.01: 0.06 x 255 = 15.3";
    dim.traceDepth = 4;
    EXPECT_EQ(tracePixel(dim, 0, 0).b, 10) << "four segments: 10.2";
}

TEST(Reflection, StopsOnceTheWeightFallsBelowTheCutOff) {
    // Weights 1, 0.4, 0.16, 0.064; the next, 0.0256, ends the trace whatever the
    // depth: 0.5 x 1.624 x 255 = 207.06. A fifth segment would make it 210.
    EXPECT_EQ(tracePixel(mirrorCorridor(4, 0.4f), 0, 0).b, 207);
    EXPECT_EQ(tracePixel(mirrorCorridor(50, 0.4f), 0, 0).b, 207);
    EXPECT_EQ(tracePixel(mirrorCorridor(3, 0.4f), 0, 0).b, 198) << "0.5 x 1.56 x 255 = 198.9";
}

TEST(Reflection, AWeightOfExactlyTheCutOffGoesOn) {
    // After the first segment the weight is exactly 0.05: one more segment
    // follows, 0.5 x 1.05 x 255 = 133.9; then 0.0025 ends it.
    EXPECT_EQ(tracePixel(mirrorCorridor(10, 0.05f), 0, 0).b, 133);
    EXPECT_EQ(tracePixel(mirrorCorridor(10, 0.0499f), 0, 0).b, 127);
}

TEST(Ties, TheEarlierPrimitiveIsShaded) {
    Scene scene = oneSphere(0.0f);
    scene.primitives.push_back(std::make_shared<Sphere>(Vec3{0, 0, 100}, 50.0f, material({0, 1, 0, 1}, 0, 1, 0)));
    EXPECT_EQ(tracePixel(scene, 0, 0), (Pixel{127, 63, 255, 255}));
    std::swap(scene.primitives[0], scene.primitives[1]);
    EXPECT_EQ(tracePixel(scene, 0, 0), (Pixel{0, 255, 0, 255}));
}

}  // namespace
}  // namespace glintworks
