// A whole run of the viewer on the headless platform, for valgrind's memcheck:
// creation, resizes (including a minimised window and a refused buffer), mouse
// drags in and out of the window, keys, ticks and paints, then Esc through the
// real event loop, the statistics and the tear-down.

#include <iostream>

#include "app/statistics.h"
#include "platform/headless/headless.h"
#include "scene/default_scene.h"
#include "viewer/myWindow.h"

int main() {
    pxHeadless::reset();
    const glintworks::Scene scene = glintworks::makeDefaultScene();
    myWindow window(scene);
    if (window.create(10, 64, 320, 240) != 0) return 1;
    window.setTitle("Glintworks");
    window.setVisible(true);
    HWND h = window.handle;

    using pxHeadless::Button;
    std::int64_t t = 20;
    auto at = [&t](std::int64_t step, std::function<void()> action) {
        t += step;
        pxHeadless::scheduleAtMs(t, std::move(action));
    };
    at(0, [h] { pxHeadless::mouseMove(h, 160, 120); });
    at(5, [h] { pxHeadless::mouseDown(h, Button::left, 160, 120); });
    at(20, [h] { pxHeadless::mouseMove(h, 170, 110); });
    at(20, [h] { pxHeadless::mouseMove(h, -40, -30); });
    at(20, [h] { pxHeadless::mouseUp(h, Button::left, -40, -30); });
    at(20, [h] { pxHeadless::keyDown(h, VK_CONTROL); });
    at(5, [h] { pxHeadless::mouseDown(h, Button::left, 150, 200); });
    at(20, [h] { pxHeadless::mouseMove(h, 150, 150); });
    at(5, [h] { pxHeadless::mouseDown(h, Button::right, 10, 10); });
    at(5, [h] { pxHeadless::mouseUp(h, Button::left, 10, 10); });
    at(5, [h] { pxHeadless::mouseUp(h, Button::right, 10, 10); });
    at(5, [h] { pxHeadless::keyUp(h, VK_CONTROL); });
    at(20, [h] { pxHeadless::resize(h, 97, 61); });
    at(40, [h] { pxHeadless::resize(h, 0, 0); });
    at(40, [h] {
        pxHeadless::failDibSections(1);
        pxHeadless::resize(h, 50, 40);
    });
    at(40, [h] { pxHeadless::resize(h, 33, 17); });
    at(20, [h] { pxHeadless::expose(h); });
    at(20, [&window] { window.postPair(7, 9); });
    at(20, [h] {
        pxHeadless::keyDown(h, 'A');
        pxHeadless::keyUp(h, 'A');
    });
    at(20, [h] { pxHeadless::keyDown(h, VK_ESCAPE); });
    at(20, [h] { pxHeadless::keyUp(h, VK_ESCAPE); });

    window.messagePump.runEventLoop();
    writeRunStatistics(std::cout, window.frameCount, 0, static_cast<double>(pxHeadless::nowMs()));
    return window.frameCount > 10 ? 0 : 1;
}
