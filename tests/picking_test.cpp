// Picking and dragging on the default scene: the grab state table, including
// the grabs that must never lose or strand a primitive's true colour.

#include <gtest/gtest.h>

#include "scene/default_scene.h"
#include "viewer/picking.h"

namespace glintworks {
namespace {

const Color4 kOrange{0, 0.5f, 0.7f, 1};
const Color4 kOrangeDoubled{0, 1.0f, 1.4f, 1};
const Color4 kPurple{0.5f, 0, 0.7f, 1};

class Dragging : public ::testing::Test {
protected:
    void press(int x, int y, std::uint32_t flags) { mousePressed(scene, {lastX, lastY}, x, y, flags); }
    void release(std::uint32_t flags) { mouseReleased(scene, flags); }
    void move(int x, int y) { mouseMoved(scene, {lastX, lastY}, x, y); }
    Sphere& sphere(int i) { return static_cast<Sphere&>(*scene.primitives[i]); }
    Plane& floor() { return static_cast<Plane&>(*scene.primitives[3]); }
    bool dragging() const { return (scene.drag.flags & DragState::kDragging) != 0; }

    Scene scene = makeDefaultScene();
    std::int32_t lastX = 0;
    std::int32_t lastY = 0;
};

TEST_F(Dragging, LeftPressGrabsMovesAndReleaseRestores) {
    press(160, 120, kButtonLeft);
    EXPECT_EQ(scene.drag.selected, &sphere(1));
    EXPECT_TRUE(dragging());
    EXPECT_EQ(sphere(1).material.savedColor, kOrange);
    EXPECT_EQ(sphere(1).material.color, kOrangeDoubled);
    EXPECT_EQ(lastX, 160);
    EXPECT_EQ(lastY, 120);

    move(170, 110);
    EXPECT_EQ(sphere(1).center, (Vec3{138, 134, 160}));
    EXPECT_EQ(lastX, 170);

    release(kButtonLeft);
    EXPECT_EQ(sphere(1).material.color, kOrange);
    EXPECT_EQ(sphere(1).center, (Vec3{138, 134, 160}));
    EXPECT_EQ(scene.drag.selected, nullptr);
    EXPECT_FALSE(dragging());
    // Motion after the release moves nothing.
    move(200, 200);
    EXPECT_EQ(sphere(1).center, (Vec3{138, 134, 160}));
}

TEST_F(Dragging, CtrlMovesInDepth) {
    press(160, 120, kButtonLeft);
    scene.keyDown[kKeyControl] = 1;
    move(170, 110);  // up pushes away
    EXPECT_EQ(sphere(1).center, (Vec3{138, 144, 170}));
}

TEST_F(Dragging, PressOnNothingGrabsNothing) {
    press(0, 0, kButtonLeft);
    EXPECT_EQ(scene.drag.selected, nullptr);
    EXPECT_EQ(scene.drag.flags, 0u);
    move(50, 50);
    EXPECT_EQ(sphere(1).center, (Vec3{128, 144, 160}));
}

TEST_F(Dragging, TheFloorFollowsOnlyPlainVerticalMotion) {
    press(160, 239, kButtonLeft);
    EXPECT_EQ(scene.drag.selected, &floor());
    move(185, 249);
    EXPECT_EQ(floor().offset, 250.0f);
    scene.keyDown[kKeyControl] = 1;
    move(210, 259);
    EXPECT_EQ(floor().offset, 250.0f);
}

TEST_F(Dragging, RightPressOnlySelects) {
    press(160, 120, kButtonRight);
    EXPECT_EQ(scene.drag.selected, &sphere(1));
    EXPECT_EQ(sphere(1).material.color, kOrange);
    EXPECT_FALSE(dragging());
    move(170, 110);
    EXPECT_EQ(sphere(1).center, (Vec3{128, 144, 160}));
    release(kButtonRight);
    EXPECT_EQ(scene.drag.selected, &sphere(1)) << "a right release does nothing";
    release(kButtonLeft);
    EXPECT_EQ(scene.drag.selected, nullptr);
    EXPECT_EQ(sphere(1).material.color, kOrange);
}

TEST_F(Dragging, SecondGrabOfTheSamePrimitiveKeepsItsTrueColour) {
    press(160, 120, kButtonLeft);
    press(160, 120, kButtonLeft);
    EXPECT_EQ(sphere(1).material.savedColor, kOrange);
    EXPECT_EQ(sphere(1).material.color, kOrangeDoubled) << "doubled once, not four times";
    release(kButtonLeft);
    EXPECT_EQ(sphere(1).material.color, kOrange);
}

TEST_F(Dragging, GrabbingAnotherPrimitiveGivesTheFirstItsColourBack) {
    press(160, 120, kButtonLeft);
    press(213, 60, kButtonLeft);
    EXPECT_EQ(scene.drag.selected, &sphere(2));
    EXPECT_EQ(sphere(1).material.color, kOrange);
    release(kButtonLeft);
    EXPECT_EQ(sphere(2).material.color, kPurple);
}

TEST_F(Dragging, MiddlePressDuringAGrabStrandsNoColour) {
    press(160, 120, kButtonLeft);
    press(0, 0, kButtonMiddle);
    EXPECT_EQ(scene.drag.selected, nullptr);
    EXPECT_TRUE(dragging());
    move(100, 100);
    EXPECT_EQ(sphere(1).center, (Vec3{128, 144, 160})) << "nothing selected, nothing moves";
    release(kButtonLeft);
    EXPECT_FALSE(dragging());
    EXPECT_EQ(sphere(1).material.color, kOrange);
}

TEST_F(Dragging, RightPressOnAnotherPrimitiveDuringAGrabMovesThatOne) {
    press(160, 120, kButtonLeft);
    press(213, 60, kButtonRight);
    EXPECT_EQ(scene.drag.selected, &sphere(2));
    move(218, 60);
    EXPECT_EQ(sphere(2).center, (Vec3{325, 24, 480}));
    release(kButtonLeft);
    EXPECT_EQ(sphere(1).material.color, kOrange);
    EXPECT_EQ(sphere(2).material.color, kPurple);
}

TEST_F(Dragging, LeftPressOnNothingDuringAGrabKeepsDragging) {
    press(160, 120, kButtonLeft);
    press(0, 0, kButtonLeft);
    EXPECT_EQ(scene.drag.selected, nullptr);
    EXPECT_TRUE(dragging());
    release(kButtonLeft);
    EXPECT_EQ(sphere(1).material.color, kOrange);
}

TEST_F(Dragging, ExtremeMotionSaturatesInsteadOfOverflowing) {
    press(160, 120, kButtonLeft);
    move(INT32_MAX, INT32_MIN);
    move(INT32_MIN, INT32_MAX);
    scene.keyDown[kKeyControl] = 1;
    move(0, INT32_MIN);
    EXPECT_TRUE(dragging());
}

TEST_F(Dragging, AMoveThroughAWindowCopyIsSeenByTheOriginal) {
    Scene windowCopy = scene;
    std::int32_t x = 0, y = 0;
    mousePressed(windowCopy, {x, y}, 160, 120, kButtonLeft);
    mouseMoved(windowCopy, {x, y}, 170, 110);
    EXPECT_EQ(sphere(1).center, (Vec3{138, 134, 160}));
    EXPECT_EQ(scene.drag.selected, nullptr) << "the drag state is the copy's own";
}

}  // namespace
}  // namespace glintworks
