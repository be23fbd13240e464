// The culling values of a flattened scene (see FlatScene): the shadow cone of
// each sphere and light, and the screen-space boxes, worked out in double
// precision. None of them enters a pixel; each only lets the renderer skip
// work whose result is known, with a margin far wider than the rounding of the
// float tests it stands for.
//
// Every box rests on one bound of the float sphere test. The test finds a
// candidate only where disc = (r^2 - v.v) + b^2 > 0, with v the float centre
// minus ray start and b = v . d. Its rounding (the products and sums of v.v
// and b^2, r^2 itself, and the centre's own rounding) stays below about 16 u
// (r^2 + |v|^2), u = 2^-24; a direction whose length is 1 only within
// kappa (9 u for an eye ray, about 100 u for a mirrored one) adds kappa |v|^2.
// So a candidate's line passes the centre closer than
// sqrt(r^2 + 120 u (r^2 + |v|^2)); kDiscSlack is five times that. At the
// candidate's near root the ray is no further from the centre than that
// either. The float directions lie within some 60 u of the exact ones, and
// the float hit points within a few u of the exact rays; kLengthSlack of
// every length involved covers both many times over. The margins are named
// below, each with the error it covers.
//
// A box is the pixel rectangle around the central projection from the eye
// onto the image plane z = 0 of a ball or polytope in world space: an eye ray,
// the line from the eye through (x, y, 0), that meets it in front of the eye
// passes through the projection of that point.

#include "render/culling.h"

#include <cmath>
#include <cstdint>

#include "render/flat_scene.h"
#include "scene/tracer.h"

