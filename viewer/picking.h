#pragma once
// Picking and dragging: what the viewer's mouse handlers do to its scene.
//
// A left press grabs the primitive under the pointer and shows it in doubled
// colour; motion while grabbed moves it by the pointer's motion in whole pixels
// (in x and y, or in x and depth while Ctrl is held); the left release gives the
// colour back. A middle or right press only selects.
//
// These functions work on a scene alone, so the snapshot tool can replay a drag
// exactly as the viewer performs it.

#include <cstdint>

#include "scene/scene.h"

namespace glintworks {

// The button and modifier bits of a mouse event, as the window layer passes them.
constexpr std::uint32_t kButtonLeft = 1;
constexpr std::uint32_t kButtonMiddle = 2;
constexpr std::uint32_t kButtonRight = 4;
constexpr std::uint32_t kButtonMask = kButtonLeft | kButtonMiddle | kButtonRight;

// The key code whose held flag in Scene::keyDown makes a drag move in depth.
constexpr int kKeyControl = 17;

// Finds the nearest primitive along the eye ray through pixel (x, y) and makes it
// dragState.selected (null when none is hit below the far distance). With the
// left button bit in `buttons` it also grabs it: its colour is saved and shown
// doubled, and the dragging bit is set. A primitive already shown doubled gets
// its true colour back first, so no grab ever loses or strands a colour.
void pickPrimitive(Scene& scene, std::int32_t x, std::int32_t y, DragState& dragState, std::uint32_t buttons);

// The last pointer position seen by the press and motion handlers.
struct PointerPosition {
    std::int32_t& x;
    std::int32_t& y;
};

void mousePressed(Scene& scene, PointerPosition last, std::int32_t x, std::int32_t y, std::uint32_t flags);
void mouseReleased(Scene& scene, std::uint32_t flags);
void mouseMoved(Scene& scene, PointerPosition last, std::int32_t x, std::int32_t y);

}  // namespace glintworks
