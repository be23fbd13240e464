#pragma once
// Everything a ray can hit: the polymorphic Primitive and its two kinds.

#include <cstdint>

#include "scene/vec3.h"

namespace glintworks {

struct Material {
    Color4 color;                // the colour shading reads
    Color4 savedColor;           // the true colour while the primitive is grabbed and shown doubled
    float specular = 0.0f;       // scale of the hard-edged highlight
    float specularPower = 1.0f;  // exponent of the highlight
    float reflection = 0.0f;     // weight factor of the next mirrored ray segment
};

class Primitive {
public:
    Primitive() = default;
    explicit Primitive(const Material& m) : material(m) {}
    Primitive(const Primitive&) = default;
    Primitive& operator=(const Primitive&) = default;
    virtual ~Primitive() = default;

    // Returns true only for a hit strictly nearer than `distance` (and beyond the
    // primitive's own minimum), and then lowers `distance` to it. Scanning all
    // primitives with one shared distance therefore ends on the nearest hit, and
    // on a tie the earlier primitive keeps it.
    virtual bool intersect(const Ray& ray, float& distance) const;
    // Surface normal at a hit point; not necessarily of unit length.
    virtual Vec3 normalAt(const Vec3& point) const;
    // Moves the primitive by whole world units.
    virtual void translate(std::int32_t dx, std::int32_t dy, std::int32_t dz);

    Material material;
};

class Sphere : public Primitive {
public:
    Sphere(Vec3 c, float r, const Material& m) : Primitive(m), center(c), radius(r) {}

    // Only the nearer root counts, and only beyond 0.001: a ray that starts inside
    // or on the sphere never hits it, and a ray that only touches it misses.
    bool intersect(const Ray& ray, float& distance) const override;
    Vec3 normalAt(const Vec3& point) const override;  // point - center, not normalised
    void translate(std::int32_t dx, std::int32_t dy, std::int32_t dz) override;

    Vec3 center;
    float radius;
};

// The points P with normal . P + offset = 0. Both faces can be hit.
class Plane : public Primitive {
public:
    Plane(Vec3 n, float d, const Material& m) : Primitive(m), offset(d), normal(n) {}

    bool intersect(const Ray& ray, float& distance) const override;
    Vec3 normalAt(const Vec3& point) const override;                             // always `normal`
    void translate(std::int32_t dx, std::int32_t dy, std::int32_t dz) override;  // offset += dy

    float offset;
    Vec3 normal;
};

}  // namespace glintworks
