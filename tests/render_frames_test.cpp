// Whole frames: the fast renderer against the literal one, byte for byte, for
// every SIMD target this CPU can run, on the default scene and on random scenes.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

// Highway's library, for its own list of targets: Linux only (Debian ships no
// MinGW-w64 or WebAssembly build of it, so those builds of these tests go
// without).
#if !defined(_WIN32) && !defined(__EMSCRIPTEN__)
#include "hwy/targets.h"
#endif
#if defined(__aarch64__) && defined(__linux__)
#include <asm/hwcap.h>
#include <sys/auxv.h>
#include <sys/prctl.h>
#endif
#include "scene/default_scene.h"
#include "render/flatten.h"
#include "render/render.h"
#include "scene/tracer.h"

namespace glintworks {
namespace {

// Pixel memory with `padding` spare bytes after each row, filled with bytes
// from `seed` so that untouched alpha and padding bytes can be told apart.
struct Frame {
    Frame(std::int32_t w, std::int32_t h, std::int32_t padding, bool bottomUp, std::uint32_t seed)
        : memory(static_cast<std::size_t>(h) * static_cast<std::size_t>(4 * w + padding)) {
        rows.width = w;
        rows.height = h;
        rows.stride = 4 * w + padding;
        rows.bottomUp = bottomUp;
        std::mt19937 fill(seed);
        for (auto& byte : memory) byte = static_cast<std::uint8_t>(fill());
        original = memory;
        rows.pixels = memory.data();
    }

