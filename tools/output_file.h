#pragma once
// Writing a whole file so that a reader never sees it half-written: the
// contents go to a temporary file beside the file they are meant for, which is
// flushed to the disk and then renamed over that name. One implementation per
// platform: output_file_posix.cpp and output_file_windows.cpp.

#include <cstdio>
#include <functional>
#include <string>

namespace glintworks {

// Writes the whole contents to f and flushes the stream; on failure returns
// false with err set to an errno value (ENOMEM when memory ran out).
using ContentWriter = std::function<bool(std::FILE* f, int& err)>;

// Creates the file at path, or replaces the one there, with what write puts
// out. A path that is a symbolic link (or a chain of them) writes the file at
// the chain's end and the links stay, but only as far as an open() through
// the links would get: where the kernel would refuse to follow a link, or to
// open the file for writing, nothing is written. A file that is replaced keeps
// its permission bits, and its owner and group where the user may set them.
// The temporary file's name fits the file system's limit on a name's length,
// whatever the length of the target's name. Returns an empty string on
// success, otherwise a short reason ("Permission denied", "out of memory", ...)
// for the caller to put after the path; then no file is left changed and no
// temporary file is left behind.
std::string writeFileAtomically(const std::string& path, const ContentWriter& write);

// The name of a temporary file beside base: base, shortened if need be (never
// in the middle of a UTF-8 sequence), then ".tmp-" and unique; nameMax bytes at
// most in all, so that a name the file system takes always leaves room.
inline std::string temporaryNameFor(const std::string& base, const std::string& unique, std::size_t nameMax) {
    const std::string suffix = ".tmp-" + unique;
    std::size_t keep = base.size();
    if (keep + suffix.size() > nameMax) {
        keep = nameMax > suffix.size() ? nameMax - suffix.size() : 0;
        while (keep > 0 && (static_cast<unsigned char>(base[keep]) & 0xC0) == 0x80) --keep;
    }
    return base.substr(0, keep) + suffix;
}

}  // namespace glintworks
