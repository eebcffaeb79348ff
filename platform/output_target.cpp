// output_target.cpp -- examining the repaired archive's path before use.
#include "output_target.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tessary {

namespace {

namespace fs = std::filesystem;

std::string FolderOf(const std::string& path) {
    fs::path parent = fs::path(path).parent_path();
    return parent.empty() ? std::string(".") : parent.string();
}

void Refuse(TOutputTarget& t, TOutputProblem problem, std::string reason) {
    t.Problem = problem;
    t.Reason = std::move(reason);
}

// The name of the file a symbolic link leads to, as the system resolves it:
// the name of a descriptor opened through the link, or realpath where /proc
// is missing. False (errno set) when the link leads nowhere or into a loop.
bool ResolveLink(const std::string& path, std::string& final, struct stat& st) {
    int fd = ::open(path.c_str(), O_PATH | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = ::fstat(fd, &st) == 0;
    int err = errno;
    std::vector<char> name(PATH_MAX + 1);
    ssize_t n = ok ? ::readlink(ProcFdPath(fd).c_str(), name.data(), name.size() - 1) : -1;
    ::close(fd);
    if (!ok) {
        errno = err;
        return false;
    }
    if (n > 0 && name.front() == '/') {
        final.assign(name.data(), static_cast<size_t>(n));
        return true;
    }
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), std::free);
    if (!real)
        return false;
    final = real.get();
    return true;
}

// The folder the file will go into, or its nearest existing parent.
std::string NearestExistingFolder(const std::string& path) {
    fs::path folder = FolderOf(path);
    std::error_code ec;
    while (!fs::exists(folder, ec)) {
        fs::path up = folder.parent_path();
        if (up.empty())
            return ".";
        if (up == folder)
            break;
        folder = up;
    }
    return folder.string();
}

void ProbeFolder(TOutputTarget& t) {
    std::string folder = NearestExistingFolder(t.FinalPath);
    struct stat st;
    if (::stat(folder.c_str(), &st) == 0 && !S_ISDIR(st.st_mode))
        return Refuse(t, TOutputProblem::FolderNotWritable, std::strerror(ENOTDIR));
    std::string pattern = folder + "/.tessary-probe.XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd < 0)
        return Refuse(t, TOutputProblem::FolderNotWritable, std::strerror(errno));
    ::close(fd);
    ::unlink(name.data());
    t.FolderWritable = true;
}

} // namespace

TFileIdentity IdentityOf(const struct stat& st) {
    return {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino),
            static_cast<int64_t>(st.st_size), static_cast<int64_t>(st.st_mtim.tv_sec),
            static_cast<int64_t>(st.st_mtim.tv_nsec)};
}

std::string ProcFdPath(int fd) {
    return "/proc/self/fd/" + std::to_string(fd);
}

TOutputTarget ResolveOutputTarget(const std::string& path, bool replaceAllowed) {
    TOutputTarget t;
    t.Path = path;
    t.FinalPath = path;
    if (path.empty()) {
        Refuse(t, TOutputProblem::BadPath, std::strerror(ENOENT));
        return t;
    }
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        t.IsSymlink = true;
        t.Exists = true;
        if (!ResolveLink(path, t.FinalPath, st)) {
            if (errno == ENOENT)
                Refuse(t, TOutputProblem::NotRegular,
                       "It is a symbolic link to a file that does not exist");
            else
                Refuse(t, TOutputProblem::BadPath, std::strerror(errno));
            return t;
        }
    } else if (::stat(path.c_str(), &st) != 0) {
        if (errno != ENOENT)
            Refuse(t, TOutputProblem::BadPath, std::strerror(errno));
        return t;
    }
    t.Exists = true;
    t.Identity = IdentityOf(st);
    t.IsRegular = S_ISREG(st.st_mode);
    if (S_ISDIR(st.st_mode)) {
        Refuse(t, TOutputProblem::NotRegular, std::strerror(EISDIR));
    } else if (!t.IsRegular) {
        Refuse(t, TOutputProblem::NotRegular, "Not a regular file");
    } else {
        // No write permission for us, or none for anybody: root may write
        // anything, but a file nobody may write was meant to stay as it is.
        t.ReadOnly = ::access(t.FinalPath.c_str(), W_OK) != 0 ||
                     (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
        if (t.ReadOnly)
            Refuse(t, TOutputProblem::ReadOnly, "The file is read-only");
        else if (!replaceAllowed)
            Refuse(t, TOutputProblem::Exists, std::strerror(EEXIST));
    }
    return t;
}

TOutputTarget CheckOutputTarget(const std::string& path, bool replaceAllowed) {
    TOutputTarget t = ResolveOutputTarget(path, replaceAllowed);
    if (t.Usable())
        ProbeFolder(t);
    return t;
}

} // namespace tessary
