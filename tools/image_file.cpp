#include "tools/image_file.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "tools/output_file.h"
#include "tools/png_writer.h"

namespace glintworks {

namespace {

bool endsWithNoCase(const std::string& s, const char* suffix) {
    const std::size_t n = std::strlen(suffix);
    if (s.size() < n) return false;
    for (std::size_t i = 0; i < n; ++i) {
        char c = s[s.size() - n + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != suffix[i]) return false;
    }
    return true;
}

}  // namespace

void rgbRow(const BgraImage& image, std::int32_t y, std::uint8_t* row) {
    const std::uint8_t* in = image.pixels.data() + static_cast<std::size_t>(y) * image.width * 4;
    for (std::int32_t x = 0; x < image.width; ++x) {
        row[x * 3 + 0] = in[x * 4 + 2];
        row[x * 3 + 1] = in[x * 4 + 1];
        row[x * 3 + 2] = in[x * 4 + 0];
    }
}

namespace {

bool writePpm(const BgraImage& image, std::FILE* f, std::uint8_t* row) {
    if (std::fprintf(f, "P6\n%d %d\n255\n", image.width, image.height) < 0) return false;
    const std::size_t rowBytes = static_cast<std::size_t>(image.width) * 3;
    for (std::int32_t y = 0; y < image.height; ++y) {
        rgbRow(image, y, row);
        if (std::fwrite(row, 1, rowBytes, f) != rowBytes) return false;
    }
    return true;
}

// Encodes the whole image to f and flushes it. On failure returns false with
// err set to an errno value (ENOMEM when memory ran out).
bool encode(const BgraImage& image, ImageFormat format, std::FILE* f, int& err) {
    // One row of RGB bytes, the only memory the encoding needs beside the
    // encoder's own; malloc rather than a container because of libpng's longjmp.
    auto* row = static_cast<std::uint8_t*>(std::malloc(static_cast<std::size_t>(image.width) * 3 + 1));
    if (row == nullptr) {
        err = ENOMEM;
        return false;
    }
    errno = 0;
    bool outOfMemory = false;
    const bool ok = format == ImageFormat::Ppm ? writePpm(image, f, row) : writePng(image, f, row, outOfMemory);
    std::free(row);
    if (!ok) {
        err = outOfMemory ? ENOMEM : (errno != 0 ? errno : EIO);
        return false;
    }
    if (std::fflush(f) != 0) {
        err = errno != 0 ? errno : EIO;
        return false;
    }
    return true;
}

}  // namespace

std::optional<ImageFormat> imageFormatFor(const std::string& path) {
    if (path == "-" || endsWithNoCase(path, ".png")) return ImageFormat::Png;
    if (endsWithNoCase(path, ".ppm")) return ImageFormat::Ppm;
    return std::nullopt;
}

std::string writeImageFile(const BgraImage& image, const std::string& path) {
    const std::optional<ImageFormat> format = imageFormatFor(path);
    if (!format) return "cannot write " + path + ": the name must end in .png or .ppm";
    try {
        if (path != "-") {
            const std::string failure =
                writeFileAtomically(path, [&](std::FILE* f, int& err) { return encode(image, *format, f, err); });
            return failure.empty() ? failure : "cannot write " + path + ": " + failure;
        }
        int err = 0;
#if defined(_WIN32)
        // Text mode would turn every byte 10 of the picture into 13 10.
        _setmode(_fileno(stdout), _O_BINARY);
#endif
        if (!encode(image, *format, stdout, err)) {
            return std::string("cannot write to standard output: ") +
                   (err == ENOMEM ? "out of memory" : std::strerror(err));
        }
        return {};
    } catch (const std::bad_alloc&) {
        return "cannot write " + path + ": out of memory";
    }
}

}  // namespace glintworks
