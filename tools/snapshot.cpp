// glintworks-snapshot: renders the default scene to an image file through the
// same frame renderer the viewer uses.

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "scene/default_scene.h"
#include "scene/render.h"
#include "tools/image_file.h"

namespace {

constexpr const char* kUsage =
    "usage: glintworks-snapshot [--size WxH] OUT\n"
    "\n"
    "Renders the Glintworks default scene and writes it to OUT: as binary PPM when\n"
    "OUT ends in .ppm, otherwise as PNG. The image is 8-bit RGB.\n"
    "\n"
    "  --size WxH   image size in pixels, each side 1 to 16384 (default 320x240);\n"
    "               the eye stays where the viewer has it, over the centre of a\n"
    "               320x240 picture, so a larger image shows more of the scene\n"
    "  --help       print this text and exit\n"
    "\n"
    "The image is written to a temporary file beside OUT and renamed to OUT once\n"
    "complete. On a bad size or an unwritable OUT, one line on standard error says\n"
    "what went wrong, nothing is written, and the exit status is 1.\n";

constexpr std::int32_t kMaxSide = 16384;

int fail(const std::string& message) {
    std::fprintf(stderr, "glintworks-snapshot: %s\n", message.c_str());
    return 1;
}

// One side of a size: decimal digits only, 1 to kMaxSide.
bool parseSide(const std::string& text, std::int32_t& side) {
    if (text.empty() || text.size() > 6) return false;
    std::int32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    if (value < 1 || value > kMaxSide) return false;
    side = value;
    return true;
}

bool parseSize(const std::string& text, std::int32_t& width, std::int32_t& height) {
    const auto x = text.find('x');
    if (x == std::string::npos) return false;
    return parseSide(text.substr(0, x), width) && parseSide(text.substr(x + 1), height);
}

}  // namespace

int main(int argc, char** argv) {
    std::int32_t width = 320;
    std::int32_t height = 240;
    std::string out;

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--size" || arg.rfind("--size=", 0) == 0) {
            std::string value;
            if (arg == "--size") {
                if (i + 1 >= argc) return fail("--size needs a value WxH");
                value = argv[++i];
            } else {
                value = arg.substr(7);
            }
            if (!parseSize(value, width, height)) {
                return fail("bad size '" + value + "': expected WxH, each side a whole number from 1 to " +
                            std::to_string(kMaxSide));
            }
            continue;
        }
        if (arg.size() > 1 && arg[0] == '-') return fail("unknown option '" + arg + "' (see --help)");
        if (!out.empty()) return fail("more than one output file given (see --help)");
        out = arg;
    }
    if (out.empty()) return fail("no output file given (see --help)");

    glintworks::BgraImage image;
    image.width = width;
    image.height = height;
    try {
        image.pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4, 0);
    } catch (const std::bad_alloc&) {
        return fail("not enough memory for a " + std::to_string(width) + "x" + std::to_string(height) + " image");
    }

    const glintworks::Scene scene = glintworks::makeDefaultScene();
    glintworks::renderImage(scene, {image.pixels.data(), width, height, width * 4, false});

    const std::string error = glintworks::writeImageFile(image, out);
    if (!error.empty()) return fail(error);
    return 0;
}
