#pragma once
// Filling a FlatScene from a scene (flatten.cpp), once per frame.

#include "render/flat_scene.h"
#include "scene/scene.h"

namespace glintworks {

// Fills `flat` from `scene`. Returns false, leaving `flat` unspecified, when the
// scene holds anything but exact Sphere and Plane objects or more primitives or
// lights than fit.
bool flattenScene(const Scene& scene, FlatScene& flat);

// The largest cosine s such that, for every cosine below it and every segment
// weight of magnitude at most 1, the highlight pow(s, power) x specular x
// weight x light colour stays below 1 in every channel whose magnitude is at
// most lightMax; -1 where no such bound holds. Exposed for tests.
float highlightThreshold(float specular, float power, float lightMax);

}  // namespace glintworks
