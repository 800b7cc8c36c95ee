#include "fuzz_support.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include "cli/driver.h"
#include "state/run_state.h"

// Undefined behaviour stops the run like any other sanitizer report, so the
// fuzzer keeps the input.
extern "C" const char* __ubsan_default_options()
{
    return "halt_on_error=1:print_stacktrace=1";
}

namespace fuzz {
namespace {

void append(Bytes& to, const Bytes& from)
{
    to.insert(to.end(), from.begin(), from.end());
}

struct Workspace {
    std::string dir;          // absolute path of the working folder
    int home_fd = -1;         // the folder the fuzzer was started in
    std::vector<std::pair<std::string, Bytes>> fixed_files;
};

Workspace& workspace()
{
    static Workspace w;
    return w;
}

bool is_fixed(const std::string& name)
{
    for (const auto& file : workspace().fixed_files)
        if (file.first == name)
            return true;
    return false;
}

void remove_outputs()
{
    Workspace& w = workspace();
    std::error_code ec;
    std::vector<std::filesystem::path> doomed;
    for (auto it = std::filesystem::recursive_directory_iterator(w.dir, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec))
            continue;
        if (!is_fixed(it->path().lexically_relative(w.dir).string()))
            doomed.push_back(it->path());
    }
    for (const auto& path : doomed)
        std::filesystem::remove(path, ec);
}

void remove_workspace()
{
    std::error_code ec;
    std::filesystem::remove_all(workspace().dir, ec);
}

// Whether the file holds exactly these bytes; reading is much cheaper than
// writing a large file again.
bool holds(const std::string& name, const Bytes& content)
{
    std::string path = workspace().dir + "/" + name;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    static Bytes buffer;
    buffer.resize(content.size() + 1);
    std::size_t got = 0;
    for (;;) {
        ssize_t n = ::read(fd, buffer.data() + got, buffer.size() - got);
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
        if (got == buffer.size())
            break;
    }
    ::close(fd);
    return got == content.size() && std::equal(content.begin(), content.end(), buffer.begin());
}

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "fuzz setup: %s: %s\n", what, std::strerror(errno));
    std::abort();
}

void write_file(const std::string& name, const std::uint8_t* data, std::size_t size)
{
    std::filesystem::path path = std::filesystem::path(workspace().dir) / name;
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        fail(path.c_str());
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n <= 0)
            fail(path.c_str());
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    ::close(fd);
}

constexpr const char* workspace_prefix = "mivaro-fuzz-";

// A run that crashes or times out ends without exit handlers, leaving its
// folder behind; the folder's name carries the process id, so the next
// start removes the folders of processes that are gone.
void remove_abandoned_workspaces(const std::string& temp_root)
{
    std::error_code ec;
    std::string prefix = workspace_prefix;
    for (const auto& entry : std::filesystem::directory_iterator(temp_root, ec)) {
        std::string name = entry.path().filename().string();
        if (name.compare(0, prefix.size(), prefix) != 0)
            continue;
        char* end = nullptr;
        long pid = std::strtol(name.c_str() + prefix.size(), &end, 10);
        if (pid <= 0 || *end != '-')
            continue;
        if (kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
            std::filesystem::remove_all(entry.path(), ec);
    }
}

// libFuzzer names crash files relative to the current folder, and runs
// happen inside the working folder, which is removed at exit.
void pin_artifact_prefix(int* argc, char*** argv)
{
    for (int i = 1; i < *argc; ++i) {
        if (std::strncmp((*argv)[i], "-artifact_prefix=", 17) == 0 ||
            std::strncmp((*argv)[i], "-exact_artifact_path=", 21) == 0)
            return;
    }
    char cwd[PATH_MAX];
    if (!getcwd(cwd, sizeof cwd))
        fail("getcwd");
    static std::string flag = std::string("-artifact_prefix=") + cwd + "/";
    static std::vector<char*> args;
    args.push_back((*argv)[0]);
    args.push_back(flag.data());
    for (int i = 1; i < *argc; ++i)
        args.push_back((*argv)[i]);
    args.push_back(nullptr);
    *argv = args.data();
    *argc += 1;
}

}  // namespace

