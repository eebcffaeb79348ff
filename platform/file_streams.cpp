// file_streams.cpp -- the engine's streams over real files: positional reads
// of the damaged archive, and a repaired archive that only appears under its
// name once it is complete.
#include "file_streams.h"

#include "engine_error.h"

#include "output_target.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tessary {

namespace {

std::string SystemReason(int err) {
    return std::strerror(err);
}

// ".NAME.SUFFIX": a temporary name beside the target that file managers hide.
std::string HiddenName(const std::string& name, const std::string& suffix) {
    std::string hidden(1, '.');
    hidden.append(name).append(1, '.').append(suffix);
    return hidden;
}

class TFileInput : public TInputStream {
public:
    TFileInput(int fd, std::string path, int64_t size, const struct stat& st)
        : FFd(fd), FPath(std::move(path)), FSize(size), FStat(st) {}
    ~TFileInput() override { ::close(FFd); }
    int64_t Size() const override { return FSize; }
    size_t ReadAt(int64_t offset, void* buffer, size_t count) override {
        if (offset < 0)
            return 0;
        CheckUnchangedIfDue();
        for (;;) {
            ssize_t n = ::pread(FFd, buffer, count, offset);
            if (n > 0 || (n == 0 && (offset >= FSize || count == 0)))
                return static_cast<size_t>(n);
            if (n == 0)
                Fail(offset, "The file ended before its known size");
            if (errno != EINTR)
                Fail(offset, SystemReason(errno));
        }
    }
    // A file that another program changes while it is repaired would mix
    // two versions into one archive; its size and time tell it apart.
    void CheckUnchanged() const override {
        if (!S_ISREG(FStat.st_mode))
            return;
        struct stat now;
        if (::fstat(FFd, &now) != 0)
            Fail(-1, SystemReason(errno));
        if (now.st_size != FStat.st_size || now.st_mtim.tv_sec != FStat.st_mtim.tv_sec ||
            now.st_mtim.tv_nsec != FStat.st_mtim.tv_nsec)
            Fail(-1, "The file was changed while it was being repaired");
    }
    std::string Name() const override { return FPath; }
    bool IsSameFile(const std::string& path) const override {
        struct stat st;
        // stat follows symbolic links; a hard link shares the inode.
        return ::stat(path.c_str(), &st) == 0 && st.st_dev == FStat.st_dev &&
               st.st_ino == FStat.st_ino;
    }
    int NativeHandle() const override { return FFd; }

private:
    [[noreturn]] void Fail(int64_t offset, std::string reason) const {
        throw EArcsalveError(TErrorKind::ReadInput, FPath, std::move(reason), offset);
    }

    // A look at the file's size and time costs as much as a small read, and
    // the rebuild reads millions of small pieces: so at most every 50 ms,
    // which always includes the first read after a pause (between the scan
    // and the rebuild), and once more when the repaired archive is finished.
    // The scan and the copy of a one-pass repair read on two threads.
    void CheckUnchangedIfDue() {
        int64_t now =
            std::chrono::steady_clock::now().time_since_epoch() / std::chrono::milliseconds(1);
        int64_t last = FLastCheckMs.load(std::memory_order_relaxed);
        if (now - last < 50 || !FLastCheckMs.compare_exchange_strong(last, now))
            return;
        CheckUnchanged();
    }

    int FFd;
    std::string FPath;
    int64_t FSize;
    struct stat FStat;
    std::atomic<int64_t> FLastCheckMs{INT64_MIN / 2};
};

// The path of a named temporary file while one exists, for removal from a
// signal handler; fixed storage, so the handler needs no allocation.
char gPendingTemporary[PATH_MAX + 1];
volatile std::sig_atomic_t gHasPendingTemporary = 0;

void SetPendingTemporary(const std::string& path) {
    gHasPendingTemporary = 0;
    if (path.empty() || path.size() > PATH_MAX)
        return;
    std::memcpy(gPendingTemporary, path.c_str(), path.size() + 1);
    gHasPendingTemporary = 1;
}

class TFileOutput : public TOutputStream {
public:
    // `path` is the name the user gave; `finalPath` the file it names, links followed.
    TFileOutput(std::string path, std::string finalPath, std::string tempPath, int fd)
        : FPath(std::move(path)), FFinalPath(std::move(finalPath)), FTempPath(std::move(tempPath)),
          FFd(fd) {
        SetPendingTemporary(FTempPath);
        std::filesystem::path p(FFinalPath);
        FFolder = p.parent_path().empty() ? "." : p.parent_path().string();
        FBaseName = p.filename().string();
    }
    ~TFileOutput() override {
        if (FFd >= 0)
            ::close(FFd);
        if (!FCommitted && !FTempPath.empty())
            ::unlink(FTempPath.c_str());
        gHasPendingTemporary = 0;
    }
    int64_t Position() const override { return FPosition; }

