#pragma once
// The scene: what the tracer reads and the viewer edits.

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "scene/primitive.h"
#include "scene/vec3.h"

namespace glintworks {

// A white or coloured point light. Lights are plain values, copied freely.
class Light {
public:
    Light() = default;
    Light(const Color4& c, Vec3 p) : color(c), position(p) {}
    Light(const Light&) = default;
    Light& operator=(const Light&) = default;
    virtual ~Light() = default;

    Color4 color;
    Vec3 position;
};

// The viewer's grab state.
struct DragState {
    static constexpr std::uint32_t kDragging = 1;  // bit 0: a primitive is being dragged

    std::uint32_t flags = 0;
    Primitive* selected = nullptr;  // not owned; points into the same scene's primitives
    // The primitive shown in doubled colour while its true colour waits in its
    // savedColor, or null. Kept apart from `selected`, which a middle or right
    // press may move during a grab. Not owned.
    Primitive* grabbed = nullptr;
};

constexpr int kKeyCount = 256;

// Copying a Scene shares the primitives (a move or recolour through one copy is
// seen through the other) and copies everything else, lights included, by value.
// Members are destroyed in reverse order: lights first, then the primitive
// references.
struct Scene {
    std::vector<std::shared_ptr<Primitive>> primitives;  // scan order; ties go to the earlier one
    std::vector<Light> lights;                           // shading order
    std::int32_t width = 0;                              // nominal image size; the renderer uses its buffer's size
    std::int32_t height = 0;
    std::int32_t traceDepth = 0;  // most ray segments per pixel, the eye ray included
    Vec3 eye;
    DragState drag;
    std::array<std::int32_t, kKeyCount> keyDown{};  // 1 while the key with that code is held
};

}  // namespace glintworks
