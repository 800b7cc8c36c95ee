// Whole runs of the program in-process. The input "NAME[*COPIES] \0 ARG \0 ...
// ARG \0 \0 BYTES" runs `mivaro ARG...` where the file NAME holds BYTES COPIES
// times over (at most 600: past the reader's 1 MiB buffer); a sheet may name
// itself as its BIN. Every '/' becomes '_' so that nothing outside the
// temporary working folder is touched; give saved inputs by absolute path.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "cli/driver.h"
#include "run/run_state.h"

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
    for (std::size_t at = 0, stop = 0; words.empty() || (stop < words_end && words.size() < 12); at = stop + 1) {
        stop = std::min(text.find('\0', at), words_end);
        words.push_back(text.substr(at, stop - at));
    }
    std::size_t star = std::min(words[0].find('*'), words[0].size());
    std::string name = words[0].substr(0, star), bytes = text.substr(std::min(words_end + 2, size));
    int copies = std::atoi(words[0].c_str() + std::min(star + 1, words[0].size()));
    for (const auto& entry : fs::directory_iterator(folder))
        fs::remove_all(entry.path());
    std::ofstream file(name, std::ios::binary);  // "", "." or "..": nothing is written
    for (int i = 0; i < std::clamp(copies, 1, 600); ++i)
        file << bytes;
    file.close();
    std::vector<const char*> argv = {"mivaro"};
    std::transform(words.begin() + 1, words.end(), std::back_inserter(argv), [](auto& w) { return w.c_str(); });
    reset_run_state();
    run_program(static_cast<int>(argv.size()), argv.data());
    return 0;
}
