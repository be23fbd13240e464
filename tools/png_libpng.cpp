// PNG through libpng (Linux).

#include <png.h>

#include <csetjmp>
#include <cstdlib>

#include "tools/png_writer.h"

namespace glintworks {

namespace {

struct PngError {
    std::jmp_buf jump;
    bool outOfMemory = false;
};

void onPngError(png_structp png, png_const_charp) {
    auto* error = static_cast<PngError*>(png_get_error_ptr(png));
    std::longjmp(error->jump, 1);
}

void onPngWarning(png_structp, png_const_charp) {}

// libpng's and zlib's allocations come here, so that a refused one can be told
// apart from a failed write: libpng reports both as the same kind of error.
png_voidp pngMalloc(png_structp png, png_alloc_size_t size) {
    void* p = std::malloc(size);
    if (p == nullptr) static_cast<PngError*>(png_get_error_ptr(png))->outOfMemory = true;
    return p;
}

void pngFree(png_structp, png_voidp p) { std::free(p); }

// libpng reports errors by longjmp, so nothing with a destructor may live in
// this frame between setjmp and the end of the write; the row buffer is the
// caller's.
bool encode(const BgraImage& image, std::FILE* f, std::uint8_t* row, PngError& error) {
    png_structp png =
        png_create_write_struct_2(PNG_LIBPNG_VER_STRING, &error, onPngError, onPngWarning, nullptr, pngMalloc, pngFree);
    if (png == nullptr) {
        error.outOfMemory = true;
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        error.outOfMemory = true;
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
    for (std::int32_t y = 0; y < image.height; ++y) {
        rgbRow(image, y, row);
        png_write_row(png, row);
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

bool writePng(const BgraImage& image, std::FILE* f, std::uint8_t* row, bool& outOfMemory) {
    PngError error;
    const bool ok = encode(image, f, row, error);
    outOfMemory = error.outOfMemory;
    return ok;
}

}  // namespace glintworks
