#pragma once
// The viewer: the program's one window. It owns a copy of the scene (sharing the
// primitives with the scene it was made from) and an offscreen buffer; every
// timer tick and every resize renders a frame into the buffer, and every paint
// copies the buffer to the window. The mouse picks and drags primitives; keys
// are tracked in the scene's held-key table, and releasing Esc ends the loop.

#include <cstdint>

#include "px/pxOffscreen.h"
#include "px/pxWindow.h"
#include "scene/scene.h"

class myWindow : public pxWindow {
public:
    explicit myWindow(const glintworks::Scene& scene);
    ~myWindow() override;

    myWindow(const myWindow&) = delete;
    myWindow& operator=(const myWindow&) = delete;

    void handleCreated() override;
    void handleCloseRequest() override;
    void handleResize(std::int32_t width, std::int32_t height) override;
    void handleMousePress(std::int32_t x, std::int32_t y, std::uint32_t flags) override;
    void handleMouseRelease(std::int32_t x, std::int32_t y, std::uint32_t flags) override;
    void handleMouseMove(std::int32_t x, std::int32_t y) override;
    void handleKeyPress(std::uint32_t key, std::uint32_t flags) override;
    void handleKeyRelease(std::uint32_t key, std::uint32_t flags) override;
    void handlePaint(HDC surface) override;
    void handleTimer() override;

    // Renders the scene into the buffer, image row 0 at the top whichever way the
    // buffer stores its rows, writing the blue, green and red bytes of every
    // pixel and never the alpha byte; counts the frame, also when the buffer is
    // empty.
    virtual void renderFrame(pxBuffer& buffer);

    pxMessagePump messagePump;
    pxOffscreen offscreen;
    glintworks::Scene scene;
    std::int32_t frameCount = 0;  // frames rendered since construction, from ticks and resizes
    std::int32_t lastMouseX = 0;  // last pointer position seen by a press or a motion
    std::int32_t lastMouseY = 0;
};