    // Small writes gather in a buffer; large entry data goes straight from
    // the damaged file to this one through the kernel.
    void Write(const void* data, size_t count) override {
        auto p = static_cast<const char*>(data);
        if (FBuffered + count > BufferLimit)
            Flush();
        if (count >= BufferLimit) {
            WriteThrough(p, count);
        } else {
            std::memcpy(FBuffer.get() + FBuffered, p, count);
            FBuffered += count;
        }
        FPosition += static_cast<int64_t>(count);
    }

    // The kernel copies page-cache pages fastest when the data keeps its
    // place within a page; data that moves by a part of a page (as entries
    // do behind rewritten headers) goes through the buffer instead, read
    // straight into it and written in whole pages of this file.
    void CopyFrom(TInputStream& input, int64_t offset, int64_t count) override {
        FInput = &input;
        int in = input.NativeHandle();
        bool samePlaceInPage = (offset - FPosition) % PageSize == 0;
        if (in < 0 || !FKernelCopy || count < KernelCopyThreshold || !samePlaceInPage) {
            CopyThroughBuffer(input, offset, count);
            return;
        }
        input.CheckUnchanged();
        Flush();
        while (count > 0) {
            loff_t from = offset;
            size_t chunk = static_cast<size_t>(std::min<int64_t>(count, int64_t(1) << 30));
            ssize_t n = ::copy_file_range(in, &from, FFd, nullptr, chunk, 0);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                // Errors only the output can cause end the copy here. Any
                // other (EIO among them) may be either file's: the copy
                // through memory below tells a read from a write failure.
                if (errno == ENOSPC || errno == EFBIG || errno == EDQUOT)
                    Fail(errno);
                if (errno != EIO)
                    FKernelCopy = false; // not supported here
                break;
            }
            if (n == 0)
                break; // the end of the damaged file, or a file cut short: see below
            offset += n;
            count -= n;
            FPosition += n;
        }
        CopyThroughBuffer(input, offset, count);
    }

    void Commit() override {
        // The archive is only as good as the damaged file it was copied
        // from: one that changed meanwhile leaves nothing behind.
        if (FInput)
            FInput->CheckUnchanged();
        Flush();
        if (::fchmod(FFd, FMode) != 0)
            Fail(errno);
        if (FTempPath.empty())
            GiveName();
        if (::close(FFd) != 0) {
            FFd = -1;
            Fail(errno);
        }
        FFd = -1;
        if (::rename(FTempPath.c_str(), FFinalPath.c_str()) != 0)
            Fail(errno);
        FCommitted = true;
        gHasPendingTemporary = 0;
    }

    mode_t FMode = 0644;

private:
    // An anonymous file gets a hidden name beside the target just before it
    // is renamed onto it; a crash or a second Ctrl-C before that leaves nothing.
    void GiveName() {
        std::string fdPath = "/proc/self/fd/" + std::to_string(FFd);
        for (unsigned attempt = 0;; ++attempt) {
            std::string name = FFolder + "/" +
                               HiddenName(FBaseName, std::to_string(::getpid()) + "." +
                                                         std::to_string(attempt) + ".tmp");
            if (::linkat(AT_FDCWD, fdPath.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) ==
                0) {
                FTempPath = name;
                SetPendingTemporary(FTempPath);
                return;
            }
            if (errno != EEXIST || attempt > 1000)
                Fail(errno);
        }
    }

    void Flush() {
        WriteThrough(FBuffer.get(), FBuffered);
        FBuffered = 0;
    }

    // Reads the input into the buffer behind what it holds and writes the
    // buffer out whenever it is full up to a page boundary of this file.
    void CopyThroughBuffer(TInputStream& input, int64_t offset, int64_t count) {
        while (count > 0) {
            int64_t room = static_cast<int64_t>(BufferLimit - FBuffered);
            int64_t n = std::min(count, room);
            if (n < count)
                n -= (FPosition + n) % PageSize; // the buffer ends on a page boundary
            if (n <= 0) {
                Flush();
                continue;
            }
            ReadFully(input, offset, reinterpret_cast<unsigned char*>(FBuffer.get()) + FBuffered,
                      static_cast<size_t>(n));
            FBuffered += static_cast<size_t>(n);
            FPosition += n;
            offset += n;
            count -= n;
            if (FBuffered + PageSize > BufferLimit)
                Flush();
        }
    }

    void WriteThrough(const char* p, size_t count) {
        while (count > 0) {
            ssize_t n = ::write(FFd, p, count);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                Fail(n < 0 ? errno : ENOSPC);
            p += n;
            count -= static_cast<size_t>(n);
        }
    }

