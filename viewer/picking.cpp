#include "viewer/picking.h"

#include <cstdint>

#include "scene/tracer.h"

namespace glintworks {

namespace {

void restoreColor(Primitive* primitive) {
    if (primitive != nullptr) primitive->material.color = primitive->material.savedColor;
}

// a - b, saturated to +-INT32_MAX rather than overflowing (so it can also be
// negated safely).
std::int32_t difference(std::int32_t a, std::int32_t b) {
    const std::int64_t d = static_cast<std::int64_t>(a) - b;
    if (d > INT32_MAX) return INT32_MAX;
    if (d < -INT32_MAX) return -INT32_MAX;
    return static_cast<std::int32_t>(d);
}

}  // namespace

void pickPrimitive(Scene& scene, std::int32_t x, std::int32_t y, DragState& dragState, std::uint32_t buttons) {
    // The same ray the renderer traces for this pixel, so the pick matches what
    // is shown under the pointer.
    const Ray ray = primaryRay(scene, x, y);
    float distance = kFarDistance;
    Primitive* nearest = nullptr;
    for (const auto& primitive : scene.primitives) {
        if (primitive->intersect(ray, distance)) nearest = primitive.get();
    }
    dragState.selected = nearest;

    if (nearest != nullptr && (buttons & kButtonLeft) != 0) {
        // Grabbing anew while something is shown doubled: give that one its true
        // colour back before saving this one's, or the doubled colour would be
        // saved (same primitive) or left behind (another one).
        restoreColor(dragState.grabbed);
        Material& m = nearest->material;
        m.savedColor = m.color;
        m.color.b *= 2.0f;
        m.color.g *= 2.0f;
        m.color.r *= 2.0f;
        dragState.grabbed = nearest;
        dragState.flags |= DragState::kDragging;
    }
}

void mousePressed(Scene& scene, PointerPosition last, std::int32_t x, std::int32_t y, std::uint32_t flags) {
    pickPrimitive(scene, x, y, scene.drag, flags & kButtonMask);
    last.x = x;
    last.y = y;
}

void mouseReleased(Scene& scene, std::uint32_t flags) {
    if ((flags & kButtonLeft) == 0) return;
    DragState& drag = scene.drag;
    // The grabbed primitive gets its colour back even when a middle or right
    // press has since selected another one.
    restoreColor(drag.grabbed);
    restoreColor(drag.selected);
    drag.grabbed = nullptr;
    drag.selected = nullptr;
    drag.flags &= ~DragState::kDragging;
}

void mouseMoved(Scene& scene, PointerPosition last, std::int32_t x, std::int32_t y) {
    const std::int32_t dx = difference(x, last.x);
    const std::int32_t dy = difference(y, last.y);
    if ((scene.drag.flags & DragState::kDragging) != 0 && scene.drag.selected != nullptr) {
        if (scene.keyDown[kKeyControl] != 0) {
            scene.drag.selected->translate(dx, 0, -dy);  // pointer up pushes away
        } else {
            scene.drag.selected->translate(dx, dy, 0);
        }
    }
    last.x = x;
    last.y = y;
}

}  // namespace glintworks
