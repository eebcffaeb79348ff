// test_helpers.h -- temporary folders, environment and limits that tests set
// for a while and put back afterwards.
#pragma once

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

namespace tessary::test {

// A fresh folder, removed with everything in it at the end of the test.
class TTempFolder {
public:
    TTempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tessary-XXXXXX").string();
        FPath = mkdtemp(pattern.data()) ? pattern + "/" : std::string();
    }
    ~TTempFolder() {
        std::error_code ignored;
        std::filesystem::permissions(FPath, std::filesystem::perms::owner_all, ignored);
        std::filesystem::remove_all(FPath, ignored);
    }
    // With a trailing "/".
    const std::string& Path() const { return FPath; }

private:
    std::string FPath;
};

class TScopedEnv {
public:
    TScopedEnv(const char* name, const std::string& value) : FName(name) {
        if (const char* old = std::getenv(name))
            FOld = old;
        setenv(name, value.c_str(), 1);
    }
    ~TScopedEnv() {
        if (FOld)
            setenv(FName, FOld->c_str(), 1);
        else
            unsetenv(FName);
    }

private:
    const char* FName;
    std::optional<std::string> FOld;
};

class TScopedCurrentFolder {
public:
    explicit TScopedCurrentFolder(const std::string& folder)
        : FOld(std::filesystem::current_path()) {
        std::filesystem::current_path(folder);
    }
    ~TScopedCurrentFolder() { std::filesystem::current_path(FOld); }

private:
    std::filesystem::path FOld;
};

// Lets no file grow beyond `bytes` while it lives, so that writing fails
// part-way even for a user whom permissions do not stop.
class TScopedFileSizeLimit {
public:
    explicit TScopedFileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &FOld);
        FOldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = FOld;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~TScopedFileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &FOld);
        std::signal(SIGXFSZ, FOldHandler);
    }

private:
    rlimit FOld{};
    void (*FOldHandler)(int) = nullptr;
};

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

inline void WriteFile(const std::string& path, const std::string& content) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

// Permissions do not stop the superuser, so tests of read-only folders only
// mean something for other users.
inline bool PermissionsApply() {
    return geteuid() != 0;
}

} // namespace tessary::test
