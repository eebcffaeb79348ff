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
#include <optional>
#include <stdio.h> // renameat2
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
    // A network or FUSE file system may return less than asked in the middle
    // of a file, and a signal may cut a read short: reads go on until the
    // count or the true end of the file.
    size_t ReadAt(int64_t offset, void* buffer, size_t count) override {
        if (offset < 0)
            return 0;
        CheckUnchangedIfDue();
        auto out = static_cast<char*>(buffer);
        size_t done = 0;
        while (done < count) {
            int64_t at = offset + static_cast<int64_t>(done);
            ssize_t n = ::pread(FFd, out + done, count - done, at);
            if (n > 0) {
                done += static_cast<size_t>(n);
            } else if (n == 0) {
                if (at >= FSize)
                    break;
                Fail(at, "The file ended before its known size");
            } else if (errno != EINTR) {
                Fail(at, SystemReason(errno), errno);
            }
        }
        return done;
    }
    // A file that another program changes while it is repaired would mix
    // two versions into one archive; its size and time tell it apart.
    void CheckUnchanged() const override {
        if (!S_ISREG(FStat.st_mode))
            return;
        struct stat now;
        if (::fstat(FFd, &now) != 0)
            Fail(-1, SystemReason(errno), errno);
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
    [[noreturn]] void Fail(int64_t offset, std::string reason, int err = 0) const {
        throw EArcsalveError(TErrorKind::ReadInput, FPath, std::move(reason), offset, err);
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

// The folder and name of a named temporary file while one exists, for
// removal from a signal handler; fixed storage, so the handler needs no
// allocation.
int gPendingFolder = AT_FDCWD;
char gPendingTemporary[PATH_MAX + 1];
volatile std::sig_atomic_t gHasPendingTemporary = 0;

void SetPendingTemporary(int folder, const std::string& name) {
    gHasPendingTemporary = 0;
    if (name.empty() || name.size() > PATH_MAX)
        return;
    gPendingFolder = folder;
    std::memcpy(gPendingTemporary, name.c_str(), name.size() + 1);
    gHasPendingTemporary = 1;
}

// Anonymous files are named through /proc/self/fd at the end; without /proc
// mounted that would fail after all the work, so a named file is used instead.
bool CanNameAnonymousFile(int fd) {
    return ::access(ProcFdPath(fd).c_str(), F_OK) == 0;
}

// The errors of a file system that lacks a flag of rename or link.
bool Unsupported(int err) {
    return err == EINVAL || err == ENOSYS || err == EOPNOTSUPP;
}

class TFileOutput : public TOutputStream {
public:
    // `path` is the name the user gave; `name` that of the file written in
    // its folder, links followed. Nothing exists on disk until Open.
    TFileOutput(std::string path, std::string name)
        : FPath(std::move(path)), FName(std::move(name)) {}
    ~TFileOutput() override {
        if (FFd >= 0)
            ::close(FFd);
        if (!FCommitted && !FTempName.empty())
            ::unlinkat(FFolder, FTempName.c_str(), 0);
        gHasPendingTemporary = 0;
        if (FFolder >= 0)
            ::close(FFolder);
    }

    // Opens the folder and examines what the name holds in it, then creates
    // the temporary file there. Every descriptor and name is ours as soon as
    // the call that made it returns, so a failure leaves nothing behind.
    void Open(const std::string& folder, const TOutputTarget& target,
              const TOutputFileOptions& options) {
        FFolder = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (FFolder < 0 && errno == EACCES) {
            // A folder we may write to but not list takes the file all the
            // same; only its own flush to the disk is out of reach.
            FFolder = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
            FCanSyncFolder = false;
        }
        if (FFolder < 0)
            FailCreate(SystemReason(errno));
        struct stat st;
        if (target.Exists && ::fstatat(FFolder, FName.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
            TFileIdentity now = IdentityOf(st);
            if (!S_ISREG(st.st_mode) || now != target.Identity ||
                (options.Replaces && now != *options.Replaces))
                FailCreate(ChangedMeanwhile);
            FReplace = true;
            FOld = now;
            FOldMode = st.st_mode & 0777;
            FOldUid = st.st_uid;
            FOldGid = st.st_gid;
        }
        CreateTemporary(options.NamedTemporary);
        if (::fstat(FFd, &st) != 0)
            FailCreate(SystemReason(errno));
        FOwn = IdentityOf(st);
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
            Written(n);
        }
        CopyThroughBuffer(input, offset, count);
    }

    // The archive's data reaches the disk before its name appears, and the
    // folder after, so that a power cut never leaves the name on an empty or
    // partial file. Without a file to replace, the name is taken only while
    // nothing at all is there; a file to replace is swapped for the archive
    // only while it is still that file. Any failure leaves the name as it was.
    void Commit() override {
        // The archive is only as good as the damaged file it was copied
        // from: one that changed meanwhile leaves nothing behind.
        if (FInput)
            FInput->CheckUnchanged();
        Flush();
        SetOwnerAndMode();
        if (::fdatasync(FFd) != 0 && errno != EINVAL)
            Fail(errno);
        if (FReplace && FTempName.empty())
            GiveName(); // a swap needs two names
        if (!FTempName.empty())
            CloseFile();
        if (!FReplace || !ReplaceOld())
            PlaceNew();
        try {
            if (FFd >= 0)
                CloseFile();
            if (FCanSyncFolder && ::fsync(FFolder) != 0 && errno != EINVAL)
                Fail(errno);
        } catch (...) {
            TakeBack();
            throw;
        }
        if (FPlaced == TPlaced::Swapped)
            ::unlinkat(FFolder, FTempName.c_str(), 0); // the file replaced
        FTempName.clear();
        FCommitted = true;
        gHasPendingTemporary = 0;
    }

    mode_t FMode = 0644;

private:
    enum class TPlaced { Nowhere, Named, Swapped };

    static constexpr const char* ChangedMeanwhile =
        "The file was changed or replaced during the repair";

    // The file replaced keeps its permissions and, where the system lets us
    // (root, or a group we belong to), its owner and group.
    void SetOwnerAndMode() {
        mode_t mode = FMode;
        if (FReplace) {
            if (::fchown(FFd, FOldUid, FOldGid) != 0 &&
                ::fchown(FFd, static_cast<uid_t>(-1), FOldGid) != 0) {
                // Neither is ours to give: the archive stays our own.
            }
            mode = FOldMode;
        }
        if (::fchmod(FFd, mode) != 0)
            Fail(errno);
    }

    std::string TemporaryName(unsigned attempt) const {
        auto salt = static_cast<uint64_t>(
            std::chrono::steady_clock::now().time_since_epoch().count() % 1000000);
        return HiddenName(FName, std::to_string(::getpid()) + "." + std::to_string(salt) + "." +
                                     std::to_string(attempt) + ".tmp");
    }

    // An anonymous file where the file system has them: a crash or a second
    // Ctrl-C leaves nothing. Elsewhere a hidden name beside the target.
    void CreateTemporary(bool named) {
        if (!named) {
            FFd = ::openat(FFolder, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
            if (FFd >= 0 && CanNameAnonymousFile(FFd))
                return;
            if (FFd >= 0)
                ::close(FFd);
            FFd = -1;
        }
        for (unsigned attempt = 0;; ++attempt) {
            std::string name = TemporaryName(attempt);
            FFd = ::openat(FFolder, name.c_str(),
                           O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC | O_NOFOLLOW, 0600);
            if (FFd >= 0) {
                FTempName = std::move(name);
                SetPendingTemporary(FFolder, FTempName);
                return;
            }
            if (errno != EEXIST || attempt > 1000)
                FailCreate(SystemReason(errno));
        }
    }

    // A hidden name beside the target for the anonymous file.
    void GiveName() {
        std::string fdPath = ProcFdPath(FFd);
        for (unsigned attempt = 0;; ++attempt) {
            std::string name = TemporaryName(attempt);
            if (::linkat(AT_FDCWD, fdPath.c_str(), FFolder, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
                FTempName = std::move(name);
                SetPendingTemporary(FFolder, FTempName);
                return;
            }
            if (errno != EEXIST || attempt > 1000)
                Fail(errno);
        }
    }

    void CloseFile() {
        int fd = FFd;
        FFd = -1;
        if (::close(fd) != 0)
            Fail(errno);
    }

    // Names the archive where nothing is: a file, a link (dangling or not)
    // or anything else that is or appears under the name fails with EEXIST.
    void PlaceNew() {
        if (FTempName.empty()) {
            if (::linkat(AT_FDCWD, ProcFdPath(FFd).c_str(), FFolder, FName.c_str(),
                         AT_SYMLINK_FOLLOW) != 0)
                Fail(errno);
        } else if (::renameat2(FFolder, FTempName.c_str(), FFolder, FName.c_str(),
                               RENAME_NOREPLACE) == 0) {
            ForgetTemporary();
        } else {
            if (!Unsupported(errno))
                Fail(errno);
            // A file system without the flag: a hard link refuses a taken
            // name just as well; one without hard links gets a last look.
            if (::linkat(FFolder, FTempName.c_str(), FFolder, FName.c_str(), 0) == 0) {
                ::unlinkat(FFolder, FTempName.c_str(), 0);
            } else {
                if (errno != EPERM && !Unsupported(errno))
                    Fail(errno);
                if (IdentityAt(FName) || errno != ENOENT)
                    Fail(EEXIST);
                if (::renameat(FFolder, FTempName.c_str(), FFolder, FName.c_str()) != 0)
                    Fail(errno);
            }
            ForgetTemporary();
        }
        FPlaced = TPlaced::Named;
    }

    // Swaps the archive with the file under the name, and back again unless
    // what came out is the file that was to be replaced, unchanged. False
    // when that file has gone meanwhile and the name is free.
    bool ReplaceOld() {
        if (::renameat2(FFolder, FTempName.c_str(), FFolder, FName.c_str(), RENAME_EXCHANGE) == 0) {
            FPlaced = TPlaced::Swapped;
            if (IdentityAt(FTempName) == FOld)
                return true;
            TakeBack();
            Fail(ChangedMeanwhile);
        }
        if (errno == ENOENT)
            return false;
        if (!Unsupported(errno))
            Fail(errno);
        // A file system that cannot swap: the file is looked at just before
        // the archive is renamed over it.
        std::optional<TFileIdentity> now = IdentityAt(FName);
        if (!now && errno == ENOENT)
            return false;
        if (now != FOld)
            Fail(ChangedMeanwhile);
        if (::renameat(FFolder, FTempName.c_str(), FFolder, FName.c_str()) != 0)
            Fail(errno);
        ForgetTemporary();
        FPlaced = TPlaced::Named;
        return true;
    }

    // Undoes the naming after a later failure: the archive leaves the name,
    // and a file swapped out comes back. Only our own file is ever removed.
    void TakeBack() noexcept {
        if (FPlaced == TPlaced::Swapped) {
            if (::renameat2(FFolder, FTempName.c_str(), FFolder, FName.c_str(), RENAME_EXCHANGE) !=
                0)
                ForgetTemporary(); // the file replaced stays under the hidden name
        } else if (FPlaced == TPlaced::Named) {
            std::optional<TFileIdentity> there = IdentityAt(FName);
            if (there && there->Device == FOwn.Device && there->Inode == FOwn.Inode)
                ::unlinkat(FFolder, FName.c_str(), 0);
        }
        FPlaced = TPlaced::Nowhere;
    }

    // What is under `name` in the folder, links not followed; unset (errno
    // set) when nothing is.
    std::optional<TFileIdentity> IdentityAt(const std::string& name) const {
        struct stat st;
        if (::fstatat(FFolder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            return std::nullopt;
        return IdentityOf(st);
    }

    void ForgetTemporary() noexcept {
        gHasPendingTemporary = 0;
        FTempName.clear();
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
            Written(n);
        }
    }

    // The disk is set to writing what the file holds every few megabytes,
    // while the copy goes on, so that the flush at the end waits for little
    // more than the last of them instead of the whole archive.
    void Written(int64_t count) {
        FFileSize += count;
        if (FFileSize - FWriteBackFrom < WriteBackStep)
            return;
        ::sync_file_range(FFd, FWriteBackFrom, FFileSize - FWriteBackFrom, SYNC_FILE_RANGE_WRITE);
        FWriteBackFrom = FFileSize;
    }

    static constexpr size_t BufferLimit = 1 << 20;
    static constexpr int64_t WriteBackStep = 8 << 20;
    static constexpr int64_t KernelCopyThreshold = 16 << 10;
    static constexpr int64_t PageSize = 4096;

    [[noreturn]] void Fail(int err) const {
        throw EArcsalveError(TErrorKind::WriteOutput, FPath, SystemReason(err), -1, err);
    }
    [[noreturn]] void Fail(std::string reason) const {
        throw EArcsalveError(TErrorKind::WriteOutput, FPath, std::move(reason));
    }
    [[noreturn]] void FailCreate(std::string reason) const {
        throw EArcsalveError(TErrorKind::CreateOutput, FPath, std::move(reason));
    }

    std::string FPath;
    std::string FName;     // in FFolder
    std::string FTempName; // in FFolder; empty while the file is anonymous
    int FFolder = -1;
    bool FCanSyncFolder = true;
    int FFd = -1;
    TFileIdentity FOwn;
    bool FReplace = false; // a file is under the name, to be replaced
    TFileIdentity FOld;
    mode_t FOldMode = 0;
    uid_t FOldUid = 0;
    gid_t FOldGid = 0;
    TPlaced FPlaced = TPlaced::Nowhere;
    int64_t FPosition = 0;
    int64_t FFileSize = 0;      // bytes in the file: FPosition less the buffer
    int64_t FWriteBackFrom = 0; // where the disk has not yet been set to writing
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

std::unique_ptr<TOutputStream> CreateOutputFile(const std::string& path,
                                                const TOutputFileOptions& options) {
    namespace fs = std::filesystem;
    // Only a regular file is ever replaced, and a symbolic link is replaced
    // by way of the file it names, so that the link stays a link.
    TOutputTarget target = ResolveOutputTarget(path, options.ReplaceAllowed);
    if (!target.Usable())
        throw EArcsalveError(TErrorKind::CreateOutput, path, target.Reason);
    fs::path final(target.FinalPath);
    std::string name = final.filename().string();
    if (name.empty() || name == "." || name == "..")
        throw EArcsalveError(TErrorKind::CreateOutput, path, SystemReason(EISDIR), -1, EISDIR);
    fs::path folder = final.parent_path();
    std::error_code ec;
    if (!folder.empty())
        fs::create_directories(folder, ec);
    if (ec)
        throw EArcsalveError(TErrorKind::CreateOutput, path, ec.message());

    auto out = std::make_unique<TFileOutput>(path, name);
    out->FMode = DefaultFileMode();
    out->Open(folder.empty() ? "." : folder.string(), target, options);
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
        throw EArcsalveError(TErrorKind::OpenInput, path, SystemReason(errno), -1, errno);
    return OpenInputDescriptor(fd, path);
}

std::unique_ptr<TInputStream> OpenInputDescriptor(int fd, const std::string& path) {
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        int err = errno;
        ::close(fd);
        throw EArcsalveError(TErrorKind::OpenInput, path, SystemReason(err), -1, err);
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
        ::unlinkat(gPendingFolder, gPendingTemporary, 0);
    }
}

} // namespace tessary
