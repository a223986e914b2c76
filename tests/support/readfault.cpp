// Preloaded into a program under test: reads of the file named by
// READFAULT_PATH fail with EIO from byte READFAULT_AFTER on, as on a failing
// disk or a network share that went away in the middle of a join. With
// READFAULT_EOF set the file ends there instead, as one cut short meanwhile.
// With READFAULT_FSYNC set, flushing a file to the drive fails, as on a
// drive that reports its write cache could not be written. With
// READFAULT_NO_TMPFILE set, nameless files cannot be made, as on FAT drives;
// with READFAULT_NO_LINK, neither second names nor renames that keep what is
// there, as on FAT through FUSE (set to "link", no second names alone, as on
// the kernel's own FAT driver); with READFAULT_RENAME, renames fail with EIO
// (or EEXIST or EACCES, its value);
// with READFAULT_RENAME_SIGNAL, a SIGTERM comes as a rename starts; with
// READFAULT_FOLDER_SYNC_SIGNAL, as a folder is flushed to the drive. With
// READFAULT_FDOPEN, a stream cannot be opened on a file ("fail", as out of
// memory) or the program is killed there ("kill").
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <csignal>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

extern "C" ssize_t read(int fd, void *buffer, size_t n)
{
    using Read = ssize_t (*)(int, void *, size_t);
    static const Read realRead = reinterpret_cast<Read>(dlsym(RTLD_NEXT, "read"));
    const char *path = std::getenv("READFAULT_PATH");
    const char *after = std::getenv("READFAULT_AFTER");
    if (path && after) {
        char link[64], target[PATH_MAX];
        std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
        const ssize_t length = readlink(link, target, sizeof target - 1);
        if (length > 0) {
            target[length] = '\0';
            const off_t at = lseek(fd, 0, SEEK_CUR), end = std::atoll(after);
            if (std::strcmp(target, path) == 0 && at + off_t(n) > end) {
                if (std::getenv("READFAULT_EOF"))
                    return at < end ? realRead(fd, buffer, size_t(end - at)) : 0;
                errno = EIO;
                return -1;
            }
        }
    }
    return realRead(fd, buffer, n);
}

extern "C" int fsync(int fd)
{
    using Sync = int (*)(int);
    static const Sync realSync = reinterpret_cast<Sync>(dlsym(RTLD_NEXT, "fsync"));
    struct stat st;
    if (std::getenv("READFAULT_FOLDER_SYNC_SIGNAL") && fstat(fd, &st) == 0 && S_ISDIR(st.st_mode))
        raise(SIGTERM);
    if (std::getenv("READFAULT_FSYNC") && fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        errno = EIO;
        return -1;
    }
    return realSync(fd);
}

extern "C" int open(const char *path, int flags, ...)
{
    using Open = int (*)(const char *, int, ...);
    static const Open realOpen = reinterpret_cast<Open>(dlsym(RTLD_NEXT, "open"));
    va_list rest;
    va_start(rest, flags);
    const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? mode_t(va_arg(rest, int)) : 0;
    va_end(rest);
    if ((flags & O_TMPFILE) == O_TMPFILE && std::getenv("READFAULT_NO_TMPFILE")) {
        errno = EOPNOTSUPP;
        return -1;
    }
    return realOpen(path, flags, mode);
}

extern "C" FILE *fdopen(int fd, const char *mode)
{
    using Open = FILE *(*)(int, const char *);
    static const Open realOpen = reinterpret_cast<Open>(dlsym(RTLD_NEXT, "fdopen"));
    const char *how = std::getenv("READFAULT_FDOPEN");
    if (how && std::strcmp(how, "kill") == 0)
        raise(SIGKILL);
    if (how) {
        errno = ENOMEM;
        return nullptr;
    }
    return realOpen(fd, mode);
}

namespace {
// The real function NAME, unless the variable FAULT is set: then it fails with ERROR.
template <typename... Args>
int realUnless(const char *fault, int error, const char *name, Args... args)
{
    if (std::getenv(fault)) {
        errno = error;
        return -1;
    }
    return reinterpret_cast<int (*)(Args...)>(dlsym(RTLD_NEXT, name))(args...);
}
} // namespace

extern "C" int link(const char *from, const char *to)
{
    return realUnless("READFAULT_NO_LINK", EPERM, "link", from, to);
}

extern "C" long syscall(long number, ...)
{
    using Syscall = long (*)(long, ...);
    static const Syscall realSyscall = reinterpret_cast<Syscall>(dlsym(RTLD_NEXT, "syscall"));
    va_list rest;
    va_start(rest, number);
    long a[6];
    for (long &arg : a)
        arg = va_arg(rest, long);
    va_end(rest);
    const char *noLink = std::getenv("READFAULT_NO_LINK");
    if (number == SYS_renameat2 && noLink && std::strcmp(noLink, "link") != 0) {
        errno = EINVAL;
        return -1;
    }
    return realSyscall(number, a[0], a[1], a[2], a[3], a[4], a[5]);
}

extern "C" int rename(const char *from, const char *to)
{
    if (std::getenv("READFAULT_RENAME_SIGNAL"))
        raise(SIGTERM);
    const char *how = std::getenv("READFAULT_RENAME"); // "EEXIST": as drives that never replace a name
    const int error = !how ? EIO : std::strcmp(how, "EEXIST") == 0 ? EEXIST : std::strcmp(how, "EACCES") == 0 ? EACCES : EIO;
    return realUnless("READFAULT_RENAME", error, "rename", from, to);
}
