// writeFileAtomically on Windows: the temporary file beside the target, made
// with _O_EXCL so that a file that appeared meanwhile is never reused, written,
// committed to the disk (_commit) and moved over the target by MoveFileEx,
// which, unlike std::rename there, replaces an existing file. Links are left
// to the system: a symbolic link as the target is replaced by the file.

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cerrno>
#include <cstring>
#include <random>

#include "tools/output_file.h"

namespace glintworks {

namespace {

std::string reason(int err) { return err == ENOMEM ? "out of memory" : std::strerror(err); }

// Removes the temporary file unless the write was committed, also when an
// exception leaves.
struct TemporaryFile {
    std::string name;
    bool committed = false;
    ~TemporaryFile() {
        if (!committed && !name.empty()) std::remove(name.c_str());
    }
};

}  // namespace

std::string writeFileAtomically(const std::string& path, const ContentWriter& write) {
    const std::size_t slash = path.find_last_of("/\\");
    const std::string directory = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);

    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device seed;
    std::mt19937 random(seed());
    TemporaryFile tmp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        std::string unique(6, ' ');
        for (char& c : unique) c = kLetters[random() % (sizeof kLetters - 1)];
        // NTFS and FAT take names of up to 255 characters.
        const std::string name = directory + temporaryNameFor(base, unique, 255);
        fd = _open(name.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
        if (fd >= 0) {
            tmp.name = name;
        } else if (errno != EEXIST) {
            return reason(errno);
        }
    }
    if (fd < 0) return reason(EEXIST);
    std::FILE* f = _fdopen(fd, "wb");
    if (f == nullptr) {
        const int err = errno;
        _close(fd);
        return reason(err);
    }
    int err = 0;
    bool ok = write(f, err);
    if (ok && _commit(_fileno(f)) != 0) {
        ok = false;
        err = errno;
    }
    if (std::fclose(f) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (!ok) return reason(err);
    if (!MoveFileExA(tmp.name.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return reason(GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO);
    tmp.committed = true;
    return {};
}

}  // namespace glintworks
