// Random streams of native messages and input into the viewer window through
// the headless platform, interleaved with ticks and paints. Afterwards the
// window must still render its scene exactly.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/headless/headless.h"
#include "scene/default_scene.h"
#include "render/render.h"
#include "tests/fuzz/fuzz_input.h"
#include "viewer/myWindow.h"

namespace {

// The messages a stream picks from most of the time; any other number is also
// possible.
constexpr UINT kInteresting[] = {
    WM_CREATE,    WM_DESTROY,    WM_SIZE,        WM_PAINT,       WM_CLOSE,         WM_ERASEBKGND, WM_SETCURSOR,
    WM_NCCREATE,  WM_NCDESTROY,  WM_KEYDOWN,     WM_KEYUP,       WM_SYSKEYDOWN,    WM_SYSKEYUP,   WM_CHAR,
    WM_TIMER,     WM_MOUSEMOVE,  WM_LBUTTONDOWN, WM_LBUTTONUP,   WM_RBUTTONDOWN,   WM_RBUTTONUP,  WM_MBUTTONDOWN,
    WM_MBUTTONUP, WM_MOUSELEAVE, WM_USER + 1000, WM_USER + 1001, WM_GETMINMAXINFO,
};

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "fuzz_messages: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Buffers up to 1 MiB: a larger WM_SIZE meets a refused allocation, the
    // path a real window takes when memory cannot be had.
    pxHeadless::reset();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    pxHeadless::reset();
    pxHeadless::limitDibSectionBytes(1 << 20);
    const glintworks::Scene entryScene = glintworks::makeDefaultScene();
    myWindow window(entryScene);
    if (window.create(10, 64, 64, 48) != 0) return 0;
    window.setTitle("Glintworks");
    window.setVisible(true);
    HWND hwnd = window.handle;

    FuzzInput in(data, size);
    int steps = 0;
    while (!in.done() && ++steps < 400) {
        switch (in.read<std::uint8_t>() % 12) {
        case 0: {  // any message, any parameters, posted as the platform allows
            const auto pick = in.read<std::uint8_t>();
            const UINT message =
                pick < 200 ? kInteresting[pick % std::size(kInteresting)] : static_cast<UINT>(in.read<std::uint16_t>());
            const auto wparam = static_cast<WPARAM>(in.read<std::uint64_t>());
            const auto lparam = static_cast<LPARAM>(in.read<std::uint64_t>());
            PostMessageW(hwnd, message, wparam, lparam);
            break;
        }
        case 1: pxHeadless::keyDown(hwnd, static_cast<int>(in.range(0, 65535))); break;
        case 2: pxHeadless::keyUp(hwnd, static_cast<int>(in.range(0, 65535))); break;
        case 3:
            pxHeadless::mouseMove(hwnd, static_cast<std::int32_t>(in.range(-70000, 70000)),
                                  static_cast<std::int32_t>(in.range(-70000, 70000)));
            break;
        case 4:
        case 5: {
            const auto button = static_cast<pxHeadless::Button>(in.range(0, 2));
            const auto x = static_cast<std::int32_t>(in.range(-500, 500));
            const auto y = static_cast<std::int32_t>(in.range(-500, 500));
            if (in.read<std::uint8_t>() & 1)
                pxHeadless::mouseDown(hwnd, button, x, y);
            else
                pxHeadless::mouseUp(hwnd, button, x, y);
            break;
        }
        case 6:
            pxHeadless::resize(hwnd, static_cast<std::int32_t>(in.range(0, 65535)),
                               static_cast<std::int32_t>(in.range(0, 65535)));
            break;
        case 7: pxHeadless::expose(hwnd); break;
        case 8: pxHeadless::closeButton(hwnd); break;
        case 9: window.postPair(in.read<std::int32_t>(), in.read<std::int32_t>()); break;
        case 10: pxHeadless::advanceMs(in.range(0, 100)); break;
        default: pxHeadless::dispatchPending(); break;
        }
    }
    pxHeadless::dispatchPending();

    // The window still renders: its frame equals the scene traced directly.
    pxBuffer buffer;
    std::vector<std::uint8_t> pixels(40 * 30 * 4, 0), expected(40 * 30 * 4, 0);
    buffer.pixels = pixels.data();
    buffer.width = 40;
    buffer.height = 30;
    buffer.stride = 160;
    buffer.bottomUp = true;
    const std::int32_t frames = window.frameCount;
    window.renderFrame(buffer);
    check(window.frameCount == frames + 1, "frame not counted");
    glintworks::renderImage(window.scene, {expected.data(), 40, 30, 160, true});
    check(pixels == expected, "frame differs from the scene");
    for (std::size_t i = 0; i < entryScene.primitives.size(); ++i) {
        check(entryScene.primitives[i] == window.scene.primitives[i], "primitives no longer shared");
    }

    // And, while still attached (a posted WM_NCDESTROY detaches it), through
    // the whole platform path.
    if (GetWindowLongPtrW(hwnd, GWLP_USERDATA) == reinterpret_cast<LONG_PTR>(&window)) {
        pxHeadless::resize(hwnd, 24, 16);
        pxHeadless::advanceMs(20);
        pxHeadless::dispatchPending();
        std::vector<std::uint8_t> small(24 * 16 * 4, 0);
        glintworks::renderImage(window.scene, {small.data(), 24, 16, 96, false});
        const pxHeadless::Image image = pxHeadless::windowImage(hwnd);
        if (image.width == 24 && image.height == 16) {
            for (std::size_t i = 0; i < small.size(); i += 4) {
                check(std::memcmp(&small[i], &image.bgra[i], 3) == 0, "window image differs from the scene");
            }
        }
    }
    return 0;
}
