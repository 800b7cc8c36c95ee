#include "harness.h"

#include <algorithm>
#include <csignal>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

Scratch::Scratch() : dir_((fs::temp_directory_path() / "mivaro-test-XXXXXX").string())
{
    std::string pattern = dir_.string();
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
    if (!std::ofstream(path(name), std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::ssize(bytes)))
        throw std::runtime_error("cannot write fixture " + name);
}

Bytes Scratch::read(const std::string& name) const
{
    std::ifstream f(path(name), std::ios::binary);
    if (!f)
        throw std::runtime_error("missing output " + name);
    return Bytes(std::istreambuf_iterator<char>(f), {});
}

std::vector<std::string> Scratch::files() const
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_))
        names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

RunResult run_program_in(const fs::path& cwd, const std::vector<std::string>& args, int timeout_seconds)
{
    int fds[2];
    if (pipe(fds) != 0)
        throw std::runtime_error("pipe failed");
    pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        close(fds[0]);
        close(fds[1]);
        for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGALRM})
            signal(sig, SIG_DFL);
        std::vector<char*> argv;
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        alarm(static_cast<unsigned>(timeout_seconds));
        if (chdir(cwd.c_str()) == 0)
            execvp(argv[0], argv.data());
        _exit(127);
    }
    close(fds[1]);
    RunResult result;
    char buf[65536];
    for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;)
        result.out.append(buf, static_cast<std::size_t>(n));
    close(fds[0]);
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    return result;
}

::testing::AssertionResult same_bytes(const Bytes& got, const Bytes& want)
{
    auto diff = std::mismatch(got.begin(), got.end(), want.begin(), want.end());
    if (diff.first == got.end() && diff.second == want.end())
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got " << got.size() << " bytes, want " << want.size()
                                         << "; first difference at offset " << (diff.first - got.begin());
}
