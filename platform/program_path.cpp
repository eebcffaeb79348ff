// program_path.cpp -- where the running program file lies.
#include "program_path.h"

#include <climits>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace tessary {

namespace {
std::string& Argv0Path() {
    static std::string path;
    return path;
}
} // namespace

void SetProgramArgv0(const char* argv0) {
    Argv0Path().clear();
    if (!argv0)
        return;
    // Only a name with a folder part says where the program lies; a bare name
    // was found along PATH, which is not worth searching again.
    const std::string name(argv0);
    if (name.find('/') == std::string::npos)
        return;
    if (char* full = realpath(argv0, nullptr)) {
        Argv0Path() = full;
        std::free(full);
    }
}

std::string ProgramFilePath() {
    std::string buffer(PATH_MAX, '\0');
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length > 0 && static_cast<size_t>(length) < buffer.size()) {
        buffer.resize(static_cast<size_t>(length));
        return buffer;
    }
    return Argv0Path();
}

} // namespace tessary
