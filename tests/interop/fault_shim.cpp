// fault_shim.cpp -- a library the safety tests load into tessary-cli
// (LD_PRELOAD) so that the system fails as a dying disk, a FUSE or network
// file system or exhausted memory would. Each fault has its variable:
//   TESSARY_FAULT_FDATASYNC  fdatasync fails with EIO
//   TESSARY_FAULT_FSYNC      fsync fails with EIO
//   TESSARY_FAULT_SHORT_READS=1  pread returns at most one byte
//   TESSARY_FAULT_ALLOC=N    the Nth and every later malloc of 1 MiB or more
//                            fails, as with no memory left for large buffers
// Unset, every call does what the system does. The allocation fault is built
// into a library of its own (TESSARY_ALLOC_FAULTS): a sanitizer's allocator
// cannot share the process with it, while the other faults can.
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>

extern "C" void* __libc_malloc(size_t size);

namespace {

bool On(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

long Failed() {
    errno = EIO;
    return -1;
}

} // namespace

extern "C" {

int fdatasync(int fd) {
    return static_cast<int>(On("TESSARY_FAULT_FDATASYNC") ? Failed() : syscall(SYS_fdatasync, fd));
}

int fsync(int fd) {
    return static_cast<int>(On("TESSARY_FAULT_FSYNC") ? Failed() : syscall(SYS_fsync, fd));
}

ssize_t pread64(int fd, void* buffer, size_t count, off_t offset) {
    if (count > 1 && On("TESSARY_FAULT_SHORT_READS"))
        count = 1;
    return syscall(SYS_pread64, fd, buffer, count, offset);
}

ssize_t pread(int fd, void* buffer, size_t count, off_t offset) {
    return pread64(fd, buffer, count, offset);
}

#ifdef TESSARY_ALLOC_FAULTS
void* malloc(size_t size) {
    static std::atomic<long> largeAllocations{0};
    if (size >= (size_t(1) << 20)) {
        const char* from = std::getenv("TESSARY_FAULT_ALLOC");
        if (from && ++largeAllocations >= std::atol(from)) {
            errno = ENOMEM;
            return nullptr;
        }
    }
    return __libc_malloc(size);
}
#endif

} // extern "C"