std::vector<Bytes> sample_blocks()
{
    std::vector<Bytes> blocks;
    blocks.push_back(Bytes(block_size, 0));
    Bytes padded = mpeg_block(1);
    std::fill(padded.begin() + 34, padded.end(), 0xFF);
    blocks.push_back(padded);
    Bytes bumper_end = mpeg_block(2);
    put_bytes(bumper_end, block_size - 8, {0x00, 0x00, 0x01, 0xB9});
    blocks.push_back(bumper_end);
    blocks.push_back(mpeg_block(3));
    blocks.push_back(mpeg_block(4));
    Bytes broken = mpeg_block(5);
    put_bytes(broken, 0, {0x47, 0x47, 0x55, 0x55, 0x55});
    blocks.push_back(broken);
    blocks.push_back(mpeg_block(6));
    blocks.push_back(mpeg_block(7));
    return blocks;
}

Bytes raw_image()
{
    Bytes out;
    std::uint32_t lba = 0;
    for (const Bytes& b : sample_blocks())
        append(out, raw_sector(b, lba++));
    return out;
}

Bytes cif_image()
{
    Bytes out;
    for (const Bytes& b : sample_blocks())
        append(out, cif_sector(b));
    return out;
}

Bytes mpeg_file()
{
    Bytes out;
    std::vector<Bytes> blocks = sample_blocks();
    for (std::size_t i = 1; i < blocks.size(); ++i)
        append(out, blocks[i]);
    return out;
}

Bytes big_raw_image()
{
    std::vector<Bytes> blocks = sample_blocks();
    Bytes ba_run(block_size, 0xBA);
    put_bytes(ba_run, 0, {0x00, 0x00, 0x01, 0xBA});
    Bytes out;
    for (std::uint32_t lba = 0; lba < big_image_sectors; ++lba) {
        const Bytes* user = &blocks[lba % blocks.size()];
        if (lba == 444)
            user = &blocks[0];
        else if (lba == 445)
            user = &ba_run;
        append(out, raw_sector(*user, lba));
    }
    return out;
}

Bytes dat_file()
{
    Bytes out = dat_header_bytes;
    append(out, raw_image());
    return out;
}

void setup(int* argc, char*** argv)
{
    // MIVARO_FUZZ_SHOW_OUTPUT=1 keeps the program's output, for looking
    // at what one saved input does.
    const char* show = std::getenv("MIVARO_FUZZ_SHOW_OUTPUT");
    if (!(show && *show == '1')) {
        std::fflush(stdout);
        int null_fd = ::open("/dev/null", O_WRONLY);
        if (null_fd < 0 || dup2(null_fd, 1) < 0)
            fail("/dev/null");
        ::close(null_fd);
        if (!std::freopen("/dev/null", "w", stdout))
            fail("freopen");
    }

    pin_artifact_prefix(argc, argv);

    Workspace& w = workspace();
    w.home_fd = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (w.home_fd < 0)
        fail("open .");
    const char* tmp = std::getenv("TMPDIR");
    std::string temp_root = tmp && *tmp ? tmp : "/tmp";
    remove_abandoned_workspaces(temp_root);
    std::string pattern = temp_root + "/" + workspace_prefix + std::to_string(getpid()) + "-XXXXXX";
    if (!mkdtemp(pattern.data()))
        fail("mkdtemp");
    char real[PATH_MAX];
    if (!realpath(pattern.c_str(), real))
        fail("realpath");
    w.dir = real;
    std::atexit(remove_workspace);
}

void add_fixed_file(const std::string& name, Bytes content)
{
    workspace().fixed_files.emplace_back(name, std::move(content));
}

void begin_run()
{
    remove_outputs();
    for (const auto& [name, content] : workspace().fixed_files)
        if (!holds(name, content))
            write_file(name, content.data(), content.size());
}

void put_file(const std::string& name, const std::uint8_t* data, std::size_t size)
{
    write_file(name, data, size);
}

int run_mivaro(const std::vector<std::string>& args)
{
    Workspace& w = workspace();
    if (chdir(w.dir.c_str()) != 0)
        fail("chdir");
    std::vector<const char*> argv;
    argv.push_back("mivaro");
    for (const std::string& a : args)
        argv.push_back(a.c_str());
    argv.push_back(nullptr);
    reset_run_state();
    int status = run_program(static_cast<int>(argv.size() - 1), argv.data());
    if (fchdir(w.home_fd) != 0)
        fail("fchdir");
    return status;
}

}  // namespace fuzz