    std::vector<std::uint8_t> memory;
    std::vector<std::uint8_t> original;
    ImageRows rows;
};

// Image position of the first byte where two frames of one layout differ.
std::string firstDifference(const Frame& a, const Frame& b) {
    for (std::size_t i = 0; i < a.memory.size(); ++i) {
        if (a.memory[i] == b.memory[i]) continue;
        const auto stride = static_cast<std::size_t>(a.rows.stride);
        const auto memoryRow = static_cast<std::int32_t>(i / stride);
        const auto column = static_cast<std::int32_t>(i % stride);
        const std::int32_t y = a.rows.bottomUp ? a.rows.height - 1 - memoryRow : memoryRow;
        char text[160];
        std::snprintf(text, sizeof text, "pixel (%d, %d) byte %d: %d, expected %d", column / 4, y, column % 4,
                      b.memory[i], a.memory[i]);
        return text;
    }
    return "";
}

// Renders with both renderers into identically filled memory and expects the
// same bytes everywhere, and the alpha and padding bytes as they were.
void expectSameFrame(const Scene& scene, std::int32_t w, std::int32_t h, std::int32_t padding, bool bottomUp,
                     std::uint32_t fillSeed = 7) {
    SCOPED_TRACE(testing::Message() << w << "x" << h << " padding " << padding
                                    << (bottomUp ? " bottom-up" : " top-down"));
    Frame literal(w, h, padding, bottomUp, fillSeed);
    Frame fast(w, h, padding, bottomUp, fillSeed);
    renderImageLiteral(scene, literal.rows);
    renderImage(scene, fast.rows);
    ASSERT_TRUE(fast.memory == literal.memory) << firstDifference(literal, fast);
    for (std::size_t i = 0; i < fast.memory.size(); ++i) {
        const auto column = static_cast<std::int32_t>(i % static_cast<std::size_t>(fast.rows.stride));
        if (column >= 4 * w || column % 4 == 3) {
            ASSERT_EQ(fast.memory[i], fast.original[i]) << "byte " << i;
        }
    }
}

// The words of environment variable `name`, separated by spaces; none where it
// is not set.
std::vector<std::string> wordsOf(const char* name) {
    std::vector<std::string> words;
    const char* value = std::getenv(name);
    std::istringstream in(value != nullptr ? value : "");
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

std::vector<std::string> offeredTargets() {
    std::vector<std::string> offered;
    for (int i = 0; i < renderTargetCount(); ++i) offered.push_back(renderTargetNameAt(i));
    return offered;
}

bool contains(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

// Runs `body` once for each SIMD target that the fast path holds and this CPU
// runs, with renderImage restricted to it. A run that names the targets it is
// for in GLINTWORKS_TEST_TARGETS (the qemu runs for SVE CPUs, see
// render.cmake) runs only those, and fails where one of them is not offered,
// rather than pass having tested others.
template <typename Body>
void forEachTarget(Body body) {
    struct Restore {
        ~Restore() { setRenderTargetForTest(-1); }
    } restore;
    ASSERT_GE(renderTargetCount(), 1);
    EXPECT_STREQ(renderTargetNameAt(renderTargetCount() - 1), "scalar");
    const std::vector<std::string> claimed = wordsOf("GLINTWORKS_TEST_TARGETS");
    for (const std::string& name : claimed) {
        ASSERT_TRUE(contains(offeredTargets(), name)) << name << " is not compiled, or this CPU does not run it";
    }
    for (int target = 0; target < renderTargetCount(); ++target) {
        if (!claimed.empty() && !contains(claimed, renderTargetNameAt(target))) continue;
        setRenderTargetForTest(target);
        SCOPED_TRACE(renderTargetNameAt(target));
        // The dispatch really switched: otherwise this loop tests one target.
        ASSERT_STREQ(renderTargetName(), renderTargetNameAt(target));
        body();
        if (testing::Test::HasFatalFailure()) return;
    }
}

TEST(FastFrames, DefaultSceneMatchesTheLiteralLoopAtEverySize) {
    const Scene scene = makeDefaultScene();
    forEachTarget([&] {
        expectSameFrame(scene, 320, 240, 0, false);
        expectSameFrame(scene, 320, 240, 0, true);
        expectSameFrame(scene, 333, 201, 12, false);
        expectSameFrame(scene, 333, 201, 4, true);
        expectSameFrame(scene, 1, 1, 0, false);
        expectSameFrame(scene, 1, 1, 3, true);
        expectSameFrame(scene, 17, 3, 0, false);
        expectSameFrame(scene, 17, 3, 8, true);
        expectSameFrame(scene, 7, 300, 1, false);
    });
}

TEST(FastFrames, DefaultSceneMatchesAtFullHd) {
    // Only the CPU's own target: the frame is large, and the wide stretch of
    // floor and its reflections to the right of the eye is covered as a whole.
    expectSameFrame(makeDefaultScene(), 1920, 1080, 0, true);
}

TEST(FastFrames, EmptySizesWriteNothing) {
    const Scene scene = makeDefaultScene();
    Frame empty(0, 5, 16, false, 3);
    renderImage(scene, empty.rows);
    EXPECT_EQ(empty.memory, empty.original);
    ImageRows none;  // no pixel memory at all
    none.width = 10;
    none.height = 10;
    renderImage(scene, none);
}

// The dispatch asks the CPU for each target's features with lists of its own,
// since Highway's shared library, which knows them, cannot run under valgrind.
// This program links that library, and both answers must agree, target for
// target: where they differ on the CPU at hand (a newer Highway that asks for
// a feature the CPU lacks), this fails instead of the renderer running
// instructions the CPU does not have, or leaving out a target it could run.
#if defined(__EMSCRIPTEN__)
// WebAssembly has no CPU to ask: a module built with SIMD128 runs it wherever
// it loads. Were that target left out of the dispatch, every frame would take
// the scalar fallback, pictures unchanged and several times slower, and the
// frame tests would hold only the fallback to the tracer.
TEST(RenderTargets, AreWasmSimd128ThenScalar) {
    std::vector<std::string> offered;
    for (int i = 0; i < renderTargetCount(); ++i) offered.push_back(renderTargetNameAt(i));
    EXPECT_EQ(offered, (std::vector<std::string>{"WASM SIMD128", "scalar"}));
    EXPECT_STREQ(renderTargetName(), "WASM SIMD128");
}
#elif defined(__aarch64__)
// Highway's library offers NEON only where the CPU has AES too, and SVE2
// only where it has SVE2's AES, since its code for them may use those; the
// renderer's uses neither (the disassembly checks of render.cmake), so it
// asks the kernel only for Advanced SIMD, SVE and SVE2 (the Raspberry Pi 4
// often has no AES). SVE_256 and SVE2_128 run only at their one vector
// length. And in any case every target that Highway would run is offered.
TEST(RenderTargets, AreSveAndNeonWhereverTheKernelReportsThemThenScalar) {
    const unsigned long hwcap = getauxval(AT_HWCAP);
    const bool sve = (hwcap & HWCAP_SVE) != 0;
    const bool sve2 = sve && (getauxval(AT_HWCAP2) & HWCAP2_SVE2) != 0;
    const int vl = sve ? prctl(PR_SVE_GET_VL) : -1;
    const int bits = vl < 0 ? 0 : 8 * (vl & PR_SVE_VL_LEN_MASK);
    std::vector<std::string> expected;
    if (sve2 && bits == 128) expected.push_back("SVE2_128");
    if (sve && bits == 256) expected.push_back("SVE_256");
    if (sve2) expected.push_back("SVE2");
    if (sve) expected.push_back("SVE");
    if ((hwcap & HWCAP_ASIMD) != 0) expected.push_back("NEON");
    expected.push_back("scalar");
    const std::vector<std::string> offered = offeredTargets();
    EXPECT_EQ(offered, expected);
    EXPECT_STREQ(renderTargetName(), expected.front().c_str());
    const std::int64_t supported = hwy::SupportedTargets();
    for (const std::int64_t target : {HWY_SVE2_128, HWY_SVE_256, HWY_SVE2, HWY_SVE, HWY_NEON}) {
        if ((supported & target) != 0) {
            EXPECT_TRUE(contains(offered, hwy::TargetName(target))) << hwy::TargetName(target);
        }
    }
    // The qemu runs for SVE CPUs (render.cmake) name the vector length they
    // ask for: a run at another length, or without SVE, would test other code.
    const std::vector<std::string> claimedBits = wordsOf("GLINTWORKS_TEST_SVE_BITS");
    if (!claimedBits.empty()) {
        EXPECT_EQ(std::to_string(bits), claimedBits.front());
    }
}
#elif !defined(_WIN32)
TEST(RenderTargets, AreTheOnesHighwaySaysThisCpuRuns) {
    struct Named {
        std::int64_t target;
        const char* name;
    };
    const Named named[] = {{HWY_AVX3, "AVX-512"}, {HWY_AVX2, "AVX2"}, {HWY_SSE4, "SSE4"}, {HWY_SSSE3, "SSSE3"}};
    const std::int64_t supported = hwy::SupportedTargets();
    std::vector<std::string> expected;
    for (const Named& target : named) {
        if ((HWY_TARGETS & target.target) != 0 && (supported & target.target) != 0) expected.push_back(target.name);
    }
    expected.push_back("scalar");
    std::vector<std::string> offered;
    for (int i = 0; i < renderTargetCount(); ++i) offered.push_back(renderTargetNameAt(i));
    EXPECT_EQ(offered, expected);
}
#endif

// ---------------------------------------------------------------------------
// Random scenes

Material randomMaterial(std::mt19937& rng) {
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    Material m;
    m.color = {unit(rng), unit(rng), unit(rng), 1.0f};
    if (unit(rng) < 0.1f) m.color.g = 1.7f;  // over-bright
    const float specularChoice = unit(rng);
    m.specular = specularChoice < 0.2f   ? 0.0f
                 : specularChoice < 0.3f ? 1.0f
                 : specularChoice < 0.4f ? 40.0f
                                         : 0.5f + 2.5f * unit(rng);
    const float powerChoice = unit(rng);
    m.specularPower = powerChoice < 0.3f   ? 12.0f
                      : powerChoice < 0.4f ? 1.0f
                      : powerChoice < 0.5f ? 0.5f
                      : powerChoice < 0.6f ? 400.0f
                                           : 1.0f + 60.0f * unit(rng);
    const float reflectionChoice = unit(rng);
    m.reflection = reflectionChoice < 0.25f  ? 0.0f
                   : reflectionChoice < 0.5f ? 1.0f  // a perfect mirror
                   : reflectionChoice < 0.6f ? 1.25f
                   : reflectionChoice < 0.7f ? 0.4f
                                             : unit(rng);
    m.savedColor = m.color;
    return m;
}

// A scene of spheres and planes in random order and number, lights in random
// places (inside spheres and on the eye's side included), a random eye and a
// random trace depth. Duplicates give exact ties; planes through the eye or
// level with a pixel row give rays that run along them.
Scene randomScene(std::mt19937& rng, std::int32_t w, std::int32_t h) {
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    auto between = [&](float lo, float hi) { return lo + (hi - lo) * unit(rng); };
    Scene scene;
    scene.traceDepth = std::uniform_int_distribution<int>(-1, 6)(rng);
    const float eyeChoice = unit(rng);
    scene.eye = eyeChoice < 0.3f   ? Vec3{std::floor(w / 2.0f), std::floor(h / 2.0f), -60.0f}
                : eyeChoice < 0.4f ? Vec3{between(0, w), between(0, h), 0.0f}  // on the image plane
                                   : Vec3{between(-w, 2.0f * w), between(-h, 2.0f * h), between(-300, -5)};
    const Vec3 eye = scene.eye;

    const int count = std::uniform_int_distribution<int>(0, 7)(rng);
    for (int i = 0; i < count; ++i) {
        const float choice = unit(rng);
        if (!scene.primitives.empty() && choice < 0.1f) {
            // The same object twice.
            scene.primitives.push_back(scene.primitives[rng() % scene.primitives.size()]);
        } else if (!scene.primitives.empty() && choice < 0.2f) {
            // An equal copy in another colour: the earlier one must win the tie.
            const auto& source = scene.primitives[rng() % scene.primitives.size()];
            if (const auto* sphere = dynamic_cast<const Sphere*>(source.get())) {
                scene.primitives.push_back(
                    std::make_shared<Sphere>(sphere->center, sphere->radius, randomMaterial(rng)));
            } else if (const auto* plane = dynamic_cast<const Plane*>(source.get())) {
                scene.primitives.push_back(std::make_shared<Plane>(plane->normal, plane->offset, randomMaterial(rng)));
            }
        } else if (choice < 0.7f) {
            const Vec3 centre{between(-w, 2.0f * w), between(-h, 2.0f * h), between(-50, 300)};
            const float radius = unit(rng) < 0.05f ? 0.0f : between(1, 1.5f * static_cast<float>(w + h));
            scene.primitives.push_back(std::make_shared<Sphere>(centre, radius, randomMaterial(rng)));
        } else {
            Vec3 normal;
            float offset;
            const float kind = unit(rng);
            if (kind < 0.3f) {
                // A floor or wall along the axes, somewhere in view.
                const int axis = static_cast<int>(rng() % 3);
                const float sign = rng() % 2 ? 1.0f : -1.0f;
                normal = {axis == 0 ? sign : 0.0f, axis == 1 ? sign : 0.0f, axis == 2 ? sign : 0.0f};
                offset = -sign * (axis == 0   ? between(-w, 2.0f * w)
                                  : axis == 1 ? between(-h, 2.0f * h)
                                              : between(10, 400));
            } else if (kind < 0.45f) {
                // Level with the eye's pixel row, or through the eye itself.
                normal = {0.0f, rng() % 2 ? 1.0f : -1.0f, 0.0f};
                offset = unit(rng) < 0.5f ? -normal.y * eye.y : -normal.y * std::floor(between(0, h));
            } else if (kind < 0.5f) {
                normal = {0.0f, 0.0f, 0.0f};  // degenerate: never hit
                offset = 5.0f;
            } else {
                // Any direction, not of unit length.
                normal = {between(-2, 2), between(-2, 2), between(-2, 2)};
                offset = between(-300, 300);
            }
            scene.primitives.push_back(std::make_shared<Plane>(normal, offset, randomMaterial(rng)));
        }
    }

    const int lights = std::uniform_int_distribution<int>(0, 4)(rng);
    for (int i = 0; i < lights; ++i) {
        Vec3 position{between(-w, 2.0f * w), between(-2.0f * h, 2.0f * h), between(-300, 300)};
        const float where = unit(rng);
        if (where < 0.1f) position = eye;
        if (where >= 0.1f && where < 0.2f && !scene.primitives.empty()) {
            if (const auto* sphere = dynamic_cast<const Sphere*>(scene.primitives[0].get())) position = sphere->center;
        }
        const float brightness = unit(rng) < 0.15f ? 0.0f : between(0.2f, 1.5f);
        scene.lights.emplace_back(Color4{brightness, between(0, 1), brightness, 1.0f}, position);
    }
    return scene;
}

TEST(FastFrames, RandomScenesMatchTheLiteralLoop) {
    forEachTarget([&] {
        for (std::uint32_t seed = 1; seed <= 250; ++seed) {
            SCOPED_TRACE(testing::Message() << "random scene seed " << seed);
            std::mt19937 rng(seed);
            const std::int32_t w = std::uniform_int_distribution<std::int32_t>(1, 41)(rng);
            const std::int32_t h = std::uniform_int_distribution<std::int32_t>(1, 23)(rng);
            const Scene scene = randomScene(rng, w, h);
            expectSameFrame(scene, w, h, static_cast<std::int32_t>(rng() % 9), rng() % 2 == 0, seed);
            if (testing::Test::HasFatalFailure()) return;
        }
    });
}

TEST(FastFrames, DefaultSceneWithRandomLightsEyeAndMaterialsMatches) {
    // Larger pictures of a familiar layout: highlights of every size, shadows
    // and chains of mirror images.
    forEachTarget([&] {
        for (std::uint32_t seed = 1; seed <= 12; ++seed) {
            SCOPED_TRACE(testing::Message() << "varied default scene seed " << seed);
            std::mt19937 rng(seed);
            std::uniform_real_distribution<float> unit(0.0f, 1.0f);
            Scene scene = makeDefaultScene();
            scene.traceDepth = static_cast<std::int32_t>(rng() % 7);
            scene.eye = {80.0f + 160.0f * unit(rng), 40.0f + 160.0f * unit(rng), -120.0f - 240.0f * unit(rng)};
            // makeDefaultScene made these objects for this scene alone.
            for (const auto& primitive : scene.primitives) {
                if (rng() % 2) primitive->material = randomMaterial(rng);
            }
            if (rng() % 3 == 0) scene.lights.emplace_back(Color4{1, 1, 1, 1}, Vec3{unit(rng) * 320, 100, -50});
            expectSameFrame(scene, 160, 120, 0, rng() % 2 == 0, seed);
            if (testing::Test::HasFatalFailure()) return;
        }
    });
}

// ---------------------------------------------------------------------------
// Culling boxes: every sphere test, shadow test and highlight that the tracer
// itself would find lies inside the box that lets the fast path skip it.

// The tracer's own float steps for one pixel's eye ray meeting one plane:
// hit point, unit normal, mirrored direction.
struct PlaneHit {
    float t = 0.0f;
    Vec3 point, normal, mirrored;
};

bool eyeRayMeetsPlane(const Ray& ray, const Plane& plane, PlaneHit& hit) {
    float t = kFarDistance;
    if (!plane.intersect(ray, t)) return false;
    hit.t = t;
    hit.point = ray.origin + t * ray.direction;
    const Vec3 n = plane.normalAt(hit.point);
    const float nn = dot(n, n);
    if (nn == 0.0f) return false;
    hit.normal = n * (1.0f / std::sqrt(nn));
    const Vec3 d = ray.direction;
    hit.mirrored = d - (2.0f * dot(hit.normal, d)) * hit.normal;
    return true;
}

bool insideBox(const PixelBox& box, std::int32_t x, std::int32_t y) {
    return x >= box.x0 && x <= box.x1 && y >= box.y0 && y <= box.y1;
}

std::int32_t tierOf(float t) {
    std::int32_t tier = 0;
    while (tier + 1 < kCullTiers && !(t <= kTierReach[tier])) ++tier;
    return tier;
}

// The objects of the flattened scene's sphere and plane arrays, by position.
void flatPrimitives(const Scene& scene, const FlatScene& flat, std::vector<const Sphere*>& spheres,
                    std::vector<const Plane*>& planes) {
    for (std::int32_t i = 0; i < flat.primitiveCount; ++i) {
        // flattenScene keeps the first of repeated objects, in scan order.
        const Primitive* primitive = nullptr;
        std::int32_t seen = -1;
        for (const auto& entry : scene.primitives) {
            bool repeat = false;
            for (const auto& earlier : scene.primitives) {
                if (&earlier == &entry) break;
                repeat = repeat || earlier.get() == entry.get();
            }
            if (!repeat && ++seen == i) primitive = entry.get();
        }
        if (flat.kind[i] == FlatScene::kSphere) spheres.push_back(static_cast<const Sphere*>(primitive));
        if (flat.kind[i] == FlatScene::kPlane) planes.push_back(static_cast<const Plane*>(primitive));
    }
}

// Checks every box of `scene` against the tracer's float tests for every
// pixel of a w x h image; returns the first pixel and test that escapes its
// box, or "".
std::string firstEscape(const Scene& scene, std::int32_t w, std::int32_t h) {
    static FlatScene flat;  // large; one is enough
    if (!flattenScene(scene, flat)) return "";
    std::vector<const Sphere*> spheres;
    std::vector<const Plane*> planes;
    flatPrimitives(scene, flat, spheres, planes);
    const std::int32_t culledSpheres = std::min<std::int32_t>(flat.sphereCount, kCullSpheres);
    const std::int32_t culledLights = std::min<std::int32_t>(flat.lightCount, kCullLights);
    char text[200];
    for (std::int32_t y = 0; y < h; ++y) {
        for (std::int32_t x = 0; x < w; ++x) {
            const Ray eyeRay = primaryRay(scene, x, y);
            for (std::int32_t j = 0; j < culledSpheres; ++j) {
                float t = kFarDistance;
                if (spheres[j]->intersect(eyeRay, t) && !insideBox(flat.eyeBox[j], x, y)) {
                    std::snprintf(text, sizeof text, "pixel (%d, %d): eye ray meets sphere %d outside its box", x, y,
                                  j);
                    return text;
                }
            }
            for (std::int32_t p = 0; p < flat.cullPlaneCount; ++p) {
                PlaneHit hit;
                if (!eyeRayMeetsPlane(eyeRay, *planes[p], hit)) continue;
                const std::int32_t tier = tierOf(hit.t);
                const Ray mirrored{hit.point, hit.mirrored};
                for (std::int32_t j = 0; j < culledSpheres; ++j) {
                    float t = kFarDistance;
                    if (spheres[j]->intersect(mirrored, t) && !insideBox(flat.mirrorBox[p][tier][j], x, y)) {
                        std::snprintf(text, sizeof text, "pixel (%d, %d): mirrored ray off plane %d meets sphere %d", x,
                                      y, p, j);
                        return text;
                    }
                }
                for (std::int32_t k = 0; k < culledLights; ++k) {
                    const Light& light = scene.lights[static_cast<std::size_t>(k)];
                    const Vec3 lv = light.position - hit.point;
                    const float d2 = dot(lv, lv);
                    if (d2 == 0.0f) continue;
                    const float dist = std::sqrt(d2);
                    const Vec3 l = lv * (1.0f / dist);
                    const float nl = dot(hit.normal, l);
                    if (nl <= 0.0f) continue;
                    const Ray shadow{hit.point, l};
                    for (std::int32_t j = 0; j < culledSpheres; ++j) {
                        float bound = dist;
                        if (spheres[j]->intersect(shadow, bound) && !insideBox(flat.shadowBox[p][tier][k][j], x, y)) {
                            std::snprintf(text, sizeof text,
                                          "pixel (%d, %d): sphere %d blocks light %d from plane %d outside its box", x,
                                          y, j, k, p);
                            return text;
                        }
                    }
                    const Vec3 r = l - (2.0f * nl) * hit.normal;
                    float s = dot(r, eyeRay.direction);
                    if (s <= 0.0f) s = 0.0f;
                    const float threshold = flat.highlightBelow[k][flat.planeIndex[p]];
                    if (!(s < threshold) && !insideBox(flat.highlightBox[p][k], x, y)) {
                        std::snprintf(text, sizeof text, "pixel (%d, %d): highlight of light %d on plane %d (%.9g)", x,
                                      y, k, p, s);
                        return text;
                    }
                }
            }
        }
    }
    return "";
}

// Follows the trace of every pixel of a w x h image as the tracer makes it
// and, at each hit on one of the culled spheres, holds every primitive whose
// test blocks a culled light against that sphere's shadowers for the tier of
// the hit distance; returns the first that is missing, or "".
std::string firstMissingShadower(const Scene& scene, std::int32_t w, std::int32_t h) {
    static FlatScene flat;
    if (!flattenScene(scene, flat)) return "";
    std::vector<const Sphere*> spheres;
    std::vector<const Plane*> planes;
    flatPrimitives(scene, flat, spheres, planes);
    const auto culledSpheres = static_cast<std::size_t>(std::min<std::int32_t>(flat.sphereCount, kCullSpheres));
    const auto culledLights = static_cast<std::size_t>(std::min<std::int32_t>(flat.lightCount, kCullLights));
    auto position = [](const auto& list, const Primitive* primitive) {
        const auto at = std::find(list.begin(), list.end(), primitive);
        return at == list.end() ? -1 : static_cast<std::int32_t>(at - list.begin());
    };
    char text[200];
    for (std::int32_t y = 0; y < h; ++y) {
        for (std::int32_t x = 0; x < w; ++x) {
            Ray ray = primaryRay(scene, x, y);
            float coefficient = 1.0f;
            for (std::int32_t level = 0; level < scene.traceDepth; ++level) {
                float nearest = kFarDistance;
                const Primitive* hit = nullptr;
                for (const auto& primitive : scene.primitives) {
                    if (primitive->intersect(ray, nearest)) hit = primitive.get();
                }
                if (hit == nullptr) break;
                const Vec3 p = ray.origin + nearest * ray.direction;
                Vec3 n = hit->normalAt(p);
                const float nn = dot(n, n);
                if (nn == 0.0f) break;
                n = n * (1.0f / std::sqrt(nn));
                const std::int32_t j = position(spheres, hit);
                for (std::size_t k = 0; j >= 0 && static_cast<std::size_t>(j) < culledSpheres && k < culledLights;
                     ++k) {
                    const Vec3 lv = scene.lights[k].position - p;
                    const float d2 = dot(lv, lv);
                    if (d2 == 0.0f) continue;
                    const float dist = std::sqrt(d2);
                    const Vec3 l = lv * (1.0f / dist);
                    if (dot(n, l) <= 0.0f) continue;
                    const std::int32_t tier = tierOf(nearest);
                    const Ray shadow{p, l};
                    for (const auto& primitive : scene.primitives) {
                        float bound = dist;
                        if (primitive.get() == hit || !primitive->intersect(shadow, bound)) continue;
                        const std::int32_t i = position(spheres, primitive.get());
                        const std::int32_t q = position(planes, primitive.get());
                        const std::uint64_t mask =
                            i >= 0 ? flat.sphereShadowers[tier][k][j] : flat.planeShadowers[tier][k][j];
                        if ((mask >> (i >= 0 ? i : q) & 1) != 0) continue;
                        std::snprintf(text, sizeof text,
                                      "pixel (%d, %d) segment %d: %s %d blocks light %zu from sphere %d", x, y, level,
                                      i >= 0 ? "sphere" : "plane", i >= 0 ? i : q, k, j);
                        return text;
                    }
                }
                coefficient *= hit->material.reflection;
                if (coefficient < kMinCoefficient) break;
                const Vec3 d = ray.direction;
                ray.origin = p;
                ray.direction = d - (2.0f * dot(n, d)) * n;
            }
        }
    }
    return "";
}

// A scene built to put culling boxes to the test: a floor (or a tilted or
// second plane) below the eye, spheres resting on it, hovering just above it
// and cut by it, some far off and some beside the eye, lights high and just
// above the floor, a mirror floor and grazing eye rays towards the horizon.
Scene boxScene(std::mt19937& rng, std::int32_t w, std::int32_t h) {
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    auto between = [&](float lo, float hi) { return lo + (hi - lo) * unit(rng); };
    Scene scene;
    scene.traceDepth = std::uniform_int_distribution<int>(1, 4)(rng);
    const float eyeHeight = between(0.3f, 1.0f) * static_cast<float>(h);
    scene.eye = {between(0, w), eyeHeight, unit(rng) < 0.85f ? -between(20, 400) : between(5, 200)};
    const float floorY = unit(rng) < 0.3f ? eyeHeight + between(0.01f, 2.0f) : eyeHeight + between(2, 300);
    Material mirror = randomMaterial(rng);
    mirror.reflection = unit(rng) < 0.7f ? 1.0f : mirror.reflection;
    mirror.specular = unit(rng) < 0.5f ? 1.0f : mirror.specular;
    Vec3 floorNormal{0.0f, -1.0f, 0.0f};
    if (unit(rng) < 0.25f) floorNormal = {between(-0.3f, 0.3f), -1.0f, between(-0.3f, 0.3f)};  // tilted
    if (unit(rng) < 0.1f) floorNormal = {0.0f, -2.5f, 0.0f};                                   // not of unit length
    const float offset = -floorNormal.y * floorY * (floorNormal.y < 0 ? -1.0f : 1.0f);
    auto floor = std::make_shared<Plane>(floorNormal, floorNormal.y < 0 ? floorY * -floorNormal.y : offset, mirror);
    const int spheres = std::uniform_int_distribution<int>(1, 6)(rng);
    std::vector<std::shared_ptr<Primitive>> list;
    for (int i = 0; i < spheres; ++i) {
        const float radius = between(2, 0.6f * static_cast<float>(w));
        const float where = unit(rng);
        float cy = floorY - radius;  // resting on the floor
        if (where < 0.25f)
            cy = floorY - radius - between(0.001f, 3);  // just above it
        else if (where < 0.45f)
            cy = floorY - between(0, radius);  // cut by it
        else if (where < 0.6f)
            cy = between(-h, floorY);
        const float cz = unit(rng) < 0.15f ? scene.eye.z + between(-radius, radius) : between(-100, 2000);
        list.push_back(std::make_shared<Sphere>(Vec3{between(-w, 2.0f * w), cy, cz}, radius, randomMaterial(rng)));
    }
    list.insert(list.begin() + static_cast<std::ptrdiff_t>(rng() % (list.size() + 1)), floor);
    if (unit(rng) < 0.3f) {
        // A wall, a second cull plane.
        list.push_back(std::make_shared<Plane>(Vec3{1.0f, 0.0f, 0.0f}, -between(-w, 2.0f * w), randomMaterial(rng)));
    }
    if (unit(rng) < 0.15f) {
        // A third plane, beyond the cull planes.
        list.push_back(std::make_shared<Plane>(Vec3{0.0f, 0.0f, -1.0f}, between(300, 3000), randomMaterial(rng)));
    }
    scene.primitives = list;
    const int lights = std::uniform_int_distribution<int>(1, 3)(rng);
    for (int i = 0; i < lights; ++i) {
        Vec3 position{between(-w, 2.0f * w), between(-2.0f * h, floorY), between(-300, 600)};
        if (unit(rng) < 0.25f) position.y = floorY - between(0.01f, 5);  // just above the floor
        const float brightness = between(0.3f, 1.2f);
        scene.lights.emplace_back(unit(rng) < 0.5f ? Color4{1, 1, 1, 1} : Color4{brightness, 0.7f, brightness, 1},
                                  position);
    }
    return scene;
}

TEST(CullingBoxes, HoldEverythingTheTracerFinds) {
    for (std::uint32_t seed = 1; seed <= 1000; ++seed) {
        std::mt19937 rng(seed);
        const std::int32_t w = std::uniform_int_distribution<std::int32_t>(16, 160)(rng);
        const std::int32_t h = std::uniform_int_distribution<std::int32_t>(8, 120)(rng);
        const Scene scene = boxScene(rng, w, h);
        const std::string escape = firstEscape(scene, w, h);
        ASSERT_EQ(escape, "") << "box scene seed " << seed << " (" << w << "x" << h << ")";
        ASSERT_EQ(firstMissingShadower(scene, w, h), "") << "box scene seed " << seed << " (" << w << "x" << h << ")";
    }
}

TEST(CullingBoxes, HoldForTheDefaultSceneInAFullHdWindowAndRandomScenes) {
    EXPECT_EQ(firstEscape(makeDefaultScene(), 1920, 1080), "");
    EXPECT_EQ(firstMissingShadower(makeDefaultScene(), 1920, 1080), "");
    for (std::uint32_t seed = 1; seed <= 250; ++seed) {
        std::mt19937 rng(seed);
        const std::int32_t w = std::uniform_int_distribution<std::int32_t>(1, 41)(rng);
        const std::int32_t h = std::uniform_int_distribution<std::int32_t>(1, 23)(rng);
        const Scene scene = randomScene(rng, w, h);
        ASSERT_EQ(firstEscape(scene, w, h), "") << "random scene seed " << seed;
        ASSERT_EQ(firstMissingShadower(scene, w, h), "") << "random scene seed " << seed;
    }
}

// Spheres that dip into the floor by a little of their radius, seen from
// below the floor, with lights above it and two far off to the sides just
// above it, which light the sides of the caps: the floor shadows the caps, so
// it must stay on those spheres' shadow lists.
TEST(CullingBoxes, HoldForSpheresDippingIntoTheFloorSeenFromBelow) {
    for (const float dip : {0.02f, 0.05f, 0.3f}) {
        Scene scene = makeDefaultScene();
        scene.eye = {160.0f, 320.0f, -240.0f};
        scene.lights.emplace_back(Color4{1, 1, 1, 1}, Vec3{4000.0f, 238.0f, -100.0f});
        scene.lights.emplace_back(Color4{1, 1, 1, 1}, Vec3{-4000.0f, 239.5f, -100.0f});
        for (std::int32_t i = 0; i < 4; ++i) {
            const float radius = 20.0f + 5.0f * static_cast<float>(i);
            // Between the eye and the image plane, where rays through the
            // pixels are still below the floor.
            const Vec3 centre{80.0f + 50.0f * static_cast<float>(i), 240.0f - (1.0f - dip) * radius, -100.0f};
            scene.primitives.push_back(std::make_shared<Sphere>(centre, radius, scene.primitives[i % 3]->material));
        }
        SCOPED_TRACE(testing::Message() << "dip " << dip);
        EXPECT_EQ(firstMissingShadower(scene, 320, 240), "");
        forEachTarget([&] { expectSameFrame(scene, 320, 240, 0, false); });
    }
}

TEST(FastFrames, ScenesThatTestTheCullingBoxesMatch) {
    forEachTarget([&] {
        for (std::uint32_t seed = 1; seed <= 400; ++seed) {
            SCOPED_TRACE(testing::Message() << "box scene seed " << seed);
            std::mt19937 rng(seed);
            const std::int32_t w = std::uniform_int_distribution<std::int32_t>(16, 160)(rng);
            const std::int32_t h = std::uniform_int_distribution<std::int32_t>(8, 120)(rng);
            const Scene scene = boxScene(rng, w, h);
            expectSameFrame(scene, w, h, 0, rng() % 2 == 0, seed);
            if (testing::Test::HasFatalFailure()) return;
        }
    });
}

TEST(FastFrames, ScenesBeyondTheCullingLimitsMatch) {
    forEachTarget([&] {
        // More spheres and lights than the boxes cover: the rest is always tested.
        std::mt19937 rng(99);
        std::uniform_real_distribution<float> unit(0.0f, 1.0f);
        Scene many = makeDefaultScene();
        for (int i = 0; i < kCullSpheres + 3; ++i) {
            const Vec3 centre{-200.0f + 700.0f * unit(rng), 40.0f + 190.0f * unit(rng), 100.0f + 600.0f * unit(rng)};
            many.primitives.insert(many.primitives.begin() + static_cast<std::ptrdiff_t>(rng() % 4),
                                   std::make_shared<Sphere>(centre, 5.0f + 30.0f * unit(rng), randomMaterial(rng)));
        }
        for (int i = 0; i < kCullLights + 2; ++i) {
            many.lights.emplace_back(Color4{0.3f, 0.3f, 0.3f, 1}, Vec3{640.0f * unit(rng), -100.0f, -100.0f});
        }
        expectSameFrame(many, 200, 150, 0, false);

        // Coordinates too large for the margins: culling is off.
        Scene huge = makeDefaultScene();
        huge.eye = {160.0f, 120.0f, -3e6f};
        expectSameFrame(huge, 64, 48, 0, false);
        huge.eye = {160.0f, 120.0f, -240.0f};
        huge.lights[0].position = {10.0f, -2e7f, -120.0f};
        expectSameFrame(huge, 64, 48, 0, false);

        // The eye behind the image plane, looking back at it.
        Scene behind = makeDefaultScene();
        behind.eye = {160.0f, 120.0f, 900.0f};
        expectSameFrame(behind, 160, 120, 0, false);
    });
}

TEST(FastFrames, HighlightEstimatesOnlyWhereEveryNormalIsAUnitVector) {
    // The renderer skips the exact highlight cosine where an estimate shows it
    // below the threshold, with a margin that holds for unit vectors only.
    static FlatScene flat;
    ASSERT_TRUE(flattenScene(makeDefaultScene(), flat));
    EXPECT_EQ(flat.highlightSure[0][0], flat.highlightBelow[0][0] - kCosineEstimateMargin);

    // A sphere so small that the squares of its normals' lengths are
    // subnormal floats, whose normals are then not unit vectors: no estimates.
    Scene tiny = makeDefaultScene();
    std::mt19937 rng(5);
    tiny.primitives.push_back(std::make_shared<Sphere>(Vec3{0.0f, 0.0f, 0.0f}, 1e-20f, randomMaterial(rng)));
    ASSERT_TRUE(flattenScene(tiny, flat));
    for (std::int32_t k = 0; k < flat.lightCount; ++k) {
        for (std::int32_t i = 0; i < flat.primitiveCount; ++i) EXPECT_EQ(flat.highlightSure[k][i], -HUGE_VALF);
    }
    forEachTarget([&] { expectSameFrame(tiny, 160, 120, 0, false); });
}

TEST(FastFrames, SumsOutsideTheByteRangeMatch) {
    // Lights of huge, negative and NaN colours make sums far above 1, a little
    // and far below 0, and NaN, each of which has its own byte.
    Scene scene = makeDefaultScene();
    scene.lights[0].color = {-1e30f, 1e30f, -0.004f, 1.0f};
    scene.lights[1].color = {std::nanf(""), -3.0f, 2.0f, 1.0f};
    forEachTarget([&] { expectSameFrame(scene, 320, 240, 0, false); });
}

// ---------------------------------------------------------------------------
// Scenes the fast path must leave to the literal loop

// A sphere that reports hits twice as far out as its radius.
class InflatedSphere : public Sphere {
public:
    using Sphere::Sphere;
    bool intersect(const Ray& ray, float& distance) const override {
        const Sphere twice(center, 2.0f * radius, material);
        return twice.intersect(ray, distance);
    }
};

TEST(FastFrames, PrimitivesOfOtherTypesGoThroughTheLiteralLoop) {
    // Were the fast path to treat these as a plain Sphere or skip them, the
    // pictures would differ.
    Scene inflated = makeDefaultScene();
    const auto& first = dynamic_cast<const Sphere&>(*inflated.primitives[0]);
    inflated.primitives[0] = std::make_shared<InflatedSphere>(first.center, first.radius, first.material);
    expectSameFrame(inflated, 320, 240, 0, false);

    // The base class hits nothing but still takes part, and its material is read.
    Scene base = makeDefaultScene();
    base.primitives.insert(base.primitives.begin() + 1, std::make_shared<Primitive>());
    expectSameFrame(base, 64, 48, 0, false);
}

TEST(FastFrames, MorePrimitivesOrLightsThanFitStillMatch) {
    Scene manyPrimitives = makeDefaultScene();
    while (manyPrimitives.primitives.size() <= static_cast<std::size_t>(kFastMaxPrimitives)) {
        manyPrimitives.primitives.push_back(manyPrimitives.primitives[manyPrimitives.primitives.size() % 4]);
    }
    expectSameFrame(manyPrimitives, 40, 30, 0, false);

    Scene manyLights = makeDefaultScene();
    while (manyLights.lights.size() <= static_cast<std::size_t>(kFastMaxLights)) {
        manyLights.lights.emplace_back(Color4{0.05f, 0.05f, 0.05f, 1},
                                       Vec3{10.0f * manyLights.lights.size(), -50, -60});
    }
    expectSameFrame(manyLights, 40, 30, 0, false);
}

}  // namespace
}  // namespace glintworks
