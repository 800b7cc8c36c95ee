// Runs the built mivaro in a scratch folder and captures what it prints.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "fixtures.h"

struct RunResult {
    std::string out;  // every byte written to standard output
    int status = -1;  // exit status, -1 when ended by a signal
};

// Runs any program (args[0] is looked up on PATH) in a folder, with signals
// at their default actions; SIGALRM ends it when its time is up.
RunResult run_program_in(const std::filesystem::path& cwd, const std::vector<std::string>& args, int timeout_seconds = 120);
inline std::string mivaro_path()
{
    return std::getenv("MIVARO_BIN") ? std::getenv("MIVARO_BIN") : MIVARO_BINARY;
}

// A fresh temporary folder, removed again when the object goes.
class Scratch {
public:
    Scratch();
    ~Scratch();
    Scratch(const Scratch&) = delete;
    const std::filesystem::path& dir() const { return dir_; }
    std::filesystem::path path(const std::string& name) const { return dir_ / name; }
    void write(const std::string& name, const Bytes& bytes) const;
    Bytes read(const std::string& name) const;
    bool exists(const std::string& name) const { return std::filesystem::exists(path(name)); }
    std::uintmax_t size(const std::string& name) const { return std::filesystem::file_size(path(name)); }
    std::vector<std::string> files() const;  // sorted names

private:
    std::filesystem::path dir_;
};

// Reports sizes and the first differing offset instead of dumping both.
::testing::AssertionResult same_bytes(const Bytes& got, const Bytes& want);
