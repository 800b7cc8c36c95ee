// Whole runs of the real binary, kept as transcripts beside this runner:
// each "$ " line is a bash command (`mivaro` runs the binary under test) run
// in a fresh folder holding the inputs below; the transcript then shows what
// it printed (bytes outside printable ASCII as \xNN), the status, and every
// file it created or changed with its size. MIVARO_UPDATE_GOLDEN=1 rewrites
// the transcripts from what the runs give.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "harness.h"

namespace fs = std::filesystem;

namespace {

std::string run_case(const std::string& command)
{
    static const std::vector<std::pair<std::string, Bytes>> inputs = {
        {"in.raw", raw_track(mpeg_stream(5))}, {"in.mpg", mpeg_stream(5)}, {"in.cif", cif_track(mpeg_stream(5))},
        {"in.dat", dat_file(raw_track(mpeg_stream(5)))},
        {"image.bin", concat({cue::data_sectors(4), raw_track(mpeg_stream(5), 4)})},
        {"image.cue", [] { std::string t = cue::sheet("image.bin", {0, 4}); return Bytes(t.begin(), t.end()); }()},
        {"keep.mpg", {'o', 'l', 'd', '\n'}},
    };
    Scratch s;
    for (const auto& [name, bytes] : inputs)
        s.write(name, bytes);
    std::string script = "M='" + mivaro_path() + "'; mivaro() { \"$M\" \"$@\"; }; " + command;
    RunResult r = run_program_in(s.dir(), {"bash", "-c", script}, 60);
    std::string shown = "$ " + command + "\n";
    for (unsigned char c : r.out) {
        char hex[5];
        std::snprintf(hex, sizeof hex, "\\x%02x", c);
        shown += (c == '\n' || (c >= 0x20 && c < 0x7f)) ? std::string(1, static_cast<char>(c)) : hex;
    }
    shown += (r.out.empty() || r.out.ends_with('\n') ? "" : "\\c\n") + ("? " + std::to_string(r.status) + "\n");
    for (const std::string& name : s.files()) {
        auto known = std::find_if(inputs.begin(), inputs.end(), [&](const auto& in) { return in.first == name; });
        if (fs::is_regular_file(s.path(name)) &&
            (known == inputs.end() || s.size(name) != known->second.size() || s.read(name) != known->second))
            shown += "> " + name + " " + std::to_string(s.size(name)) + "\n";
    }
    return shown;
}

void check_transcript(const fs::path& file)
{
    std::ifstream in(file);
    std::string line, want((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()), got;
    for (std::istringstream lines(want); std::getline(lines, line);)
        if (line.starts_with("$ "))
            got += run_case(line.substr(2));
    if (std::getenv("MIVARO_UPDATE_GOLDEN"))
        std::ofstream(file) << got;
    EXPECT_EQ(got, want);
}

TEST(Transcripts, CommandLine)
{
    check_transcript(fs::path(__FILE__).parent_path() / "command_line.txt");
}

TEST(Transcripts, Faults)
{
    check_transcript(fs::path(__FILE__).parent_path().parent_path() / "faults" / "faults.txt");
}

}  // namespace
