// The viewer window through the headless platform: frames, row order, keys,
// quitting, and the mouse driving the shared scene.

#include <gtest/gtest.h>

#include <vector>

#include "platform/headless/headless.h"
#include "platform/platform.h"
#include "scene/default_scene.h"
#include "render/render.h"
#include "viewer/myWindow.h"

namespace {

using glintworks::Scene;
using glintworks::Sphere;
using glintworks::Vec3;

class Viewer : public ::testing::Test {
protected:
    void SetUp() override {
        pxHeadless::reset();
        ASSERT_EQ(window.create(10, 64, 320, 240), 0);
        window.setTitle("Glintworks");
        window.setVisible(true);
    }
    void TearDown() override { pxHeadless::reset(); }

    // Runs the loop for `ms` of virtual time.
    pxHeadless::PumpResult runFor(std::int64_t ms) {
        pxHeadless::PumpResult total;
        const std::int64_t end = pxHeadless::nowMs() + ms;
        while (pxHeadless::nowMs() < end && !total.quit) {
            const auto step = pxHeadless::dispatchPending();
            total.dispatched += step.dispatched;
            total.quit = step.quit;
            if (!total.quit) pxHeadless::advanceMs(1);
        }
        return total;
    }

    Scene scene = glintworks::makeDefaultScene();
    myWindow window{scene};
};

// The default scene as the renderer draws it into a top-down buffer.
std::vector<std::uint8_t> reference(std::int32_t w, std::int32_t h) {
    const Scene scene = glintworks::makeDefaultScene();
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(w) * h * 4, 0);
    glintworks::renderImage(scene, {pixels.data(), w, h, w * 4, false});
    return pixels;
}

bool sameColours(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); i += 4) {
        if (a[i] != b[i] || a[i + 1] != b[i + 1] || a[i + 2] != b[i + 2]) return false;
    }
    return true;
}

TEST_F(Viewer, CreationRendersTheFirstFrameAndTheTickPaintsIt) {
    EXPECT_GE(window.frameCount, 1) << "the resize sent during creation renders a frame";
    EXPECT_EQ(window.offscreen.width, 320);
    EXPECT_EQ(window.offscreen.height, 240);
    ASSERT_EQ(pxHeadless::timers(window.handle).size(), 1u);
    EXPECT_EQ(pxHeadless::timers(window.handle)[0].periodMs, 16u);

    runFor(40);
    const pxHeadless::Image image = pxHeadless::windowImage(window.handle);
    ASSERT_EQ(image.width, 320);
    ASSERT_EQ(image.height, 240);
    EXPECT_TRUE(sameColours(image.bgra, reference(320, 240))) << "the window shows the rendered scene";
}

TEST_F(Viewer, EveryTickAndEveryResizeCountsOneFrame) {
    runFor(1);
    const std::int32_t start = window.frameCount;
    runFor(16 * 10);
    EXPECT_EQ(window.frameCount - start, 10) << "ten ticks of 16 ms";
    pxHeadless::resize(window.handle, 200, 100);
    pxHeadless::resize(window.handle, 200, 100);
    pxHeadless::dispatchPending();
    EXPECT_EQ(window.frameCount - start, 12) << "a resize to the same size renders again too";
    EXPECT_EQ(window.offscreen.width, 200);
    pxHeadless::resize(window.handle, 0, 0);
    pxHeadless::dispatchPending();
    EXPECT_EQ(window.frameCount - start, 13) << "a minimised window's empty frame still counts";
    EXPECT_EQ(window.offscreen.pixels, nullptr);
    runFor(16 * 3);  // ticks on an empty buffer trace and paint nothing, safely
    pxHeadless::resize(window.handle, 64, 48);
    runFor(20);
    EXPECT_TRUE(sameColours(pxHeadless::windowImage(window.handle).bgra, reference(64, 48)));
}

TEST_F(Viewer, RefusedBufferLeavesAnEmptyFrameThatStillCounts) {
    pxHeadless::failDibSections(1);
    const std::int32_t before = window.frameCount;
    pxHeadless::resize(window.handle, 400, 300);
    pxHeadless::dispatchPending();
    EXPECT_EQ(window.frameCount, before + 1);
    EXPECT_EQ(window.offscreen.pixels, nullptr);
    EXPECT_EQ(window.offscreen.width, 0);
    runFor(40);
    pxHeadless::resize(window.handle, 400, 301);
    pxHeadless::dispatchPending();
    EXPECT_EQ(window.offscreen.width, 400) << "the next size gets its buffer";
}

TEST_F(Viewer, AWindowImageMemoryCannotAffordKeepsThePictureAndTheRun) {
    pxHeadless::limitWindowImageBytes(320 * 240 * 4);
    pxHeadless::resize(window.handle, 4000, 3000);
    runFor(40);
    EXPECT_EQ(window.offscreen.width, 320);
    EXPECT_TRUE(sameColours(pxHeadless::windowImage(window.handle).bgra, reference(320, 240)));
    pxHeadless::keyUp(window.handle, VK_ESCAPE);
    EXPECT_TRUE(runFor(50).quit);
}

TEST_F(Viewer, EscQuitsOnReleaseOnly) {
    pxHeadless::keyDown(window.handle, VK_ESCAPE);
    EXPECT_FALSE(runFor(50).quit);
    EXPECT_EQ(window.scene.keyDown[27], 1);
    pxHeadless::keyUp(window.handle, VK_ESCAPE);
    EXPECT_TRUE(runFor(50).quit);
    EXPECT_EQ(window.scene.keyDown[27], 0);
}

