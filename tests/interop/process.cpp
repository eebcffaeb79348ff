// process.cpp -- child processes with captured output and a time limit.
#include "process.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <signal.h>
#include <stdexcept>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace tessary::interop {

namespace {

std::string ReadAll(int fd) {
    std::string out;
    char buf[65536];
    off_t at = 0;
    for (;;) {
        ssize_t n = ::pread(fd, buf, sizeof buf, at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        out.append(buf, static_cast<size_t>(n));
        at += n;
    }
    return out;
}

std::string Quote(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t'\"\\$`") == std::string::npos)
        return arg;
    std::string q = "'";
    for (char c : arg)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

} // namespace

std::string TProcessResult::Describe() const {
    std::string text = "$ " + CommandLine + "\nexit code " + std::to_string(ExitCode) +
                       (TimedOut ? " (killed after the time limit)" : "");
    auto clip = [](const std::string& s) {
        return s.size() <= 4000 ? s : s.substr(0, 2000) + "\n[...]\n" + s.substr(s.size() - 2000);
    };
    if (!Out.empty())
        text += "\n--- stdout ---\n" + clip(Out);
    if (!Err.empty())
        text += "\n--- stderr ---\n" + clip(Err);
    return text;
}

TProcessResult RunProcess(const std::vector<std::string>& argv, const TProcessOptions& options) {
    TProcessResult result;
    for (const std::string& a : argv)
        result.CommandLine += (result.CommandLine.empty() ? "" : " ") + Quote(a);
    if (options.StdinPipe)
        result.CommandLine = "tail -c +" + std::to_string(options.StdinOffset + 1) + " " +
                             Quote(options.StdinPath) + " | " + result.CommandLine;
    else if (!options.StdinPath.empty())
        result.CommandLine += " < " + Quote(options.StdinPath);
    if (!options.WorkingDir.empty())
        result.CommandLine = "(cd " + Quote(options.WorkingDir) + " && " + result.CommandLine + ")";

    int in = ::open(options.StdinPath.empty() ? "/dev/null" : options.StdinPath.c_str(),
                    O_RDONLY | O_CLOEXEC);
    if (in < 0)
        throw std::runtime_error("cannot open " + options.StdinPath + ": " + std::strerror(errno));
    if (options.StdinOffset > 0 && ::lseek(in, options.StdinOffset, SEEK_SET) < 0)
        throw std::runtime_error("cannot seek in " + options.StdinPath);
    // With a pipe the child reads its end; this process writes the file into the other.
    int feed = -1;
    if (options.StdinPipe) {
        static const bool ignored = (::signal(SIGPIPE, SIG_IGN), true);
        (void)ignored;
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
        ::fcntl(fds[1], F_SETFL, O_NONBLOCK);
        feed = fds[1];
        std::swap(in, fds[0]);
        ::close(fds[0]);
    }
    int out = ::memfd_create("stdout", MFD_CLOEXEC);
    int err = ::memfd_create("stderr", MFD_CLOEXEC);
    if (out < 0 || err < 0)
        throw std::runtime_error(std::string("memfd_create: ") + std::strerror(errno));

    // The program is looked up here, not in the child, which may only make
    // async-signal-safe calls when other threads run.
    std::string program =
        argv.at(0).find('/') == std::string::npos ? FindProgram(argv[0]) : argv[0];
    if (program.empty())
        program = argv[0];
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    pid_t pid = ::fork();
    if (pid < 0)
        throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    if (pid == 0) {
        ::signal(SIGPIPE, SIG_DFL); // ignored here for the pipe feed, not in the child
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        if (!options.WorkingDir.empty() && ::chdir(options.WorkingDir.c_str()) != 0)
            ::_exit(126);
        ::execv(program.c_str(), args.data());
        ::_exit(127);
    }
    ::close(in);
    int source = -1;
    if (feed >= 0) {
        source = ::open(options.StdinPath.c_str(), O_RDONLY | O_CLOEXEC);
        if (source >= 0 && options.StdinOffset > 0)
            ::lseek(source, options.StdinOffset, SEEK_SET);
    }
    std::string pending;
    size_t pendingAt = 0;

    auto started = std::chrono::steady_clock::now();
    auto deadline = started + std::chrono::seconds(options.TimeoutSeconds);
    size_t signalsSent = 0;
    auto pause = std::chrono::microseconds(100);
    int status = 0;
    for (;;) {
        pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid)
            break;
        if (done < 0 && errno != EINTR)
            throw std::runtime_error(std::string("waitpid: ") + std::strerror(errno));
        // One signal a turn: two sent at once would merge into one.
        if (signalsSent < options.SignalsAfterMs.size() &&
            std::chrono::steady_clock::now() - started >=
                std::chrono::milliseconds(options.SignalsAfterMs[signalsSent].first))
            ::kill(pid, options.SignalsAfterMs[signalsSent++].second);
        if (signalsSent < options.SignalsAfterMs.size())
            pause = std::min(pause, std::chrono::microseconds(2000));
        if (std::chrono::steady_clock::now() > deadline && !result.TimedOut) {
            ::kill(pid, SIGKILL);
            result.TimedOut = true;
        }
        if (feed >= 0) {
            // Keep the pipe full until the file is written or the child stops reading.
            if (pendingAt == pending.size()) {
                pending.resize(1 << 16);
                ssize_t n = source >= 0 ? ::read(source, pending.data(), pending.size()) : 0;
                pending.resize(n > 0 ? static_cast<size_t>(n) : 0);
                pendingAt = 0;
            }
            ssize_t n = pending.empty()
                            ? 0
                            : ::write(feed, pending.data() + pendingAt, pending.size() - pendingAt);
            if (n > 0) {
                pendingAt += static_cast<size_t>(n);
                continue;
            }
            if (pending.empty() || (n < 0 && errno != EAGAIN && errno != EINTR)) {
                ::close(feed);
                feed = -1;
            } else {
                pollfd p{feed, POLLOUT, 0};
                ::poll(&p, 1, 20);
            }
            continue;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::microseconds(20000));
    }
    if (feed >= 0)
        ::close(feed);
    if (source >= 0)
        ::close(source);
    if (WIFEXITED(status))
        result.ExitCode = WEXITSTATUS(status);
    result.Out = ReadAll(out);
    result.Err = ReadAll(err);
    ::close(out);
    ::close(err);
    return result;
}

std::string FindProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos)
            end = dirs.size();
        std::string candidate = dirs.substr(start, end - start) + "/" + name;
        struct stat st;
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return "";
}

std::string MakeTempDir(const std::string& prefix) {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "XXXXXX")).string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp: " + std::string(std::strerror(errno)));
    return pattern;
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    if (!f)
        throw std::runtime_error("cannot read " + path);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!f.flush())
        throw std::runtime_error("cannot write " + path);
}

} // namespace tessary::interop
