// A preload library that makes the local disk answer like a file server:
// every status query, every open and every directory opened for reading
// waits SLOW_SHARE_MICROSECONDS (1000 when unset) before it is made, as a
// call to a server waits one round trip. For bench/slow_share, which puts
// it under both programs it compares (LD_PRELOAD).
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdlib>

namespace {

unsigned delay() {
    static unsigned microseconds = [] {
        const char* text = std::getenv("SLOW_SHARE_MICROSECONDS");
        return text ? unsigned(std::strtoul(text, nullptr, 10)) : 1000u;
    }();
    return microseconds;
}

void wait_round_trip() {
    usleep(delay());
}

template <typename F>
F next(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

mode_t mode_of(int flags, va_list arguments) {
    return (flags & (O_CREAT | O_TMPFILE)) ? mode_t(va_arg(arguments, int)) : 0;
}

}  // namespace

extern "C" int open(const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    mode_t mode = mode_of(flags, arguments);
    va_end(arguments);
    wait_round_trip();
    static auto real = next<int (*)(const char*, int, ...)>("open");
    return real(path, flags, mode);
}

extern "C" int open64(const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    mode_t mode = mode_of(flags, arguments);
    va_end(arguments);
    wait_round_trip();
    static auto real = next<int (*)(const char*, int, ...)>("open64");
    return real(path, flags, mode);
}

extern "C" int openat(int directory, const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    mode_t mode = mode_of(flags, arguments);
    va_end(arguments);
    wait_round_trip();
    static auto real = next<int (*)(int, const char*, int, ...)>("openat");
    return real(directory, path, flags, mode);
}

extern "C" int openat64(int directory, const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    mode_t mode = mode_of(flags, arguments);
    va_end(arguments);
    wait_round_trip();
    static auto real = next<int (*)(int, const char*, int, ...)>("openat64");
    return real(directory, path, flags, mode);
}

extern "C" int stat(const char* path, struct stat* info) {
    wait_round_trip();
    static auto real = next<int (*)(const char*, struct stat*)>("stat");
    return real(path, info);
}

extern "C" int lstat(const char* path, struct stat* info) {
    wait_round_trip();
    static auto real = next<int (*)(const char*, struct stat*)>("lstat");
    return real(path, info);
}

extern "C" int fstatat(int directory, const char* path, struct stat* info, int flags) {
    wait_round_trip();
    static auto real = next<int (*)(int, const char*, struct stat*, int)>("fstatat");
    return real(directory, path, info, flags);
}

extern "C" int fstatat64(int directory, const char* path, struct stat64* info, int flags) {
    wait_round_trip();
    static auto real = next<int (*)(int, const char*, struct stat64*, int)>("fstatat64");
    return real(directory, path, info, flags);
}

extern "C" int statx(int directory, const char* path, int flags, unsigned mask,
                     struct statx* info) {
    wait_round_trip();
    static auto real = next<int (*)(int, const char*, int, unsigned, struct statx*)>("statx");
    return real(directory, path, flags, mask, info);
}

extern "C" DIR* opendir(const char* path) {
    wait_round_trip();
    static auto real = next<DIR* (*)(const char*)>("opendir");
    return real(path);
}

extern "C" DIR* fdopendir(int fd) {
    wait_round_trip();
    static auto real = next<DIR* (*)(int)>("fdopendir");
    return real(fd);
}
