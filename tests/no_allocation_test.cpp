// The per-frame path allocates nothing: frames of both renderers, and a
// viewer's timer ticks, frames, paints and drags through the headless
// platform. Every allocation through operator new is counted by the
// replacements below, so this file is a test program of its own.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#include "platform/headless/headless.h"
#include "scene/default_scene.h"
#include "render/render.h"
#include "viewer/myWindow.h"

namespace {
std::atomic<long> allocations{0};

void* counted(std::size_t size) {
    ++allocations;
    if (void* p = std::malloc(size != 0 ? size : 1)) return p;
    throw std::bad_alloc();
}

void* countedAligned(std::size_t size, std::align_val_t alignment) {
    ++allocations;
    const auto align = static_cast<std::size_t>(alignment);
    // aligned_alloc wants a size that is a multiple of the alignment.
    const std::size_t rounded = (size + align - 1) / align * align;
    if (void* p = std::aligned_alloc(align, rounded != 0 ? rounded : align)) return p;
    throw std::bad_alloc();
}
}  // namespace

void* operator new(std::size_t size) { return counted(size); }
void* operator new[](std::size_t size) { return counted(size); }
void* operator new(std::size_t size, std::align_val_t alignment) { return countedAligned(size, alignment); }
void* operator new[](std::size_t size, std::align_val_t alignment) { return countedAligned(size, alignment); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }

namespace {

using glintworks::ImageRows;
using glintworks::Scene;

// Allocations made by `work`.
template <typename F>
long allocationsOf(F&& work) {
    const long before = allocations.load();
    work();
    return allocations.load() - before;
}

// A sphere the fast renderer does not know, so that the frame takes the literal loop.
struct OtherSphere : glintworks::Sphere {
    using Sphere::Sphere;
};

TEST(NoAllocation, FramesOfBothRenderers) {
    const Scene scene = glintworks::makeDefaultScene();
    Scene other = glintworks::makeDefaultScene();
    other.primitives.push_back(
        std::make_shared<OtherSphere>(glintworks::Vec3{200.0f, 60.0f, 100.0f}, 20.0f, other.primitives[0]->material));
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(1920) * 1080 * 4);
    const ImageRows small{pixels.data(), 320, 240, 320 * 4, false};
    const ImageRows large{pixels.data(), 1920, 1080, 1920 * 4, true};
    glintworks::renderImage(scene, small);  // the SIMD target is chosen on the first frame

    EXPECT_EQ(allocationsOf([&] { glintworks::renderImage(scene, small); }), 0);
    EXPECT_EQ(allocationsOf([&] { glintworks::renderImage(scene, large); }), 0);
    EXPECT_EQ(allocationsOf([&] { glintworks::renderImage(other, small); }), 0) << "the literal loop";
    for (int target = 0; target < glintworks::renderTargetCount(); ++target) {
        glintworks::setRenderTargetForTest(target);
        EXPECT_EQ(allocationsOf([&] { glintworks::renderImage(scene, small); }), 0)
            << glintworks::renderTargetNameAt(target);
    }
    glintworks::setRenderTargetForTest(-1);
}

TEST(NoAllocation, ViewerTicksPaintsAndDrags) {
    pxHeadless::reset();
    Scene scene = glintworks::makeDefaultScene();
    {
        myWindow window{scene};
        ASSERT_EQ(window.create(10, 64, 320, 240), 0);
        window.setVisible(true);
        // Runs the loop for `ms` of virtual time, as the program's loop would.
        const auto runFor = [](std::int64_t ms) {
            const std::int64_t end = pxHeadless::nowMs() + ms;
            while (pxHeadless::nowMs() < end) {
                pxHeadless::dispatchPending();
                pxHeadless::advanceMs(1);
            }
        };
        runFor(100);  // settles: the first ticks, paints and timer records

        const std::int32_t framesBefore = window.frameCount;
        EXPECT_EQ(allocationsOf([&] { runFor(16 * 30); }), 0);
        EXPECT_GE(window.frameCount - framesBefore, 29) << "the ticks rendered frames";

        // A drag, the pointer's events injected beforehand, then its frames.
        pxHeadless::mouseDown(window.handle, pxHeadless::Button::left, 160, 120);
        for (int step = 1; step <= 10; ++step) pxHeadless::mouseMove(window.handle, 160 + step, 120 - step);
        pxHeadless::mouseUp(window.handle, pxHeadless::Button::left, 170, 110);
        pxHeadless::expose(window.handle);
        EXPECT_EQ(allocationsOf([&] { runFor(16 * 10); }), 0);
    }
    pxHeadless::reset();
}

}  // namespace
