// file_streams.cpp -- the engine's streams over real files: positional reads
// of the damaged archive, and a repaired archive that only appears under its
// name once it is complete.
#include "file_streams.h"

#include "engine_error.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
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
    TFileInput(int fd, int64_t size, dev_t dev, ino_t ino)
        : FFd(fd), FSize(size), FDev(dev), FIno(ino) {}
    ~TFileInput() override { ::close(FFd); }
    int64_t Size() const override { return FSize; }
    size_t ReadAt(int64_t offset, void* buffer, size_t count) override {
        if (offset < 0)
            return 0;
        for (;;) {
            ssize_t n = ::pread(FFd, buffer, count, offset);
            if (n >= 0)
                return static_cast<size_t>(n);
            if (errno != EINTR)
                return 0;
        }
    }
    bool IsSameFile(const std::string& path) const override {
        struct stat st;
        // stat follows symbolic links; a hard link shares the inode.
        return ::stat(path.c_str(), &st) == 0 && st.st_dev == FDev && st.st_ino == FIno;
    }
    int NativeHandle() const override { return FFd; }

private:
    int FFd;
    int64_t FSize;
    dev_t FDev;
    ino_t FIno;
};

class TFileOutput : public TOutputStream {
public:
    TFileOutput(std::string path, std::string tempPath, int fd)
        : FPath(std::move(path)), FTempPath(std::move(tempPath)), FFd(fd) {
        std::filesystem::path p(FPath);
        FFolder = p.parent_path().empty() ? "." : p.parent_path().string();
        FBaseName = p.filename().string();
    }
    ~TFileOutput() override {
        if (FFd >= 0)
            ::close(FFd);
        if (!FCommitted && !FTempPath.empty())
            ::unlink(FTempPath.c_str());
    }
    int64_t Position() const override { return FPosition; }

    // Small writes gather in a buffer; large entry data goes straight from
    // the damaged file to this one through the kernel.
    void Write(const void* data, size_t count) override {
        auto p = static_cast<const char*>(data);
        if (FBuffer.size() + count > BufferLimit)
            Flush();
        if (count >= BufferLimit) {
            WriteThrough(p, count);
        } else {
            FBuffer.insert(FBuffer.end(), p, p + count);
        }
        FPosition += static_cast<int64_t>(count);
    }

    void CopyFrom(TInputStream& input, int64_t offset, int64_t count) override {
        int in = input.NativeHandle();
        if (in < 0 || !FKernelCopy || count < KernelCopyThreshold) {
            TOutputStream::CopyFrom(input, offset, count);
            return;
        }
        Flush();
        while (count > 0) {
            loff_t from = offset;
            size_t chunk = static_cast<size_t>(std::min<int64_t>(count, int64_t(1) << 30));
            ssize_t n = ::copy_file_range(in, &from, FFd, nullptr, chunk, 0);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                if (errno == ENOSPC || errno == EIO || errno == EFBIG || errno == EDQUOT)
                    Fail(errno);
                FKernelCopy = false; // not supported here: fall back to reading
                break;
            }
            if (n == 0)
                break; // end of the damaged file: the rest is zeros
            offset += n;
            count -= n;
            FPosition += n;
        }
        TOutputStream::CopyFrom(input, offset, count);
    }

    void Commit() override {
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
        if (::rename(FTempPath.c_str(), FPath.c_str()) != 0)
            Fail(errno);
        FCommitted = true;
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
                return;
            }
            if (errno != EEXIST || attempt > 1000)
                Fail(errno);
        }
    }

    void Flush() {
        WriteThrough(FBuffer.data(), FBuffer.size());
        FBuffer.clear();
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

    [[noreturn]] void Fail(int err) {
        throw EArcsalveError(TErrorKind::WriteOutput, FPath, SystemReason(err));
    }

    std::string FPath;
    std::string FTempPath; // empty while the file is anonymous
    std::string FFolder;
    std::string FBaseName;
    int FFd;
    int64_t FPosition = 0;
    std::vector<char> FBuffer;
    bool FCommitted = false;
    bool FKernelCopy = true;
};

mode_t DefaultFileMode() {
    mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

std::unique_ptr<TOutputStream> CreateOutputFile(const std::string& path) {
    namespace fs = std::filesystem;
    fs::path target(path);
    fs::path folder = target.parent_path();
    std::error_code ec;
    if (!folder.empty())
        fs::create_directories(folder, ec);
    if (ec)
        throw EArcsalveError(TErrorKind::CreateOutput, path, ec.message());
    struct stat st;
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        throw EArcsalveError(TErrorKind::CreateOutput, path, SystemReason(EISDIR));

    std::string dir = folder.empty() ? "." : folder.string();
    mode_t mode = DefaultFileMode();
    int fd = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    std::string tempName;
    if (fd < 0) {
        // File systems without anonymous files: a hidden temporary name.
        std::string pattern =
            (fs::path(dir) / HiddenName(target.filename().string(), "XXXXXX")).string();
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        fd = ::mkstemp(name.data());
        if (fd < 0)
            throw EArcsalveError(TErrorKind::CreateOutput, path, SystemReason(errno));
        tempName = name.data();
    }
    auto out = std::make_unique<TFileOutput>(path, tempName, fd);
    out->FMode = mode;
    return out;
}

} // namespace

std::unique_ptr<TInputStream> OpenInputFile(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw EArcsalveError(TErrorKind::OpenInput, path, SystemReason(errno));
    struct stat st;
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        int err = S_ISDIR(st.st_mode) ? EISDIR : errno;
        ::close(fd);
        throw EArcsalveError(TErrorKind::OpenInput, path, SystemReason(err));
    }
    return std::make_unique<TFileInput>(fd, static_cast<int64_t>(st.st_size), st.st_dev, st.st_ino);
}

TOutputFactory FileOutputFactory() {
    return CreateOutputFile;
}

} // namespace tessary
