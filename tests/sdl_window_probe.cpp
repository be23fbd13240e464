// A window on the SDL backend that writes one line to standard output for
// every handler call, for tests/sdl/window_test.sh to drive in a real X
// server. It draws a known picture through a pxOffscreen and writes the same
// picture, computed straight from the pattern, as PPM files for the script to
// compare with screenshots.
//
// Usage: sdl_window_probe DIR
//
// 1. Creates a window at (100, 64), 203 x 151, titles it "px probe" and writes
//    "created"; the window stays hidden until the file DIR/show exists.
// 2. Shows it and runs the event loop. Every resize fills the buffer with
//    pattern 0 and writes DIR/size-WxH.ppm.
// 3. Releasing Tab redraws the box (37, 23)-(150, 101) with pattern 1 and
//    invalidates only the box: DIR/box.ppm. Releasing X redraws the whole
//    buffer with pattern 2 and invalidates nothing, so only an expose can show
//    it: DIR/unshown.ppm.
// 4. The first close request is written and ignored; the second ends the loop
//    ("end", status 0).
// If the window cannot be created it writes "cannot open a window: REASON" on
// standard error and ends with status 1.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "px/pxOffscreen.h"
#include "px/pxWindow.h"

namespace {

constexpr std::int32_t kLeft = 100;
constexpr std::int32_t kTop = 64;
constexpr std::int32_t kWidth = 203;  // odd sizes, so that a wrong stride or row count shows
constexpr std::int32_t kHeight = 151;
constexpr pxBox kBox{37, 23, 150, 101};

struct Rgb {
    std::uint8_t r, g, b;
};

// Different in every row and every column, and different per pattern, so a
// flipped, shifted or channel-swapped copy cannot match.
Rgb patternAt(int pattern, std::int32_t x, std::int32_t y) {
    return Rgb{static_cast<std::uint8_t>(x * 3 + pattern * 85), static_cast<std::uint8_t>(y * 5 + x),
               static_cast<std::uint8_t>((x ^ (y * 7)) + pattern * 40)};
}

void say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

class ProbeWindow : public pxWindow {
public:
    explicit ProbeWindow(std::filesystem::path dir) : dir_(std::move(dir)) {}

    void handleCreated() override { say("created"); }

    void handleCloseRequest() override {
        say("close");
        if (++closeRequests_ == 2) messagePump_.quitEventLoop();
    }

    // Each handler writes its line after its work, so that a script that has
    // seen the line finds the picture file in place.
    void handleResize(std::int32_t width, std::int32_t height) override {
        if (offscreen_.allocate(width, height) == 0) {  // refused when minimised: 0 x 0
            expected_.assign(static_cast<std::size_t>(width) * height, Rgb{});
            draw(0, pxBox{0, 0, width, height});
            writeExpected("size-" + std::to_string(width) + "x" + std::to_string(height) + ".ppm");
        }
        say("resize " + std::to_string(width) + " " + std::to_string(height));
    }

    void handleMousePress(std::int32_t x, std::int32_t y, std::uint32_t flags) override {
        say("press " + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(flags));
    }
    void handleMouseRelease(std::int32_t x, std::int32_t y, std::uint32_t flags) override {
        say("release " + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(flags));
    }
    void handleMouseMove(std::int32_t x, std::int32_t y) override {
        say("move " + std::to_string(x) + " " + std::to_string(y));
    }
    void handleMouseLeave() override { say("leave"); }

    void handleKeyPress(std::uint32_t key, std::uint32_t flags) override {
        say("key-press " + std::to_string(key) + " " + std::to_string(flags));
    }
    void handleKeyRelease(std::uint32_t key, std::uint32_t flags) override {
        if (key == VK_TAB) {
            draw(1, kBox);
            writeExpected("box.ppm");
            invalidate(&kBox);
        } else if (key == 'X') {
            draw(2, pxBox{0, 0, offscreen_.width, offscreen_.height});
            writeExpected("unshown.ppm");
        }
        say("key-release " + std::to_string(key) + " " + std::to_string(flags));
    }

    void handlePaint(HDC surface) override {
        offscreen_.blitTo(surface, 0, 0, offscreen_.width, offscreen_.height, 0, 0);
    }

    pxMessagePump& pump() { return messagePump_; }

private:
    // Writes the pattern into the buffer through its own row addressing, with
    // a different alpha byte in every pixel (the copy must ignore it), and
    // into the top-down picture that the PPM files show.
    void draw(int pattern, const pxBox& box) {
        for (std::int32_t y = box.top; y < box.bottom && y < offscreen_.height; ++y) {
            const std::int32_t row = offscreen_.bottomUp ? offscreen_.height - 1 - y : y;
            for (std::int32_t x = box.left; x < box.right && x < offscreen_.width; ++x) {
                const Rgb c = patternAt(pattern, x, y);
                std::uint8_t* p = offscreen_.pixels + static_cast<std::ptrdiff_t>(row) * offscreen_.stride + 4 * x;
                p[0] = c.b;
                p[1] = c.g;
                p[2] = c.r;
                p[3] = static_cast<std::uint8_t>(x * y + 77);
                expected_[static_cast<std::size_t>(y) * offscreen_.width + x] = c;
            }
        }
    }

    // Written under a temporary name and renamed, so the script never reads
    // half a file.
    void writeExpected(const std::string& name) {
        const std::filesystem::path path = dir_ / name;
        const std::filesystem::path partial = dir_ / (name + ".partial");
        std::FILE* file = std::fopen(partial.c_str(), "wb");
        if (file == nullptr) return;
        std::fprintf(file, "P6\n%d %d\n255\n", offscreen_.width, offscreen_.height);
        for (const Rgb& c : expected_) {
            const std::uint8_t bytes[3] = {c.r, c.g, c.b};
            std::fwrite(bytes, 1, 3, file);
        }
        std::fclose(file);
        std::filesystem::rename(partial, path);
    }

    std::filesystem::path dir_;
    pxOffscreen offscreen_;
    std::vector<Rgb> expected_;  // top-down, what the window should show
    pxMessagePump messagePump_;
    int closeRequests_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: sdl_window_probe DIR\n");
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    ProbeWindow window(dir);
    if (window.create(kLeft, kTop, kWidth, kHeight) != 0) {
        std::fprintf(stderr, "cannot open a window: %s\n", pxNativeLastError());
        return 1;
    }
    window.setTitle("px probe");

    // Hidden until the script has looked at it; bounded, so a broken script
    // cannot leave the probe behind.
    for (int i = 0; i < 1000 && !std::filesystem::exists(dir / "show"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    window.setVisible(true);

    window.pump().runEventLoop();
    say("end");
    return 0;
}
