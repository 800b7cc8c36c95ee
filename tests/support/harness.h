// Runs the built mivaro in a scratch folder and captures what it prints.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "bytes.h"
#include "fixtures.h"

struct RunResult {
    std::string out;  // every byte written to standard output
    int status = -1;  // exit status, -1 when ended by a signal
    int signal = 0;   // the signal that ended it (SIGALRM: out of time)
};

// Sends `signal` to the child once its output contains `after`.
struct Interrupt {
    int signal = 0;
    std::string after;
};

// A fresh temporary folder, removed again when the object goes.
class Scratch {
public:
    Scratch();
    ~Scratch();
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    const std::filesystem::path& dir() const { return dir_; }
    std::filesystem::path path(const std::string& name) const { return dir_ / name; }
    void write(const std::string& name, const Bytes& bytes) const;
    void write_text(const std::string& name, const std::string& text) const { write(name, Bytes(text.begin(), text.end())); }
    Bytes read(const std::string& name) const;
    bool exists(const std::string& name) const { return std::filesystem::exists(path(name)); }
    std::uintmax_t size(const std::string& name) const { return std::filesystem::file_size(path(name)); }
    // Names of all files in the folder, sorted.
    std::vector<std::string> files() const;
    // Runs mivaro with these arguments in the scratch folder.
    RunResult run(std::vector<std::string> args, int timeout_seconds = 120, const Interrupt& stop = {}) const;

private:
    std::filesystem::path dir_;
};

// Runs any program (args[0] is looked up on PATH) in a folder, with the stop
// signals and SIGPIPE at their default actions.
RunResult run_program_in(const std::filesystem::path& cwd, const std::vector<std::string>& args,
                         int timeout_seconds = 120, const Interrupt& stop = {});
inline std::string mivaro_path()
{
    return std::getenv("MIVARO_BIN") ? std::getenv("MIVARO_BIN") : MIVARO_BINARY;
}

inline RunResult Scratch::run(std::vector<std::string> args, int timeout_seconds, const Interrupt& stop) const
{
    args.insert(args.begin(), mivaro_path());
    return run_program_in(dir_, args, timeout_seconds, stop);
}

// Reports sizes and the first differing offset instead of dumping both.
::testing::AssertionResult same_bytes(const Bytes& got, const Bytes& want);
