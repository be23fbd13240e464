// writeFileAtomically on Linux and other POSIX systems.
//
// The order of the steps is what keeps a link planted by another user from
// steering the write (the kernel's fs.protected_symlinks rule) and what keeps
// the new file's contents from anyone the old file did not admit:
//
// 1. The chain of links at the end of the path is read, hop by hop, to learn
//    the name of the file it ends in; a hop that the kernel's rule forbids to
//    follow (a link in a world-writable sticky directory, owned neither by us
//    nor by the directory's owner) is refused here too, so that the rule holds
//    on a system where the sysctl is off.
// 2. The path itself, links and all, is opened for writing, without O_CREAT or
//    O_TRUNC: the kernel decides whether we may follow every link on the way
//    and write the file at the end, and opening changes nothing. A dangling
//    link is followed with O_CREAT instead, which makes an empty file at its
//    end as the kernel allows.
// 3. The file's directory is opened and the name found in step 1 must still
//    name the very file (device and inode) that step 2 opened; from here on
//    the directory's descriptor and that name are all that is used, so that
//    swapping a link afterwards changes nothing. A rename only replaces a name
//    in that directory: whatever sits under the name then is something the
//    kernel just let us open for writing, or something put there by a user
//    who may write the directory and could have replaced it anyway.
// 4. The temporary file is made in that directory with O_EXCL, its contents
//    written, fsync'ed and renamed over the name. It is created with no
//    permission for anyone but its owner until its owner and mode are those
//    of the file it replaces (a descriptor opened earlier would keep reading).
//    A new file gets 0666 less the umask from the start, as any new file.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <random>

#include "tools/output_file.h"

namespace glintworks {

namespace {

std::string reason(int err) { return err == ENOMEM ? "out of memory" : std::strerror(err); }

// Owns a file descriptor.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    void reset(int fd) {
        if (fd_ >= 0) close(fd_);
        fd_ = fd;
    }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

std::string directoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The kernel's rule for following a link (fs.protected_symlinks): in a
// directory that is sticky and writable by everyone, only links of the
// follower's own or of the directory's owner are followed.
bool followForbidden(const std::string& link, const struct stat& linkStat) {
    struct stat dir;
    if (stat(directoryOf(link).c_str(), &dir) != 0) return false;  // the open will fail on its own
    const bool stickyShared = (dir.st_mode & S_ISVTX) != 0 && (dir.st_mode & S_IWOTH) != 0;
    return stickyShared && linkStat.st_uid != geteuid() && linkStat.st_uid != dir.st_uid;
}

// Step 1: follows path through the links at its end, each relative to the
// directory of the link that holds it, to the name of the file they point to,
// which need not exist yet. Sets isLink when path is a link. On failure
// returns false with the reason.
bool followLinks(const std::string& path, std::string& target, bool& isLink, std::string& failure) {
    target = path;
    isLink = false;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
        if (followForbidden(target, st)) {
            failure =
                "not following the link " + target + ", which another user owns in a world-writable sticky directory";
            return false;
        }
        isLink = true;
        // st_size is the target's length, but 0 for some file systems' links.
        std::string next(st.st_size > 0 ? static_cast<std::size_t>(st.st_size) + 1 : 4096, '\0');
        const ssize_t n = readlink(target.c_str(), next.data(), next.size());
        if (n <= 0 || static_cast<std::size_t>(n) == next.size()) {
            failure = reason(n < 0 ? errno : EAGAIN);  // changed while being read
            return false;
        }
        next.resize(static_cast<std::size_t>(n));
        const std::size_t slash = target.rfind('/');
        target = next[0] == '/' || slash == std::string::npos ? next : target.substr(0, slash + 1) + next;
    }
    failure = reason(ELOOP);
    return false;
}

// The directory a file is made in; read-only so that it can be fsync'ed, or
// just located where it may be searched but not read.
int openDirectory(const std::string& path) {
    int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
#if defined(O_PATH)
    if (fd < 0 && errno == EACCES) fd = open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
#endif
    return fd;
}

std::string uniqueSuffix(std::mt19937& random) {
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string s(6, ' ');
    for (char& c : s) c = kLetters[random() % (sizeof kLetters - 1)];
    return s;
}

