#include "scene/default_scene.h"

namespace glintworks {

namespace {

Material makeMaterial(Color4 color, float specular, float specularPower, float reflection) {
    Material m;
    m.color = color;
    m.savedColor = color;
    m.specular = specular;
    m.specularPower = specularPower;
    m.reflection = reflection;
    return m;
}

}  // namespace

Scene makeDefaultScene() {
    Scene scene;
    scene.width = 320;
    scene.height = 240;
    scene.traceDepth = 4;
    scene.eye = {160.0f, 120.0f, -240.0f};

    // Colours are (b, g, r, a).
    scene.primitives.push_back(std::make_shared<Sphere>(Vec3{-32.0f, 160.0f, 240.0f}, 48.0f,
                                                        makeMaterial({0.0f, 0.0f, 0.7f, 1.0f}, 1.5f, 12.0f, 0.4f)));
    scene.primitives.push_back(std::make_shared<Sphere>(Vec3{128.0f, 144.0f, 160.0f}, 60.0f,
                                                        makeMaterial({0.0f, 0.5f, 0.7f, 1.0f}, 1.5f, 12.0f, 0.4f)));
    scene.primitives.push_back(std::make_shared<Sphere>(Vec3{320.0f, 24.0f, 480.0f}, 240.0f,
                                                        makeMaterial({0.5f, 0.0f, 0.7f, 1.0f}, 1.5f, 12.0f, 0.4f)));
    // The floor y = 240, its normal pointing up towards the eye.
    scene.primitives.push_back(std::make_shared<Plane>(Vec3{0.0f, -1.0f, 0.0f}, 240.0f,
                                                       makeMaterial({0.6f, 0.4f, 0.6f, 1.0f}, 1.0f, 12.0f, 1.0f)));

    const Color4 white{1.0f, 1.0f, 1.0f, 1.0f};
    scene.lights.emplace_back(white, Vec3{10.0f, -120.0f, -120.0f});
    scene.lights.emplace_back(white, Vec3{310.0f, 30.0f, 0.0f});
    return scene;
}

}  // namespace glintworks
