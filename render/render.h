#pragma once
// Whole frames: the scene traced into 32-bit pixel memory. The renderer's
// public face: its image type and limits (image_rows.h) and its SIMD targets
// (render_dispatch.h) come with it.

#include "render/image_rows.h"
#include "render/render_dispatch.h"
#include "scene/scene.h"

namespace glintworks {

// Traces every pixel of the image and stores its blue, green and red bytes; the
// alpha bytes keep what they held and nothing outside the width x height pixels
// is touched. Every byte equals what tracePixel gives for that pixel.
//
// Runs on the calling thread only and allocates nothing. Scenes made only of
// exact Sphere and Plane objects (no subclasses), at most kFastMaxPrimitives of
// them and at most kFastMaxLights lights, are traced many pixels at a time with
// the widest SIMD instructions the CPU offers; any other scene goes through
// renderImageLiteral.
void renderImage(const Scene& scene, const ImageRows& image);

// The same frame, one tracePixel call per pixel, rows from the top and pixels
// from the left. The reference the fast path is held to.
void renderImageLiteral(const Scene& scene, const ImageRows& image);

}  // namespace glintworks
