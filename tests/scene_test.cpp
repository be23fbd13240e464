// Scene ownership and copy rules.

#include <gtest/gtest.h>

#include "scene/default_scene.h"
#include "scene/scene.h"

namespace glintworks {
namespace {

TEST(Scene, NewSceneHoldsNoGrabAndNoKey) {
    const Scene scene;
    EXPECT_EQ(scene.drag.flags, 0u);
    EXPECT_EQ(scene.drag.selected, nullptr);
    for (int key = 0; key < kKeyCount; ++key) EXPECT_EQ(scene.keyDown[key], 0) << key;
}

TEST(Scene, CopySharesPrimitivesAndCopiesLights) {
    Scene original = makeDefaultScene();
    const long before = original.primitives[1].use_count();
    Scene copy = original;
    EXPECT_EQ(original.primitives[1].use_count(), before + 1);
    ASSERT_EQ(copy.primitives.size(), original.primitives.size());
    for (std::size_t i = 0; i < copy.primitives.size(); ++i) EXPECT_EQ(copy.primitives[i], original.primitives[i]);

    copy.primitives[1]->translate(10, -10, 0);
    EXPECT_EQ(static_cast<Sphere&>(*original.primitives[1]).center, (Vec3{138, 134, 160}));

    copy.lights[0].position = {0, 0, 0};
    copy.lights[1].color.r = 0.25f;
    EXPECT_EQ(original.lights[0].position, (Vec3{10, -120, -120}));
    EXPECT_EQ(original.lights[1].color.r, 1.0f);
}

TEST(Scene, CopyKeepsInteractionState) {
    Scene original = makeDefaultScene();
    original.drag.flags = DragState::kDragging;
    original.drag.selected = original.primitives[2].get();
    original.keyDown[17] = 1;
    original.keyDown[255] = 1;
    const Scene copy = original;
    EXPECT_EQ(copy.drag.flags, DragState::kDragging);
    EXPECT_EQ(copy.drag.selected, original.primitives[2].get());
    EXPECT_EQ(copy.keyDown, original.keyDown);
}

TEST(Scene, LastReferenceDestroysThePrimitive) {
    std::weak_ptr<Primitive> watch;
    {
        Scene original = makeDefaultScene();
        watch = original.primitives[0];
        { const Scene copy = original; }
        EXPECT_FALSE(watch.expired()) << "the copy's end must not destroy a shared primitive";
    }
    EXPECT_TRUE(watch.expired());
}

}  // namespace
}  // namespace glintworks