namespace glintworks {
namespace {

constexpr std::int32_t kBoxLimit = 1 << 29;
constexpr PixelBox kEveryPixel{-kBoxLimit, kBoxLimit, -kBoxLimit, kBoxLimit};
constexpr PixelBox kNoPixel{};
constexpr double kDiscSlack = 4e-5;

// The margins, u = 2^-24 being a float's relative rounding.
//
// Of every length a margin covers: the float directions lie within 60 u
// (3.6e-6) of the exact ones and the float points within a few u of the
// exact rays, so 1e-5 holds both with room to spare.
constexpr double kLengthSlack = 1e-5;
// Added to every margin so that it holds where the lengths involved are near
// 0: in a modest scene (coordinates below 1e6) the rounding of these double
// computations stays below 1e-9, and a float coordinate near the origin
// moves by less than 1e-7.
constexpr double kAbsoluteSlack = 1e-3;
// How far a ray can get: a float direction is of unit length within 100 u
// (6e-6), so a ray that travels `reach` along it covers at most
// reach (1 + 6e-6) < kTravelStretch reach, and kTravelSlack (one unit)
// covers the rounding of where it started.
constexpr double kTravelStretch = 1.001;
constexpr double kTravelSlack = 1.0;
// A point counts as clear of a plane only beyond kClearance times e, the most
// a float hit point can lie off the plane: then f - e >= 3/4 f, so a quotient
// that divides by f - e stays within 4/3 of the exact one, and the point's
// side of the plane is the same whatever the rounding.
constexpr double kClearance = 4.0;
// The slack around the point where a shadow ray meets the plane may be at
// most this share of the eye's clearance from the plane, so that the nearest
// point of the pixel's eye ray lies ahead of the eye with three quarters of
// that clearance to spare, and the projection's denominator keeps its sign.
constexpr double kSlackShare = 0.25;
// The tracer's rounding can move a sphere's apparent surface, as a shadow
// test sees it, by about 5e-4 of the distance from the hit point to the
// centre; shadow cones grow spheres by 6e-4 of it.
constexpr double kShadowSurfaceSlack = 6e-4;
// Cone angles and cosines are widened by 1e-4, far beyond the rounding of the
// lanes' own float cone test (a few u).
constexpr double kConeSlack = 1e-4;
// A highlight cosine's float value is within a few u of the exact one; 1e-5
// covers that and the rounding of the acos.
constexpr double kCosineSlack = 1e-5;
// A float point lies within a few u (2e-7) of its distance from the eye of the
// exact one; 1e-6 of that distance covers it.
constexpr double kPointRounding = 1e-6;
// A light or ball only counts as outside a grown sphere when clear of it by a
// hundredth of the radius, so that the cone's half-angle (an asin) is well
// conditioned.
constexpr double kOutsideFactor = 1.01;
// Comparisons between double quantities of a modest scene are trusted only
// beyond this relative and absolute guard, far above their rounding (2^-52).
constexpr double kDoubleGuard = 1e-9;

struct Point {
    double x, y, z;
};
Point operator+(Point a, Point b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Point operator-(Point a, Point b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Point operator*(Point a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double dotOf(Point a, Point b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
double lengthOf(Point a) { return std::sqrt(dotOf(a, a)); }
Point pointOf(Vec3 v) { return {v.x, v.y, v.z}; }
Point sphereCentre(const FlatScene& flat, std::int32_t j) {
    return {flat.sphereX[j], flat.sphereY[j], flat.sphereZ[j]};
}
Point lightPosition(const FlatScene& flat, std::int32_t k) { return {flat.lightX[k], flat.lightY[k], flat.lightZ[k]}; }

// A sphere of squared radius r2 grown so that no ray that starts within
// `reach` of its centre and travels at most `reach` can have a candidate
// outside it.
double grownRadius(double r2, double reach) {
    return std::sqrt(r2 + kDiscSlack * (r2 + reach * reach)) + kLengthSlack * reach + kAbsoluteSlack;
}

std::int32_t boxBound(double value) {
    if (!(value > -kBoxLimit)) return -kBoxLimit;
    if (!(value < kBoxLimit)) return kBoxLimit;
    return static_cast<std::int32_t>(value);
}

// The range of image coordinates, along one axis, of the eye's projection of
// a disk: in the plane of that axis and the viewing depth, the disk of the
// given radius around (across, depth) as seen from the eye (the origin), its
// two tangents projected onto the image plane at depth `image`. False where
// the disk reaches round beside or behind the eye.
bool projectedRange(double across, double depth, double radius, double image, double& lo, double& hi) {
    const double squared = across * across + depth * depth;
    const double distance = std::sqrt(squared);
    if (!(distance > radius * (1.0 + kDoubleGuard) + kDoubleGuard)) return false;
    // Both tangents ahead of the eye, clear of level with it: the whole disk
    // is ahead.
    if (!(depth - radius > kPointRounding * (distance + 1.0))) return false;
    // The tangents leave the eye at angles middle -/+ spread from the
    // across axis, where cos middle = across / distance, sin middle = depth /
    // distance, sin spread = radius / distance and cos spread = tangent /
    // distance; the image coordinate of each is image x its cotangent.
    const double tangent = std::sqrt(squared - radius * radius);
    const double first = image * (across * tangent + depth * radius) / (depth * tangent - across * radius);
    const double second = image * (across * tangent - depth * radius) / (depth * tangent + across * radius);
    if (!std::isfinite(first) || !std::isfinite(second)) return false;
    lo = first < second ? first : second;
    hi = first < second ? second : first;
    return true;
}

// The pixels whose eye rays can meet a ball: the eye's projection of a ball
// along x is that of its disk in the x-depth plane, and the same along y.
PixelBox eyeBoxOfBall(Point eye, Point centre, double radius) {
    const double toward = eye.z < 0.0 ? 1.0 : -1.0;
    const double depth = (centre.z - eye.z) * toward, image = -eye.z * toward;
    if (depth + radius <= 0.0) return kNoPixel;  // wholly behind the eye, or level with it
    double x0, x1, y0, y1;
    if (!projectedRange(centre.x - eye.x, depth, radius, image, x0, x1) ||
        !projectedRange(centre.y - eye.y, depth, radius, image, y0, y1)) {
        return kEveryPixel;
    }
    return {boxBound(std::floor(eye.x + x0) - 1.0), boxBound(std::ceil(eye.x + x1) + 1.0),
            boxBound(std::floor(eye.y + y0) - 1.0), boxBound(std::ceil(eye.y + y1) + 1.0)};
}

bool modest(double value) { return std::fabs(value) < 1e6; }  // false for NaN

// Whether every coordinate is small enough that no float quantity of a trace
// can overflow (hit distances stay below 50000) and the absolute terms of the
// margins dwarf the rounding of these double computations.
bool modestScene(const FlatScene& flat) {
    if (!modest(flat.eye.x) || !modest(flat.eye.y) || !modest(flat.eye.z) || !(std::fabs(flat.eye.z) > 1e-2)) {
        return false;
    }
    for (std::int32_t j = 0; j < flat.sphereCount; ++j) {
        if (!modest(flat.sphereX[j]) || !modest(flat.sphereY[j]) || !modest(flat.sphereZ[j]) ||
            !(flat.radiusSquared[j] < 1e12)) {
            return false;
        }
    }
    for (std::int32_t k = 0; k < flat.lightCount; ++k) {
        if (!modest(flat.lightX[k]) || !modest(flat.lightY[k]) || !modest(flat.lightZ[k])) return false;
    }
    return true;
}

// One plane as the culling sees it: unit normal n and offset o, f(X) = n . X + o
// the signed distance of X.
struct CullPlane {
    Point n;
    double o;
    double f(Point x) const { return dotOf(n, x) + o; }
};

// Whether plane j can take part: a normal of ordinary length (its float unit
// normal then lies within a few u of the exact one) and a modest offset.
bool cullPlaneOf(const FlatScene& flat, std::int32_t j, CullPlane& plane) {
    const Vec3 normal{flat.planeNx[j], flat.planeNy[j], flat.planeNz[j]};
    const float nn = dot(normal, normal);
    if (!(nn > 1e-20f && nn < 1e20f)) return false;
    const Point n = pointOf(normal);
    const double length = lengthOf(n);
    plane.n = n * (1.0 / length);
    plane.o = flat.planeOffset[j] / length;
    return modest(plane.o);
}

// How far a float hit point on the plane, reached within `reach` of the eye,
// can lie off it: the rounding of the hit distance and of the point.
double offPlane(Point eye, const CullPlane& plane, double reach) {
    return kLengthSlack * (lengthOf(eye) + std::fabs(plane.o) + reach) + kAbsoluteSlack;
}

// Mirrored rays off the plane from hit points within `reach` of the eye:
// mirrored through the plane, such a ray continues the eye ray, and the
// sphere it could meet is the sphere's mirror image, grown by the rounding of
// the test, by twice the hit point's distance from the plane and by the
// deviation of the float mirror direction.
PixelBox mirrorBox(const FlatScene& flat, const CullPlane& plane, double reach, std::int32_t j) {
    const Point eye = pointOf(flat.eye);
    const Point c = sphereCentre(flat, j);
    const double travel = lengthOf(c - eye) + kTravelStretch * reach + kTravelSlack;
    const double radius = grownRadius(flat.radiusSquared[j], travel) + 2.0 * offPlane(eye, plane, reach) +
                          kLengthSlack * (lengthOf(eye) + reach);
    return eyeBoxOfBall(eye, c - plane.n * (2.0 * plane.f(c)), radius);
}

// Shadow rays from hit points on the plane within `reach` of the eye towards
// light k, blocked by sphere j (position in the sphere arrays).
//
// A blocking point X lies within the grown sphere, on the segment from the
// float hit point P (at most e off the plane) to the light. The line from the
// light through X and P meets the plane at P', within
// e |P - light| / (f(light) - e) of P, and the pixel's exact eye ray passes
// within `slack` of P' (that and P's own rounding). So the pixel is the eye's
// projection of a point Y = P' + zeta with |zeta| <= slack. With P' the
// light's projection of X onto the plane, that pixel is
//   eye + (N(X) + zeta') (-eye.z) / (w(X) + zeta'.z),
//   N(X) = f(L) (X - eye) - f(X) (L - eye),  w(X) = f(L) (X.z - eye.z) - f(X) (L.z - eye.z),
// where zeta' = (f(L) - f(X)) zeta, at most slack (f(L) + e) in each
// component. N and w are affine in X, so over the sphere's box and the cube
// of zeta' the map is projective; where its denominator keeps the sign of a
// point ahead of the eye at every corner, the pixel lies within the rectangle
// of the corners' images. Since f(X) <= f(L), the box is first cut down to
// that side of the light (its corners there and the points where its edges
// cross f = f(L)). Shadows that reach the horizon stay bounded this way. A
// sphere wholly beyond the light or behind the plane blocks nothing.
PixelBox shadowBox(const FlatScene& flat, const CullPlane& plane, double reach, std::int32_t k, std::int32_t j) {
    const Point eye = pointOf(flat.eye);
    const Point light = lightPosition(flat, k);
    const Point c = sphereCentre(flat, j);
    const double fLight = plane.f(light), fEye = plane.f(eye);
    const double e = offPlane(eye, plane, reach);
    if (!(fLight > kClearance * e)) return kEveryPixel;
    const double lightTravel = lengthOf(light - eye) + kTravelStretch * reach + kTravelSlack;
    const double radius =
        grownRadius(flat.radiusSquared[j], lengthOf(c - eye) + kTravelStretch * reach + kTravelSlack) +
        kLengthSlack * lightTravel + kAbsoluteSlack;
    const double fCentre = plane.f(c);
    const double spread = radius * (std::fabs(plane.n.x) + std::fabs(plane.n.y) + std::fabs(plane.n.z));
    const double guard = kDoubleGuard * (std::fabs(fLight) + std::fabs(fCentre) + spread) + kDoubleGuard;
    if (fCentre - spread > fLight + guard || fCentre + spread < -e - guard) return kNoPixel;
    const double slack = e * lightTravel / (fLight - e) + kLengthSlack * (lengthOf(eye) + reach) + kAbsoluteSlack;
    // The nearest point of the pixel's eye ray to P' must lie ahead of the eye.
    if (!(slack < kSlackShare * (std::fabs(fEye) - e))) return kEveryPixel;
    const double shift = slack * (fLight + e);
    const double toward = eye.z < 0.0 ? 1.0 : -1.0;
    const double least = kPointRounding * fLight * std::fabs(eye.z);
    // The box's part on the plane's side of the light: at most 8 corners and
    // 6 edge crossings.
    Point corners[8];
    double fCorner[8];
    for (int corner = 0; corner < 8; ++corner) {
        corners[corner] = {corner & 1 ? c.x + radius : c.x - radius, corner & 2 ? c.y + radius : c.y - radius,
                           corner & 4 ? c.z + radius : c.z - radius};
        fCorner[corner] = plane.f(corners[corner]);
    }
    Point vertices[20];
    double fVertex[20];
    int count = 0;
    for (int corner = 0; corner < 8; ++corner) {
        if (fCorner[corner] <= fLight) {
            vertices[count] = corners[corner];
            fVertex[count++] = fCorner[corner];
        }
        for (int axis = 1; axis < 8; axis <<= 1) {
            const int other = corner | axis;
            if (other == corner) continue;
            const double fa = fCorner[corner], fb = fCorner[other];
            if ((fa < fLight) == (fb < fLight) || fa == fb) continue;
            vertices[count] = corners[corner] + (corners[other] - corners[corner]) * ((fLight - fa) / (fb - fa));
            fVertex[count++] = fLight;
        }
    }
    double minX = HUGE_VAL, maxX = -HUGE_VAL, minY = HUGE_VAL, maxY = -HUGE_VAL;
    int ahead = 0, behind = 0;
    for (int vertex = 0; vertex < count; ++vertex) {
        const Point x = vertices[vertex];
        const Point n = (x - eye) * fLight - (light - eye) * fVertex[vertex];
        const double w = n.z;  // f(L) (X.z - eye.z) - f(X) (L.z - eye.z)
        for (int side = 0; side < 8; ++side) {
            const double wz = w + (side & 4 ? shift : -shift);
            const double depth = wz * toward;
            if (!(depth > least)) {
                behind += depth <= 0.0 ? 1 : 0;
                continue;
            }
            ++ahead;
            const double s = -eye.z / wz;
            const double px = eye.x + (n.x + (side & 1 ? shift : -shift)) * s;
            const double py = eye.y + (n.y + (side & 2 ? shift : -shift)) * s;
            // As fmin and fmax, which leave out NaN, without their calls.
            minX = px < minX ? px : minX;
            maxX = px > maxX ? px : maxX;
            minY = py < minY ? py : minY;
            maxY = py > maxY ? py : maxY;
        }
    }
    if (count == 0 || behind == 8 * count) return kNoPixel;
    if (ahead < 8 * count || !std::isfinite(minX + maxX + minY + maxY)) return kEveryPixel;
    return {boxBound(std::floor(minX) - 1.0), boxBound(std::ceil(maxX) + 1.0), boxBound(std::floor(minY) - 1.0),
            boxBound(std::ceil(maxY) + 1.0)};
}

// The highlight of light k on the plane, for segment weights up to 1, can
// reach the threshold only where the float cosine R . D is at least the
// threshold t. R mirrors the direction towards the light, so R . D is the
// cosine of the bend at P of the path from the eye through P to the light's
// mirror image L*; the bend is at least the angle at the eye between P and
// L*. So the eye ray of such a pixel lies within acos(t - kCosineSlack) of the
// direction to L*, widened by the rounding of P (relative to its distance
// from the eye, at least the eye's distance from the plane) and of L* (twice
// P's distance from the plane): a cone, inside the rays through a ball at
// unit distance.
PixelBox highlightBox(const FlatScene& flat, const CullPlane& plane, std::int32_t k, float threshold) {
    const Point eye = pointOf(flat.eye);
    const Point light = lightPosition(flat, k);
    const double e = offPlane(eye, plane, kFarDistance);
    const double fEye = plane.f(eye), fLight = plane.f(light);
    if (!(threshold - kCosineSlack >= 0.5) || !(std::fabs(fEye) > kClearance * e) || !(fLight > kClearance * e)) {
        return kEveryPixel;
    }
    const Point image = light - plane.n * (2.0 * fLight);
    const double imageDistance = lengthOf(image - eye);
    const double pointSlack = kPointRounding * (lengthOf(eye) + kFarDistance);
    const double angle = std::acos(threshold - kCosineSlack) + 4.0 * pointSlack / (std::fabs(fEye) - e) +
                         8.0 * e / imageDistance + kCosineSlack;
    // Wider cones (about 70 degrees) would reach far across the image and cull little.
    if (!(angle < 1.2)) return kEveryPixel;
    return eyeBoxOfBall(eye, eye + (image - eye) * (1.0 / imageDistance), std::sin(angle));
}

// Shadows on sphere j (position in the sphere arrays) from light k, for hit
// points whose ray met the sphere within `reach`: such a point lies within
// the grown radius of the centre (see grownRadius; the ray started within
// reach plus the radius of the centre), widened by the rounding of the point's
// own coordinates. Every shadow ray from it to the light then runs inside the
// cone from the light around the grown sphere j.
struct ShadedBall {
    Point light, centre;
    double radius;    // of the grown sphere j
    double distance;  // from the light to its centre
};

ShadedBall shadedBall(const FlatScene& flat, std::int32_t k, std::int32_t j, double reach) {
    ShadedBall ball;
    ball.light = lightPosition(flat, k);
    ball.centre = sphereCentre(flat, j);
    const double r = std::sqrt(static_cast<double>(flat.radiusSquared[j]));
    ball.radius = grownRadius(flat.radiusSquared[j], reach + 2.0 * r + kTravelSlack) +
                  kLengthSlack * (reach + lengthOf(ball.centre) + r) + kAbsoluteSlack;
    ball.distance = lengthOf(ball.centre - ball.light);
    return ball;
}

// Whether sphere i can block a shadow ray of the ball: unless it lies wholly
// beyond the ball's far side from the light, or its cone from the light
// (grown as in setShadowCone, for points as far from the light as the ball
// reaches) is apart from the ball's by more than the rounding of these angles.
bool mayShadowBall(const FlatScene& flat, const ShadedBall& ball, std::int32_t i) {
    const Point c = sphereCentre(flat, i);
    const double distance = lengthOf(c - ball.light);
    const double farthest = ball.distance + ball.radius + kTravelSlack;
    const double radius = std::sqrt(static_cast<double>(flat.radiusSquared[i]));
    const double grown = radius + kShadowSurfaceSlack * (distance + farthest) + kAbsoluteSlack;
    if (distance - grown > farthest) return false;
    if (!(ball.distance > kOutsideFactor * ball.radius) || !(distance > kOutsideFactor * grown)) return true;
    const double cosine = dotOf(c - ball.light, ball.centre - ball.light) / (distance * ball.distance);
    const double apart = std::acos(std::fmax(-1.0, std::fmin(1.0, cosine)));
    return !(apart > std::asin(ball.radius / ball.distance) + std::asin(grown / distance) + kConeSlack);
}

// Whether a plane can block a shadow ray of the ball: unless the light and
// the whole ball lie on one side of it, clear of it by far more than the
// rounding of the plane test (the quotient of the test then stays below 0 or
// beyond the light).
bool mayShadowBall(const FlatScene& flat, const ShadedBall& ball, const CullPlane& plane) {
    const Point eye = pointOf(flat.eye);
    const double reach = ball.distance + ball.radius + lengthOf(ball.centre - eye) + kTravelSlack;
    const double e = kClearance * offPlane(ball.centre, plane, reach);
    const double fLight = plane.f(ball.light), fCentre = plane.f(ball.centre);
    if (fLight > e && fCentre - ball.radius > e) return false;
    if (fLight < -e && fCentre + ball.radius < -e) return false;
    return true;
}

void setSphereShadowers(FlatScene& flat, bool on) {
    // Each plane as the culling sees it, once; false where it cannot take part.
    CullPlane planeOf[kFastMaxPrimitives];
    bool planeOn[kFastMaxPrimitives];
    for (std::int32_t q = 0; q < flat.planeCount; ++q) planeOn[q] = on && cullPlaneOf(flat, q, planeOf[q]);
    const std::int32_t spheres = culledSpheres(flat);
    const std::int32_t lights = culledLights(flat);
    for (std::int32_t tier = 0; tier < kCullTiers; ++tier) {
        for (std::int32_t k = 0; k < lights; ++k) {
            for (std::int32_t j = 0; j < spheres; ++j) {
                std::uint64_t& blockers = flat.sphereShadowers[tier][k][j];
                std::uint64_t& planes = flat.planeShadowers[tier][k][j];
                blockers = flat.allSpheres & ~(std::uint64_t{1} << j);
                planes = flat.allPlanes;
                if (!on) continue;
                const ShadedBall ball = shadedBall(flat, k, j, kTierReach[tier]);
                for (std::int32_t i = 0; i < spheres; ++i) {
                    if (i != j && !mayShadowBall(flat, ball, i)) blockers &= ~(std::uint64_t{1} << i);
                }
                for (std::int32_t q = 0; q < flat.planeCount; ++q) {
                    if (planeOn[q] && !mayShadowBall(flat, ball, planeOf[q])) planes &= ~(std::uint64_t{1} << q);
                }
            }
        }
    }
}

// 0, 1 or 2 where v has that component only (the others exactly 0); -1
// otherwise.
std::int32_t soleAxis(const float v[3]) {
    for (std::int32_t axis = 0; axis < 3; ++axis) {
        if (v[axis] != 0.0f && v[(axis + 1) % 3] == 0.0f && v[(axis + 2) % 3] == 0.0f) return axis;
    }
    return -1;
}

}  // namespace

// The shadow cone of sphere j (position in the sphere arrays) seen from light
// k (see FlatScene). The tracer decides "blocked" from float values whose
// rounding can move the sphere's apparent surface (kShadowSurfaceSlack); the
// cone is built for a sphere grown by more than that for every hit point
// nearer to the light than shadowReach, and narrowed again by kConeSlack in
// cosine.
void setShadowCone(FlatScene& flat, std::int32_t k, std::int32_t j) {
    flat.shadowReach[k][j] = 0.0f;
    flat.shadowAxisX[k][j] = flat.shadowAxisY[k][j] = flat.shadowAxisZ[k][j] = 0.0f;
    flat.shadowLimit[k][j] = 0.0f;
    const double wx = static_cast<double>(flat.sphereX[j]) - flat.lightX[k];
    const double wy = static_cast<double>(flat.sphereY[j]) - flat.lightY[k];
    const double wz = static_cast<double>(flat.sphereZ[j]) - flat.lightZ[k];
    const double centreDistance = std::sqrt(wx * wx + wy * wy + wz * wz);
    const double radius = std::sqrt(static_cast<double>(flat.radiusSquared[j]));
    const double reach = 8.0 * centreDistance + 2000.0;
    const double grown = radius + kShadowSurfaceSlack * (centreDistance + reach) + kAbsoluteSlack;
    if (!(centreDistance > kOutsideFactor * grown) || !std::isfinite(reach) || reach > 1e30) return;
    const double ratio = grown / centreDistance;
    const double cosine = std::sqrt(1.0 - ratio * ratio) - kConeSlack;
    if (!(cosine > 0.0)) return;
    flat.shadowAxisX[k][j] = static_cast<float>(wx / centreDistance);
    flat.shadowAxisY[k][j] = static_cast<float>(wy / centreDistance);
    flat.shadowAxisZ[k][j] = static_cast<float>(wz / centreDistance);
    flat.shadowLimit[k][j] = static_cast<float>(-cosine);
    flat.shadowReach[k][j] = static_cast<float>(reach);
}

void setCulling(FlatScene& flat) {
    const bool on = modestScene(flat);
    const Point eye = pointOf(flat.eye);
    const std::int32_t spheres = culledSpheres(flat);
    const std::int32_t lights = culledLights(flat);
    for (std::int32_t j = 0; j < spheres; ++j) {
        const Point c = sphereCentre(flat, j);
        const double travel = lengthOf(c - eye) * kTravelStretch + kAbsoluteSlack;
        flat.eyeBox[j] = on ? eyeBoxOfBall(eye, c, grownRadius(flat.radiusSquared[j], travel)) : kEveryPixel;
    }
    setSphereShadowers(flat, on);
    for (std::int32_t j = 0; j < flat.planeCount; ++j) {
        const float normal[3] = {flat.planeNx[j], flat.planeNy[j], flat.planeNz[j]};
        const std::int32_t axis = on ? soleAxis(normal) : -1;
        flat.planeAxis[j] = axis >= 0 && modest(normal[axis]) ? axis : -1;
    }
    flat.cullPlaneCount = flat.planeCount < kCullPlanes ? flat.planeCount : kCullPlanes;
    for (std::int32_t p = 0; p < flat.cullPlaneCount; ++p) {
        CullPlane plane{};
        const bool planeOn = on && cullPlaneOf(flat, p, plane);
        const std::int32_t index = flat.planeIndex[p];
        const float unit[3] = {flat.unitNx[index], flat.unitNy[index], flat.unitNz[index]};
        flat.cullPlaneAxis[p] = planeOn ? soleAxis(unit) : -1;
        for (std::int32_t tier = 0; tier < kCullTiers; ++tier) {
            const double reach = kTierReach[tier];
            for (std::int32_t j = 0; j < spheres; ++j) {
                flat.mirrorBox[p][tier][j] = planeOn ? mirrorBox(flat, plane, reach, j) : kEveryPixel;
                for (std::int32_t k = 0; k < lights; ++k) {
                    flat.shadowBox[p][tier][k][j] = planeOn ? shadowBox(flat, plane, reach, k, j) : kEveryPixel;
                }
            }
        }
        for (std::int32_t k = 0; k < lights; ++k) {
            const float threshold = flat.highlightBelow[k][flat.planeIndex[p]];
            flat.highlightBox[p][k] = planeOn ? highlightBox(flat, plane, k, threshold) : kEveryPixel;
        }
    }
}

}  // namespace glintworks