// Removes, unless the write was committed, the temporary file and an empty
// file that following a dangling link made, also when an exception leaves.
struct Cleanup {
    int dir = -1;
    std::string temporary;
    std::string placeholder;
    dev_t placeholderDevice = 0;
    ino_t placeholderInode = 0;
    bool committed = false;
    ~Cleanup() {
        if (committed || dir < 0) return;
        if (!temporary.empty()) unlinkat(dir, temporary.c_str(), 0);
        struct stat st;
        if (!placeholder.empty() && fstatat(dir, placeholder.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            st.st_dev == placeholderDevice && st.st_ino == placeholderInode && st.st_size == 0)
            unlinkat(dir, placeholder.c_str(), 0);
    }
};

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

std::string writeFileAtomically(const std::string& path, const ContentWriter& write) {
    std::string target;
    bool isLink = false;
    std::string failure;
    if (!followLinks(path, target, isLink, failure)) return failure;
    const std::string base = baseOf(target);
    if (base.empty() || base == "." || base == "..") return reason(EISDIR);

    // Step 2. O_NONBLOCK: a FIFO without a reader must not hang the open.
    const int probeFlags = O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC;
    Descriptor existing(open(path.c_str(), probeFlags));
    bool madePlaceholder = false;
    if (existing.get() < 0) {
        if (errno != ENOENT) return reason(errno);
        if (isLink) {
            existing.reset(open(path.c_str(), probeFlags | O_CREAT, 0666));
            if (existing.get() < 0) return reason(errno);
            madePlaceholder = true;
        }
    }
    struct stat old {};
    if (existing.get() >= 0) {
        if (fstat(existing.get(), &old) != 0) return reason(errno);
        // Renaming over a device or a FIFO would not write to it.
        if (!S_ISREG(old.st_mode)) return "not a regular file";
    }

    // Step 3.
    Descriptor dir(openDirectory(directoryOf(target)));
    if (dir.get() < 0) return reason(errno);
    Cleanup cleanup;
    cleanup.dir = dir.get();
    if (existing.get() >= 0) {
        if (madePlaceholder) {
            cleanup.placeholder = base;
            cleanup.placeholderDevice = old.st_dev;
            cleanup.placeholderInode = old.st_ino;
        }
        struct stat now;
        if (fstatat(dir.get(), base.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0 || now.st_dev != old.st_dev ||
            now.st_ino != old.st_ino)
            return "the file changed while it was being opened";
    }

    // Step 4. Permission bits only: a write by anyone but root clears set-user-
    // and set-group-id anyway.
    mode_t mode = existing.get() >= 0 ? (old.st_mode & 0777) : 0666;
    const mode_t createMode = existing.get() >= 0 ? (mode & 0700) : mode;
    long nameMax = fpathconf(dir.get(), _PC_NAME_MAX);
    if (nameMax <= 0) nameMax = 255;
    std::random_device seed;
    std::mt19937 random(seed());
    Descriptor out;
    for (int attempt = 0; attempt < 100 && out.get() < 0; ++attempt) {
        const std::string name = temporaryNameFor(base, uniqueSuffix(random), static_cast<std::size_t>(nameMax));
        out.reset(openat(dir.get(), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, createMode));
        if (out.get() >= 0) {
            cleanup.temporary = name;
        } else if (errno != EEXIST) {
            return reason(errno);
        }
    }
    if (out.get() < 0) return reason(EEXIST);

    if (existing.get() >= 0) {
        struct stat mine;
        if (fstat(out.get(), &mine) != 0) return reason(errno);
        if (mine.st_uid != old.st_uid || mine.st_gid != old.st_gid) {
            // Root may keep both; a user may keep a group of their own.
            if (fchown(out.get(), old.st_uid, old.st_gid) != 0 &&
                fchown(out.get(), static_cast<uid_t>(-1), old.st_gid) != 0) {
                // Group bits meant for the old group would admit another one.
                mode &= ~static_cast<mode_t>(070);
            }
        }
        if (fchmod(out.get(), mode) != 0) return reason(errno);
    }

    std::unique_ptr<std::FILE, FileCloser> f(fdopen(out.get(), "wb"));
    if (!f) return reason(errno);
    out.release();
    int err = 0;
    if (!write(f.get(), err)) return reason(err);
    // On the disk before the rename, so that after a power loss the name holds
    // the old contents or the new, never a part of them.
    if (fsync(fileno(f.get())) != 0) return reason(errno);
    if (std::fclose(f.release()) != 0) return reason(errno);
    if (renameat(dir.get(), cleanup.temporary.c_str(), dir.get(), base.c_str()) != 0) return reason(errno);
    cleanup.committed = true;
    fsync(dir.get());  // the rename itself; a directory opened with O_PATH cannot, and need not
    return {};
}

}  // namespace glintworks
