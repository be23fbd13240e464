#pragma once
// The culling values of a FlatScene, which flattenScene fills in (culling.cpp;
// see FlatScene for what each one promises).

#include <cstdint>

#include "render/flat_scene.h"

namespace glintworks {

// The shadow cone of sphere position j seen from light k, from the sphere's
// and the light's values already in `flat`.
void setShadowCone(FlatScene& flat, std::int32_t k, std::int32_t j);

// Every screen-space culling box, the shadower masks of the culled spheres
// and the plane axes, from everything else already in `flat` (the highlight
// thresholds included).
void setCulling(FlatScene& flat);

}  // namespace glintworks
