#pragma once

#include "scene/scene.h"

namespace glintworks {

// The fixed scene the program shows: red, orange and purple spheres over a mauve
// mirror floor, two white lights, the eye over the centre of a 320 x 240 image.
Scene makeDefaultScene();

}  // namespace glintworks
