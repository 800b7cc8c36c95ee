// Whole runs of the program in-process on arbitrary argument vectors and one
// input file. The fuzz input is
//   NAME[*COPIES] \0 ARGUMENT \0 ... ARGUMENT \0 \0 BYTES
// the file NAME holds BYTES, COPIES times over (at most 600), so that a small
// input can give a file larger than the reader's 1 MiB buffer. A sheet may
// name the file itself as its BIN. Every '/' becomes '_', in the words and in
// the bytes, so that nothing outside the working folder is read or written.
// Runs happen in a temporary folder: give saved inputs by absolute path.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "cli/driver.h"
#include "state/run_state.h"

namespace fs = std::filesystem;

static fs::path folder;

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    std::string pattern = (fs::temp_directory_path() / "mivaro-fuzz-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        std::abort();
    folder = pattern;
    std::atexit([] { fs::remove_all(folder); });
    if (!std::getenv("MIVARO_FUZZ_SHOW_OUTPUT"))
        std::freopen("/dev/null", "w", stdout);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (fs::current_path() != folder && chdir(folder.c_str()) != 0)
        std::abort();
    std::string text(reinterpret_cast<const char*>(data), size);
    std::replace(text.begin(), text.end(), '/', '_');
    std::size_t words_end = std::min(text.find(std::string(2, '\0')), text.size());
    std::vector<std::string> words;
    for (std::size_t at = 0, stop = 0; stop < words_end && words.size() < 12; at = stop + 1) {
        stop = std::min(text.find('\0', at), words_end);
        words.push_back(text.substr(at, stop - at));
    }
    words.resize(std::max<std::size_t>(words.size(), 1));
    std::size_t star = words[0].find('*');
    std::string name = words[0].substr(0, star), bytes = text.substr(std::min(words_end + 2, size));
    int copies = star == std::string::npos ? 1 : std::atoi(words[0].c_str() + star + 1);
    for (const auto& entry : fs::directory_iterator(folder))
        fs::remove_all(entry.path());
    if (!name.empty() && name != "." && name != "..") {
        std::ofstream file(name, std::ios::binary);
        for (int i = 0; i < std::clamp(copies, 1, 600); ++i)
            file << bytes;
    }
    std::vector<const char*> argv = {"mivaro"};
    for (std::size_t i = 1; i < words.size(); ++i)
        argv.push_back(words[i].c_str());
    reset_run_state();
    run_program(static_cast<int>(argv.size()), argv.data());
    return 0;
}
