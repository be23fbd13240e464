#include "tools/image_file.h"

#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

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

// Row y of the image as packed red, green, blue bytes, into row (3 x width).
void rgbRow(const BgraImage& image, std::int32_t y, std::uint8_t* row) {
    const std::uint8_t* in = image.pixels.data() + static_cast<std::size_t>(y) * image.width * 4;
    for (std::int32_t x = 0; x < image.width; ++x) {
        row[x * 3 + 0] = in[x * 4 + 2];
        row[x * 3 + 1] = in[x * 4 + 1];
        row[x * 3 + 2] = in[x * 4 + 0];
    }
}

bool writePpm(const BgraImage& image, std::FILE* f, std::uint8_t* row) {
    if (std::fprintf(f, "P6\n%d %d\n255\n", image.width, image.height) < 0) return false;
    const std::size_t rowBytes = static_cast<std::size_t>(image.width) * 3;
    for (std::int32_t y = 0; y < image.height; ++y) {
        rgbRow(image, y, row);
        if (std::fwrite(row, 1, rowBytes, f) != rowBytes) return false;
    }
    return true;
}

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
bool writePng(const BgraImage& image, std::FILE* f, std::uint8_t* row, PngError& error) {
    png_structp png = png_create_write_struct_2(PNG_LIBPNG_VER_STRING, &error, onPngError, onPngWarning, nullptr,
                                                pngMalloc, pngFree);
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
    PngError pngError;
    const bool ok = format == ImageFormat::Ppm ? writePpm(image, f, row) : writePng(image, f, row, pngError);
    std::free(row);
    if (!ok) {
        err = pngError.outOfMemory ? ENOMEM : (errno != 0 ? errno : EIO);
        return false;
    }
    if (std::fflush(f) != 0) {
        err = errno != 0 ? errno : EIO;
        return false;
    }
    return true;
}

// Follows path through symbolic links, each relative to the directory of the
// link that holds it, to the name of the file they point to, which need not
// exist yet. A path that is no link is returned as it is.
bool followLinks(std::string& path, int& err) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
        char target[PATH_MAX];
        const ssize_t n = readlink(path.c_str(), target, sizeof target);
        if (n < 0 || n == static_cast<ssize_t>(sizeof target)) {
            err = n < 0 ? errno : ENAMETOOLONG;
            return false;
        }
        const std::string next(target, static_cast<std::size_t>(n));
        const std::size_t slash = path.rfind('/');
        if (next[0] == '/' || slash == std::string::npos) {
            path = next;
        } else {
            path = path.substr(0, slash + 1) + next;
        }
    }
    err = ELOOP;
    return false;
}

// Removes the temporary file unless the write was committed, also when an
// exception leaves the function.
struct TemporaryFile {
    std::string name;
    bool committed = false;
    ~TemporaryFile() {
        if (!committed && !name.empty()) unlink(name.c_str());
    }
};

std::string writeToPath(const BgraImage& image, ImageFormat format, const std::string& path) {
    std::string target = path;
    int err = 0;
    if (!followLinks(target, err)) return "cannot write " + path + ": " + std::strerror(err);

    // The temporary file sits beside the target so that the rename stays on one
    // file system and is atomic.
    TemporaryFile tmp;
    std::string pattern = target + ".tmp-XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd < 0) return "cannot write " + path + ": " + std::strerror(errno);
    tmp.name = pattern;
    // mkstemp makes the file private; give it the usual permissions of a new file.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);

    std::FILE* f = fdopen(fd, "wb");
    if (f == nullptr) {
        err = errno;
        close(fd);
        return "cannot write " + path + ": " + std::strerror(err);
    }
    bool ok = encode(image, format, f, err);
    if (std::fclose(f) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok && std::rename(tmp.name.c_str(), target.c_str()) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) return "cannot write " + path + ": " + (err == ENOMEM ? "out of memory" : std::strerror(err));
    tmp.committed = true;
    return {};
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
        if (path != "-") return writeToPath(image, *format, path);
        int err = 0;
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