    static constexpr size_t BufferLimit = 1 << 20;
    static constexpr int64_t KernelCopyThreshold = 16 << 10;
    static constexpr int64_t PageSize = 4096;

    [[noreturn]] void Fail(int err) {
        throw EArcsalveError(TErrorKind::WriteOutput, FPath, SystemReason(err));
    }

    std::string FPath;
    std::string FFinalPath;
    std::string FTempPath; // empty while the file is anonymous
    std::string FFolder;
    std::string FBaseName;
    int FFd;
    int64_t FPosition = 0;
    std::unique_ptr<char[]> FBuffer{new char[BufferLimit]};
    size_t FBuffered = 0;
    bool FCommitted = false;
    bool FKernelCopy = true;
    const TInputStream* FInput = nullptr; // the damaged file the entries came from
};

mode_t DefaultFileMode() {
    mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// Anonymous files are named through /proc/self/fd at the end; without /proc
// mounted that would fail after all the work, so a named file is used instead.
bool CanNameAnonymousFile(int fd) {
    return ::access(("/proc/self/fd/" + std::to_string(fd)).c_str(), F_OK) == 0;
}

std::unique_ptr<TOutputStream> CreateOutputFile(const std::string& path,
                                                const TOutputFileOptions& options) {
    namespace fs = std::filesystem;
    // Only a regular file is ever replaced, and a symbolic link is replaced
    // by way of the file it names, so that the link stays a link.
    TOutputTarget target = ResolveOutputTarget(path, true);
    if (!target.Usable())
        throw EArcsalveError(TErrorKind::CreateOutput, path, target.Reason);
    fs::path final(target.FinalPath);
    fs::path folder = final.parent_path();
    std::error_code ec;
    if (!folder.empty())
        fs::create_directories(folder, ec);
    if (ec)
        throw EArcsalveError(TErrorKind::CreateOutput, path, ec.message());

    std::string dir = folder.empty() ? "." : folder.string();
    mode_t mode = DefaultFileMode();
    int fd = -1;
    if (!options.NamedTemporary) {
        fd = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (fd >= 0 && !CanNameAnonymousFile(fd)) {
            ::close(fd);
            fd = -1;
        }
    }
    std::string tempName;
    if (fd < 0) {
        // File systems without anonymous files: a hidden temporary name.
        std::string pattern =
            (fs::path(dir) / HiddenName(final.filename().string(), "XXXXXX")).string();
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        fd = ::mkstemp(name.data());
        if (fd < 0)
            throw EArcsalveError(TErrorKind::CreateOutput, path, SystemReason(errno));
        tempName = name.data();
    }
    auto out = std::make_unique<TFileOutput>(path, target.FinalPath, tempName, fd);
    out->FMode = mode;
    return out;
}

// A pseudo-file (such as those under /proc) calls itself regular, claims no
// size and still has content; it cannot be read like a file on a disk.
bool IsPseudoFile(int fd, const struct stat& st) {
    char byte;
    return S_ISREG(st.st_mode) && st.st_size == 0 && ::pread(fd, &byte, 1, 0) > 0;
}

} // namespace

std::unique_ptr<TInputStream> OpenInputFile(const std::string& path) {
    // O_NONBLOCK: opening a FIFO without a writer must not wait for one.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        throw EArcsalveError(TErrorKind::OpenInput, path, SystemReason(errno));
    return OpenInputDescriptor(fd, path);
}

std::unique_ptr<TInputStream> OpenInputDescriptor(int fd, const std::string& path) {
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        int err = errno;
        ::close(fd);
        throw EArcsalveError(TErrorKind::OpenInput, path, SystemReason(err));
    }
    if (!(S_ISREG(st.st_mode) || S_ISBLK(st.st_mode)) || IsPseudoFile(fd, st)) {
        ::close(fd);
        throw EArcsalveError(TErrorKind::OpenInput, path, "Not a regular file");
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    int64_t size = static_cast<int64_t>(st.st_size);
    if (S_ISBLK(st.st_mode)) {
        off_t end = ::lseek(fd, 0, SEEK_END);
        size = end < 0 ? 0 : static_cast<int64_t>(end);
    }
    return std::make_unique<TFileInput>(fd, path, size, st);
}

TOutputFactory FileOutputFactory(TOutputFileOptions options) {
    return [options](const std::string& path) { return CreateOutputFile(path, options); };
}

void RemoveUnfinishedOutput() noexcept {
    if (gHasPendingTemporary) {
        gHasPendingTemporary = 0;
        ::unlink(gPendingTemporary);
    }
}

} // namespace tessary
