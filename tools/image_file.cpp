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
#include <cstdio>
#include <cstring>
#include <memory>

#include "tools/png_writer.h"

namespace glintworks {

namespace {

bool endsWith(const std::string& s, const std::string& suffix) {
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

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

namespace {

bool writePpm(const BgraImage& image, std::FILE* f) {
    if (std::fprintf(f, "P6\n%d %d\n255\n", image.width, image.height) < 0) return false;
    for (std::int32_t y = 0; y < image.height; ++y) {
        const auto row = rgbRow(image, y);
        if (std::fwrite(row.data(), 1, row.size(), f) != row.size()) return false;
    }
    return true;
}

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

}  // namespace

std::string writeImageFile(const BgraImage& image, const std::string& path) {
    // The temporary file sits beside the target so that the rename stays on one
    // file system and is atomic.
    std::string tmp = path + ".tmp-XXXXXX";
    int err = 0;
    std::FILE* f = createTemporary(tmp, err);
    if (f == nullptr) return "cannot write " + path + ": " + std::strerror(err);

    bool ok;
    if (endsWith(path, ".ppm")) {
        ok = writePpm(image, f);
    } else {
        ok = writePng(image, f);
    }
    err = ok ? 0 : (errno != 0 ? errno : EIO);
    if (std::fflush(f) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (std::fclose(f) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok && !replaceWith(tmp, path, err)) ok = false;
    if (!ok) {
        std::remove(tmp.c_str());
        return "cannot write " + path + ": " + std::strerror(err);
    }
    return {};
}

}  // namespace glintworks
