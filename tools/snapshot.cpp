// glintworks-snapshot: renders the default scene to an image file through the
// same frame renderer the viewer uses.

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "scene/default_scene.h"
#include "render/render.h"
#include "tools/image_file.h"
#include "viewer/picking.h"

namespace {

constexpr const char* kUsage =
    "usage: glintworks-snapshot [--size WxH] [[--ctrl] --drag X0,Y0,X1,Y1]... [--held] OUT\n"
    "\n"
    "Renders the Glintworks default scene and writes it to OUT: as PNG when OUT\n"
    "ends in .png, as binary PPM when it ends in .ppm (either in any case), as PNG\n"
    "to standard output when OUT is -. The image is 8-bit RGB.\n"
    "\n"
    "  --size WxH   image size in pixels, each side 1 to 16384 (default 320x240);\n"
    "               the eye stays where the viewer has it, over the centre of a\n"
    "               320x240 picture, so a larger image shows more of the scene\n"
    "  --drag X0,Y0,X1,Y1\n"
    "               replay a drag as the viewer performs it before rendering:\n"
    "               a left press at pixel (X0,Y0), which grabs the primitive\n"
    "               under it, one pointer motion to (X1,Y1), then the release;\n"
    "               may be given more than once, the drags run in order;\n"
    "               coordinates -32768 to 32767\n"
    "  --ctrl       hold Ctrl during the drags given after it: vertical motion\n"
    "               moves the grabbed primitive in depth instead of along y\n"
    "  --held       leave the last drag's button down, so the grabbed primitive\n"
    "               shows in its doubled colour\n"
    "  --help       print this text and exit\n"
    "  --version    print the version and exit\n"
    "\n"
    "The image is written to a temporary file beside OUT and renamed to OUT once\n"
    "complete; a file replaced keeps its mode (and its owner, where the user may\n"
    "set it). When OUT is a symbolic link, the file it points to is replaced and\n"
    "the link stays, where the system lets the user open that file for writing\n"
    "through the link; another user's link in a world-writable sticky directory\n"
    "(such as /tmp) is not followed. On a bad option, an OUT of another\n"
    "extension, an unwritable OUT or too little memory, one line on standard\n"
    "error says what went wrong, nothing is written, and the exit status is 1.\n";

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

// A pointer coordinate as the window layer delivers it: a signed 16-bit value.
bool parseCoordinate(const std::string& text, std::int32_t& value) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    if (i == text.size() || text.size() - i > 5) return false;
    std::int32_t v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        v = v * 10 + (text[i] - '0');
    }
    v = negative ? -v : v;
    if (v < -32768 || v > 32767) return false;
    value = v;
    return true;
}

struct Drag {
    std::int32_t x0, y0, x1, y1;
    bool ctrl;
};

bool parseDrag(const std::string& text, Drag& drag) {
    std::int32_t* fields[] = {&drag.x0, &drag.y0, &drag.x1, &drag.y1};
    std::size_t start = 0;
    for (int i = 0; i < 4; ++i) {
        const std::size_t end = i < 3 ? text.find(',', start) : text.size();
        if (end == std::string::npos) return false;
        if (!parseCoordinate(text.substr(start, end - start), *fields[i])) return false;
        start = end + 1;
    }
    return true;
}

bool parseSize(const std::string& text, std::int32_t& width, std::int32_t& height) {
    const auto x = text.find('x');
    if (x == std::string::npos) return false;
    return parseSide(text.substr(0, x), width) && parseSide(text.substr(x + 1), height);
}

int run(int argc, char** argv) {
    std::int32_t width = 320;
    std::int32_t height = 240;
    std::string out;
    std::vector<Drag> drags;
    bool ctrl = false;
    bool held = false;

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--version") {
            std::printf("glintworks-snapshot %s\n", GLINTWORKS_VERSION);
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
        if (arg == "--drag") {
            Drag drag{};
            drag.ctrl = ctrl;
            if (i + 1 >= argc) return fail("--drag needs a value X0,Y0,X1,Y1");
            const std::string value = argv[++i];
            if (!parseDrag(value, drag)) {
                return fail("bad drag '" + value + "': expected X0,Y0,X1,Y1, whole numbers from -32768 to 32767");
            }
            drags.push_back(drag);
            continue;
        }
        if (arg == "--ctrl") {
            ctrl = true;
            continue;
        }
        if (arg == "--held") {
            held = true;
            continue;
        }
        if (arg.size() > 1 && arg[0] == '-') return fail("unknown option '" + arg + "' (see --help)");
        if (!out.empty()) return fail("more than one output file given (see --help)");
        out = arg;
    }
    if (out.empty()) return fail("no output file given (see --help)");
    if (!glintworks::imageFormatFor(out)) {
        return fail("cannot write " + out + ": the name must end in .png or .ppm (or be - for standard output)");
    }

    glintworks::BgraImage image;
    image.width = width;
    image.height = height;
    try {
        image.pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4, 0);
    } catch (const std::bad_alloc&) {
        return fail("not enough memory for a " + std::to_string(width) + "x" + std::to_string(height) + " image");
    }

    glintworks::Scene scene = glintworks::makeDefaultScene();
    if (held && drags.empty()) return fail("--held needs a --drag");
    std::int32_t lastX = 0;
    std::int32_t lastY = 0;
    for (std::size_t i = 0; i < drags.size(); ++i) {
        const Drag& d = drags[i];
        scene.keyDown[glintworks::kKeyControl] = d.ctrl ? 1 : 0;
        glintworks::mousePressed(scene, {lastX, lastY}, d.x0, d.y0, glintworks::kButtonLeft);
        glintworks::mouseMoved(scene, {lastX, lastY}, d.x1, d.y1);
        if (!(held && i + 1 == drags.size())) glintworks::mouseReleased(scene, glintworks::kButtonLeft);
    }
    glintworks::renderImage(scene, {image.pixels.data(), width, height, width * 4, false});

    const std::string error = glintworks::writeImageFile(image, out);
    if (!error.empty()) return fail(error);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc&) {
        return fail("out of memory");
    }
}
