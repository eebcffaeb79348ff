// output_target.cpp -- examining the repaired archive's path before use.
#include "output_target.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tessary {

namespace {

namespace fs = std::filesystem;

constexpr int MaxLinkDepth = 40; // as the kernel's own limit for a path

std::string FolderOf(const std::string& path) {
    fs::path parent = fs::path(path).parent_path();
    return parent.empty() ? std::string(".") : parent.string();
}

void Refuse(TOutputTarget& t, TOutputProblem problem, std::string reason) {
    t.Problem = problem;
    t.Reason = std::move(reason);
}

// The path with every symbolic link of its last component followed; a
// relative link target counts from the link's own folder. False (errno set)
// on a loop.
bool FollowLinks(const std::string& path, std::string& final) {
    final = path;
    for (int depth = 0; depth < MaxLinkDepth; ++depth) {
        struct stat st;
        if (::lstat(final.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return true;
        std::vector<char> target(PATH_MAX + 1);
        ssize_t n = ::readlink(final.c_str(), target.data(), target.size() - 1);
        if (n < 0)
            return false;
        std::string next(target.data(), static_cast<size_t>(n));
        final = next.front() == '/' ? next : (fs::path(FolderOf(final)) / next).string();
    }
    errno = ELOOP;
    return false;
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
        if (!FollowLinks(path, t.FinalPath)) {
            Refuse(t, TOutputProblem::BadPath, std::strerror(errno));
            return t;
        }
    }
    if (::stat(t.FinalPath.c_str(), &st) != 0) {
        if (errno != ENOENT)
            Refuse(t, TOutputProblem::BadPath, std::strerror(errno));
        return t;
    }
    t.Exists = true;
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
