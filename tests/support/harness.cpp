#include "harness.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

std::string mivaro_path()
{
    if (const char* env = std::getenv("MIVARO_BIN"))
        return env;
    return MIVARO_BINARY;
}

Scratch::Scratch()
{
    std::string pattern = (fs::temp_directory_path() / "mivaro-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    dir_ = pattern;
}

Scratch::~Scratch()
{
    std::error_code ec;
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(dir_, ec);
}

void Scratch::write(const std::string& name, const Bytes& bytes) const
{
    std::ofstream f(path(name), std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!f)
        throw std::runtime_error("cannot write fixture " + name);
}

void Scratch::write_text(const std::string& name, const std::string& text) const
{
    write(name, Bytes(text.begin(), text.end()));
}

Bytes Scratch::read(const std::string& name) const
{
    std::ifstream f(path(name), std::ios::binary);
    if (!f)
        throw std::runtime_error("missing output " + name);
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

bool Scratch::exists(const std::string& name) const
{
    return fs::exists(path(name));
}

std::uintmax_t Scratch::size(const std::string& name) const
{
    return fs::file_size(path(name));
}

std::vector<std::string> Scratch::files() const
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

RunResult Scratch::run(const std::vector<std::string>& args, int timeout_seconds) const
{
    std::vector<std::string> full{mivaro_path()};
    full.insert(full.end(), args.begin(), args.end());
    return run_program_in(dir_, full, timeout_seconds);
}

RunResult run_program_in(const fs::path& cwd, const std::vector<std::string>& args, int timeout_seconds)
{
    int pipe_fds[2];
    if (pipe(pipe_fds) != 0)
        throw std::runtime_error("pipe failed");
    pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        dup2(pipe_fds[1], STDOUT_FILENO);
        close(pipe_fds[0]);
        close(pipe_fds[1]);
        if (chdir(cwd.c_str()) != 0)
            _exit(126);
        std::vector<char*> argv;
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(pipe_fds[1]);
    RunResult result;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds);
    char buf[65536];
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            result.timed_out = true;
            kill(pid, SIGKILL);
            break;
        }
        pollfd p{pipe_fds[0], POLLIN, 0};
        int ready = poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 1000)));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            continue;
        ssize_t n = ::read(pipe_fds[0], buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        result.out.append(buf, static_cast<std::size_t>(n));
    }
    close(pipe_fds[0]);
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    if (WIFEXITED(wstatus))
        result.status = WEXITSTATUS(wstatus);
    else if (WIFSIGNALED(wstatus))
        result.signal = WTERMSIG(wstatus);
    return result;
}

::testing::AssertionResult same_bytes(const Bytes& got, const Bytes& want)
{
    std::size_t n = std::min(got.size(), want.size());
    std::size_t i = 0;
    while (i < n && got[i] == want[i])
        ++i;
    if (i == n && got.size() == want.size())
        return ::testing::AssertionSuccess();
    auto result = ::testing::AssertionFailure() << "got " << got.size() << " bytes, want " << want.size();
    if (i < n)
        result << "; first difference at offset " << i << ": got " << int(got[i]) << ", want " << int(want[i]);
    return result;
}
