// atomic_file.cpp -- folder creation and whole-file replacement.
#include "atomic_file.h"

#include "paths.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessary {

bool ForceFolders(const std::string& folder, unsigned mode) {
    if (folder.empty())
        return false;
    // One level at a time from the top, so every missing parent is made.
    for (std::size_t pos = folder.find('/', 1); pos != std::string::npos;
         pos = folder.find('/', pos + 1)) {
        mkdir(folder.substr(0, pos).c_str(), static_cast<mode_t>(mode));
    }
    mkdir(folder.c_str(), static_cast<mode_t>(mode));
    struct stat info {};
    return stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

namespace {

bool WriteAll(int fd, std::string_view content) {
    while (!content.empty()) {
        const ssize_t done = write(fd, content.data(), content.size());
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return false;
        content.remove_prefix(static_cast<std::size_t>(done));
    }
    return true;
}

// Creates a new, empty file beside `fileName` under a name nobody else uses,
// with the permissions a fresh file gets from the umask.
int CreateTemporaryBeside(const std::string& fileName, std::string& tempName) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempName = fileName + ".tmp" + std::to_string(getpid()) + "_" +
                   std::to_string(counter.fetch_add(1));
        const int fd = open(tempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

} // namespace

bool ReplaceFileContent(const std::string& fileName, std::string_view content) {
    // A file that exists but may not be written (read-only) must not be
    // swapped away underneath its owner's intent.
    if (access(fileName.c_str(), F_OK) == 0 && access(fileName.c_str(), W_OK) != 0)
        return false;
    std::string tempName;
    const int fd = CreateTemporaryBeside(fileName, tempName);
    if (fd < 0)
        return false;
    bool ok = WriteAll(fd, content) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    ok = ok && rename(tempName.c_str(), fileName.c_str()) == 0;
    if (!ok)
        unlink(tempName.c_str());
    return ok;
}

} // namespace tessary
