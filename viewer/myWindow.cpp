#include "viewer/myWindow.h"

#include "render/render.h"
#include "viewer/picking.h"

static_assert(glintworks::kButtonLeft == PX_BTN_LEFT && glintworks::kButtonMiddle == PX_BTN_MIDDLE &&
              glintworks::kButtonRight == PX_BTN_RIGHT);

namespace {

constexpr std::int32_t kTicksPerSecond = 60;
constexpr std::uint32_t kKeyEscape = 27;

}  // namespace

myWindow::myWindow(const glintworks::Scene& source) : scene(source) {}

// Members go in reverse order: the scene copy, the buffer, then the window
// bases, which detach the object from the native window.
myWindow::~myWindow() = default;

void myWindow::renderFrame(pxBuffer& buffer) {
    ++frameCount;
    glintworks::renderImage(scene, {buffer.pixels, buffer.width, buffer.height, buffer.stride, buffer.bottomUp});
}

void myWindow::handleCreated() { setTickRate(kTicksPerSecond); }

void myWindow::handleCloseRequest() { messagePump.quitEventLoop(); }

void myWindow::handleResize(std::int32_t width, std::int32_t height) {
    // A refused allocation leaves the buffer empty: the frame then draws nothing.
    offscreen.allocate(width, height);
    renderFrame(offscreen);
}

void myWindow::handleTimer() {
    renderFrame(offscreen);
    invalidate();
}

void myWindow::handlePaint(HDC surface) { offscreen.blitTo(surface, 0, 0, offscreen.width, offscreen.height, 0, 0); }

void myWindow::handleKeyPress(std::uint32_t key, std::uint32_t) {
    if (key < glintworks::kKeyCount) scene.keyDown[key] = 1;
}

void myWindow::handleKeyRelease(std::uint32_t key, std::uint32_t) {
    if (key < glintworks::kKeyCount) scene.keyDown[key] = 0;
    if (key == kKeyEscape) messagePump.quitEventLoop();
}

void myWindow::handleMousePress(std::int32_t x, std::int32_t y, std::uint32_t flags) {
    glintworks::mousePressed(scene, {lastMouseX, lastMouseY}, x, y, flags);
}

void myWindow::handleMouseRelease(std::int32_t, std::int32_t, std::uint32_t flags) {
    glintworks::mouseReleased(scene, flags);
}

void myWindow::handleMouseMove(std::int32_t x, std::int32_t y) {
    glintworks::mouseMoved(scene, {lastMouseX, lastMouseY}, x, y);
}