TEST_F(Viewer, OtherKeysOnlyMarkTheirFlag) {
    pxHeadless::keyDown(window.handle, 'A');
    pxHeadless::keyDown(window.handle, 'A');  // auto-repeat
    pxHeadless::keyDown(window.handle, VK_RCONTROL);
    runFor(5);
    EXPECT_EQ(window.scene.keyDown['A'], 1);
    EXPECT_EQ(window.scene.keyDown[17], 1);
    pxHeadless::keyUp(window.handle, 'A');
    EXPECT_FALSE(runFor(50).quit);
    EXPECT_EQ(window.scene.keyDown['A'], 0);
    EXPECT_EQ(window.scene.keyDown[17], 1);
}

TEST_F(Viewer, KeyCodesOutsideTheTableWriteNothing) {
    const auto before = window.scene.keyDown;
    window.handleKeyPress(256, 0);
    window.handleKeyPress(0xFFFFFFFFu, 0);
    window.handleKeyRelease(65535, 0);
    EXPECT_EQ(window.scene.keyDown, before);
}

TEST_F(Viewer, CloseButtonQuits) {
    pxHeadless::closeButton(window.handle);
    EXPECT_TRUE(runFor(50).quit);
}

TEST_F(Viewer, DraggingMovesThePrimitiveTheEntrySceneHolds) {
    pxHeadless::mouseMove(window.handle, 160, 120);
    pxHeadless::mouseDown(window.handle, pxHeadless::Button::left, 160, 120);
    pxHeadless::mouseMove(window.handle, 170, 110);
    runFor(5);
    const auto& orange = static_cast<const Sphere&>(*scene.primitives[1]);
    EXPECT_EQ(orange.center, (Vec3{138, 134, 160}));
    EXPECT_EQ(orange.material.color.r, 1.4f) << "doubled while held";
    // Dragged outside the window while captured: negative coordinates arrive.
    pxHeadless::mouseMove(window.handle, -30, 110);
    runFor(5);
    EXPECT_EQ(orange.center, (Vec3{-62, 134, 160}));
    pxHeadless::mouseUp(window.handle, pxHeadless::Button::left, -30, 110);
    runFor(5);
    EXPECT_EQ(orange.material.color.r, 0.7f);
    EXPECT_EQ(window.scene.drag.selected, nullptr);
}

TEST_F(Viewer, CtrlHeldDragsInDepth) {
    pxHeadless::keyDown(window.handle, VK_CONTROL);
    pxHeadless::mouseMove(window.handle, 160, 120);
    pxHeadless::mouseDown(window.handle, pxHeadless::Button::left, 160, 120);
    pxHeadless::mouseMove(window.handle, 170, 110);
    runFor(5);
    EXPECT_EQ(static_cast<const Sphere&>(*scene.primitives[1]).center, (Vec3{138, 144, 170}));
}

TEST(ViewerFrames, TopDownAndBottomUpBuffersShowTheSamePicture) {
    const Scene scene = glintworks::makeDefaultScene();
    myWindow window(scene);
    constexpr std::int32_t w = 320, h = 240;
    std::vector<std::uint8_t> topDown(w * h * 4, 0x5A), bottomUp(w * h * 4, 0xA5);
    pxBuffer a;
    a.pixels = topDown.data();
    a.width = w;
    a.height = h;
    a.stride = w * 4;
    a.bottomUp = false;
    pxBuffer b = a;
    b.pixels = bottomUp.data();
    b.bottomUp = true;
    window.renderFrame(a);
    window.renderFrame(b);
    EXPECT_EQ(window.frameCount, 2);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const std::uint8_t* p = &topDown[(y * w + x) * 4];
            const std::uint8_t* q = &bottomUp[((h - 1 - y) * w + x) * 4];
            ASSERT_TRUE(p[0] == q[0] && p[1] == q[1] && p[2] == q[2]) << x << "," << y;
            ASSERT_EQ(p[3], 0x5A) << "alpha untouched";
            ASSERT_EQ(q[3], 0xA5) << "alpha untouched";
        }
    }
    // Top-left of the picture is black sky, the bottom rows are the floor.
    EXPECT_EQ(topDown[0] | topDown[1] | topDown[2], 0);
    EXPECT_NE(topDown[((h - 1) * w + w / 2) * 4 + 2], 0);
}

TEST(ViewerFrames, AnEmptyBufferIsCountedAndUntouched) {
    const Scene scene = glintworks::makeDefaultScene();
    myWindow window(scene);
    pxBuffer empty;
    window.renderFrame(empty);
    window.renderFrame(window.offscreen);
    EXPECT_EQ(window.frameCount, 2);
}

TEST(ViewerCreation, ARefusedWindowIsReportedWithItsReason) {
    pxHeadless::reset();
    pxHeadless::failNextWindowCreation(pxNativeFailure::noDisplay);
    const Scene scene = glintworks::makeDefaultScene();
    myWindow window(scene);
    EXPECT_EQ(window.create(10, 64, 320, 240), 1);
    EXPECT_EQ(window.handle, nullptr);
    EXPECT_STREQ(pxNativeLastError(), "no display: DISPLAY and WAYLAND_DISPLAY are not set");
    EXPECT_EQ(window.frameCount, 0);
    pxHeadless::reset();
}

}  // namespace
