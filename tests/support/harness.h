// Runs the built mivaro as a child process in a scratch folder and captures
// exactly what it prints.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "bytes.h"
#include "fixtures.h"


struct RunResult {
    std::string out;    // every byte written to standard output
    int status = -1;    // exit status, -1 when ended by a signal
    int signal = 0;     // the signal that ended it, if any
    bool timed_out = false;
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
    void write_text(const std::string& name, const std::string& text) const;
    Bytes read(const std::string& name) const;
    bool exists(const std::string& name) const;
    std::uintmax_t size(const std::string& name) const;
    // Names of all files in the folder, sorted.
    std::vector<std::string> files() const;

    // Runs mivaro with these arguments, with the scratch folder as its
    // working folder.
    RunResult run(const std::vector<std::string>& args, int timeout_seconds = 120) const;

private:
    std::filesystem::path dir_;
};

// Runs any program (args[0] is looked up on PATH) in a folder.
RunResult run_program_in(const std::filesystem::path& cwd, const std::vector<std::string>& args,
                         int timeout_seconds = 120);

std::string mivaro_path();


// Text helpers for expected output.

#include <gtest/gtest.h>
// Compares byte strings and reports sizes and the first differing offset
// instead of dumping both.
::testing::AssertionResult same_bytes(const Bytes& got, const Bytes& want);
