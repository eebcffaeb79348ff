// standard_streams.cpp -- the damaged archive from standard input, the
// repaired one to standard output.
#include "standard_streams.h"

#include "engine_error.h"
#include "file_streams.h"
#include "options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

namespace tessary::cli {

namespace {

[[noreturn]] void FailInput(const std::string& reason) {
    throw EArcsalveError(TErrorKind::ReadInput, StandardStream, reason);
}

std::string TemporaryFolder() {
    const char* env = std::getenv("TMPDIR");
    return env && *env ? env : "/tmp";
}

// A temporary file without a name in `folder`: O_TMPFILE where the file
// system has it, else a named one removed at once.
int AnonymousTemporary(const std::string& folder) {
    int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0)
        return fd;
    std::string name = folder + "/tessary-stdin.XXXXXX";
    fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0)
        FailInput("Cannot create a temporary file in " + folder + ": " + std::strerror(errno));
    ::unlink(name.c_str());
    return fd;
}

// The part of its disk that the copy of standard input leaves free for
// everybody else: an endless pipe must not fill the temporary folder.
constexpr int64_t KeptFreeDivisor = 20; // 5 %

// True when `count` more bytes still leave that part of the disk free.
bool Fits(int fd, size_t count) {
    struct statvfs vfs;
    if (::fstatvfs(fd, &vfs) != 0 || vfs.f_blocks == 0)
        return true; // nothing to go by: the write itself will say
    auto unit = static_cast<int64_t>(vfs.f_frsize ? vfs.f_frsize : vfs.f_bsize);
    int64_t available = static_cast<int64_t>(vfs.f_bavail) * unit;
    int64_t kept = static_cast<int64_t>(vfs.f_blocks) * unit / KeptFreeDivisor;
    return available - static_cast<int64_t>(count) >= kept;
}

void CopyAll(int from, int to, const std::string& folder, const std::function<bool()>& stop) {
    std::vector<char> buffer(1 << 20);
    for (;;) {
        ssize_t n = ::read(from, buffer.data(), buffer.size());
        if (n == 0)
            return;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            FailInput(std::strerror(errno));
        }
        if (!Fits(to, static_cast<size_t>(n)))
            FailInput("It does not fit in the temporary folder " + folder +
                      ", of whose disk 5% is kept free (TMPDIR names another folder)");
        for (ssize_t done = 0; done < n;) {
            ssize_t w = ::write(to, buffer.data() + done, static_cast<size_t>(n - done));
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0)
                FailInput(std::string("Cannot copy it to a temporary file: ") +
                          std::strerror(w < 0 ? errno : ENOSPC));
            done += w;
        }
        if (stop())
            return;
    }
}

class TStandardOutput : public TOutputStream {
public:
    int64_t Position() const override { return FPosition; }
    void Write(const void* data, size_t count) override {
        const char* bytes = static_cast<const char*>(data);
        while (count > 0) {
            ssize_t n = ::write(STDOUT_FILENO, bytes, count);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                throw EArcsalveError(TErrorKind::WriteOutput, StandardStream,
                                     std::strerror(n < 0 ? errno : ENOSPC));
            bytes += n;
            count -= static_cast<size_t>(n);
            FPosition += n;
        }
    }
    // What was written is already out; there is nothing to rename.
    void Commit() override {}

private:
    int64_t FPosition = 0;
};

} // namespace

std::unique_ptr<TInputStream> OpenStandardInput(const std::function<bool()>& stop) {
    // An archive is not typed in: waiting for one would only look like a hang.
    if (::isatty(STDIN_FILENO))
        throw EArcsalveError(TErrorKind::OpenInput, StandardStream, "Standard input is a terminal");
    struct stat st;
    if (::fstat(STDIN_FILENO, &st) != 0)
        FailInput(std::strerror(errno));
    if (S_ISREG(st.st_mode) && st.st_size > 0) {
        int fd = ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0);
        if (fd < 0)
            FailInput(std::strerror(errno));
        return OpenInputDescriptor(fd, StandardStream);
    }
    std::string folder = TemporaryFolder();
    int fd = AnonymousTemporary(folder);
    try {
        CopyAll(STDIN_FILENO, fd, folder, stop);
    } catch (...) {
        ::close(fd);
        throw;
    }
    return OpenInputDescriptor(fd, StandardStream);
}

TOutputFactory StandardOutputFactory() {
    return [](const std::string&) { return std::make_unique<TStandardOutput>(); };
}

} // namespace tessary::cli
