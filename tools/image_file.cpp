#include "tools/image_file.h"

#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>

namespace glintworks {

namespace {

bool endsWith(const std::string& s, const std::string& suffix) {
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::vector<std::uint8_t> rgbRow(const BgraImage& image, std::int32_t y) {
    std::vector<std::uint8_t> row(static_cast<std::size_t>(image.width) * 3);
    const std::uint8_t* in = image.pixels.data() + static_cast<std::size_t>(y) * image.width * 4;
    for (std::int32_t x = 0; x < image.width; ++x) {
        row[x * 3 + 0] = in[x * 4 + 2];
        row[x * 3 + 1] = in[x * 4 + 1];
        row[x * 3 + 2] = in[x * 4 + 0];
    }
    return row;
}

bool writePpm(const BgraImage& image, std::FILE* f) {
    if (std::fprintf(f, "P6\n%d %d\n255\n", image.width, image.height) < 0) return false;
    for (std::int32_t y = 0; y < image.height; ++y) {
        const auto row = rgbRow(image, y);
        if (std::fwrite(row.data(), 1, row.size(), f) != row.size()) return false;
    }
    return true;
}

struct PngError {
    std::jmp_buf jump;
};

void onPngError(png_structp png, png_const_charp) {
    auto* error = static_cast<PngError*>(png_get_error_ptr(png));
    std::longjmp(error->jump, 1);
}

void onPngWarning(png_structp, png_const_charp) {}

// libpng reports errors by longjmp, so nothing with a destructor may live in
// this frame between setjmp and the end of the write.
bool writePng(const BgraImage& image, std::FILE* f, const std::vector<std::vector<std::uint8_t>>& rows) {
    PngError error;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &error, onPngError, onPngWarning);
    if (png == nullptr) return false;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(error.jump)) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (const auto& row : rows) png_write_row(png, row.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

std::string writeImageFile(const BgraImage& image, const std::string& path) {
    // The temporary file sits beside the target so that the rename stays on one
    // file system and is atomic.
    std::string tmp = path + ".tmp-XXXXXX";
    std::vector<char> name(tmp.begin(), tmp.end());
    name.push_back('\0');
    const int fd = mkstemp(name.data());
    if (fd < 0) return "cannot write " + path + ": " + std::strerror(errno);
    tmp.assign(name.data());
    // mkstemp makes the file private; give it the usual permissions of a new file.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);

    std::FILE* f = fdopen(fd, "wb");
    if (f == nullptr) {
        const int err = errno;
        close(fd);
        unlink(tmp.c_str());
        return "cannot write " + path + ": " + std::strerror(err);
    }

    bool ok;
    if (endsWith(path, ".ppm")) {
        ok = writePpm(image, f);
    } else {
        std::vector<std::vector<std::uint8_t>> rows;
        rows.reserve(static_cast<std::size_t>(image.height));
        for (std::int32_t y = 0; y < image.height; ++y) rows.push_back(rgbRow(image, y));
        ok = writePng(image, f, rows);
    }
    int err = ok ? 0 : (errno != 0 ? errno : EIO);
    if (std::fflush(f) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (std::fclose(f) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok && std::rename(tmp.c_str(), path.c_str()) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        unlink(tmp.c_str());
        return "cannot write " + path + ": " + std::strerror(err);
    }
    return {};
}

}  // namespace glintworks
