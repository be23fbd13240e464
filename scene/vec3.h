#pragma once
// Small value types of the scene: points and directions, rays and colours.
//
// World space: one unit is one pixel of the image plane z = 0; pixel (x, y) lies
// at world (x, y, 0); x grows to the right, y downwards on the screen and z away
// from the viewer. Every quantity is a 32-bit float.

namespace glintworks {

struct Vec3 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
};

inline Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator*(Vec3 v, float s) { return {v.x * s, v.y * s, v.z * s}; }
inline Vec3 operator*(float s, Vec3 v) { return {s * v.x, s * v.y, s * v.z}; }
inline float dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline bool operator==(Vec3 a, Vec3 b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

// A ray. Every ray the system builds has a direction of unit length; the sphere
// test relies on it.
struct Ray {
    Vec3 origin;
    Vec3 direction;
};

// A colour in pixel byte order: b ends in byte 0, g in byte 1, r in byte 2.
// 1.0 is full intensity. a is carried along but never read.
struct Color4 {
    float b = 0.0f;
    float g = 0.0f;
    float r = 0.0f;
    float a = 0.0f;
};

inline bool operator==(const Color4& p, const Color4& q) {
    return p.b == q.b && p.g == q.g && p.r == q.r && p.a == q.a;
}

}  // namespace glintworks
