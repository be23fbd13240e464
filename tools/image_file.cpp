#include "tools/image_file.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

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

// Follows path through symbolic links, each relative to the directory of the
// link that holds it, to the name of the file they point to, which need not
// exist yet. A path that is no link is returned as it is.
#if defined(_WIN32)
bool followLinks(std::string&, int&) { return true; }
#else
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
#endif

#if defined(_WIN32)
// A new file of a name not yet taken: _mktemp_s picks the name, and _O_EXCL
// makes the creation fail rather than reuse a file that appeared meanwhile.
std::FILE* createTemporary(std::string& name, int& err) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::vector<char> buffer(name.begin(), name.end());
        buffer.push_back('\0');
        if (_mktemp_s(buffer.data(), buffer.size()) != 0) {
            err = errno != 0 ? errno : EEXIST;
            return nullptr;
        }
        const int fd = _open(buffer.data(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
        if (fd < 0) {
            err = errno;
            if (err == EEXIST) continue;
            return nullptr;
        }
        std::FILE* f = _fdopen(fd, "wb");
        if (f == nullptr) {
            err = errno;
            _close(fd);
            std::remove(buffer.data());
            return nullptr;
        }
        name.assign(buffer.data());
        return f;
    }
    err = EEXIST;
    return nullptr;
}

// std::rename does not replace an existing file on Windows; MoveFileEx does.
bool replaceWith(const std::string& from, const std::string& to, int& err) {
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
    err = GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
    return false;
}
#else
std::FILE* createTemporary(std::string& name, int& err) {
    std::vector<char> buffer(name.begin(), name.end());
    buffer.push_back('\0');
    const int fd = mkstemp(buffer.data());
    if (fd < 0) {
        err = errno;
        return nullptr;
    }
    name.assign(buffer.data());
    // mkstemp makes the file private; give it the usual permissions of a new file.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    std::FILE* f = fdopen(fd, "wb");
    if (f == nullptr) {
        err = errno;
        close(fd);
        unlink(name.c_str());
    }
    return f;
}

bool replaceWith(const std::string& from, const std::string& to, int& err) {
    if (std::rename(from.c_str(), to.c_str()) == 0) return true;
    err = errno;
    return false;
}
#endif

// Removes the temporary file unless the write was committed, also when an
// exception leaves the function.
struct TemporaryFile {
    std::string name;
    bool committed = false;
    ~TemporaryFile() {
        if (!committed && !name.empty()) std::remove(name.c_str());
    }
};

std::string writeToPath(const BgraImage& image, ImageFormat format, const std::string& path) {
    std::string target = path;
    int err = 0;
    if (!followLinks(target, err)) return "cannot write " + path + ": " + std::strerror(err);

    // The temporary file sits beside the target so that the rename stays on one
    // file system and is atomic.
    TemporaryFile tmp;
    std::string name = target + ".tmp-XXXXXX";
    std::FILE* f = createTemporary(name, err);
    if (f == nullptr) return "cannot write " + path + ": " + std::strerror(err);
    tmp.name = name;
    bool ok = encode(image, format, f, err);
    if (std::fclose(f) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok && !replaceWith(tmp.name, target, err)) ok = false;
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
