// PNG through libpng.

#include <png.h>

#include <csetjmp>

#include "tools/png_writer.h"

namespace glintworks {

namespace {

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
bool writePngRows(const BgraImage& image, std::FILE* f, const std::vector<std::vector<std::uint8_t>>& rows) {
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

bool writePng(const BgraImage& image, std::FILE* f) {
    std::vector<std::vector<std::uint8_t>> rows;
    rows.reserve(static_cast<std::size_t>(image.height));
    for (std::int32_t y = 0; y < image.height; ++y) rows.push_back(rgbRow(image, y));
    return writePngRows(image, f, rows);
}

}  // namespace glintworks
