// Whole runs of the real binary as transcripts: each "$ " line is a bash
// command run in a fresh folder holding the inputs below, followed by what it
// printed (bytes outside printable ASCII as \xNN, elapsed times masked), its
// status, and each file it created or changed with its size.
// MIVARO_UPDATE_GOLDEN=1 rewrites the transcripts.
#include <gtest/gtest.h>

#include <fstream>
#include <unistd.h>

#include "harness.h"

namespace {

// `mivaro` is the binary under test, $D the test data folder; `each 'ARGS'...`
// runs it once per string, printing each status; `holds A B`: A is B then zeros.
const std::string prelude = "M='" + mivaro_path() + "'; D='" MIVARO_TEST_DATA "'; mivaro() { \"$M\" \"$@\"; }; "
    "each() { for a; do eval \"mivaro $a\"; echo \"($?)\"; done; }; holds() { n=$(stat -c%s \"$2\"); cmp -s -n $n "
    "\"$1\" \"$2\" && [ -z \"$(tail -c +$((n + 1)) \"$1\" | tr -d '\\0')\" ] && echo \"$1 holds $2\" || echo \"$1 differs\"; }; ";

std::string run_case(const std::string& command)
{
    static const std::string_view sheet =
        "FILE image.bin BINARY\n  TRACK 01 MODE2/2352\n    INDEX 01 00:00:00\n  TRACK 02 MODE2/2352\n    INDEX 01 00:00:04\n";
    static const std::vector<std::pair<std::string, Bytes>> inputs = {
        {"in.raw", raw_track(mpeg_stream(5))}, {"in.mpg", mpeg_stream(5)}, {"in.cif", cif_track(mpeg_stream(5))},
        {"in.dat", dat_file(raw_track(mpeg_stream(5)))}, {"keep.mpg", {'o', 'l', 'd', '\n'}},
        {"image.bin", concat({raw_track(zeros(4 * block_size)), raw_track(mpeg_stream(5), 4)})},
        {"image.cue", Bytes(sheet.begin(), sheet.end())}, {"mode1.bin", mode1_sectors(6)},
        // Two padded packs and an end code ahead of the movie: a bumper.
        {"bumper.raw", raw_track(concat({padded_block(50), padded_block(51), {0, 0, 1, 0xB9}, mpeg_stream(5)}))},
    };
    Scratch s;
    for (const auto& [name, bytes] : inputs)
        s.write(name, bytes);
    std::string masked = "set -o pipefail; { " + prelude + command + "\n} | sed -E 's/\\[[0-9]{2}:[0-9]{2}:[0-9]{2}\\]/[hh:mm:ss]/g'";
    RunResult r = run_program_in(s.dir(), {"bash", "-c", masked}, 150);
    std::string shown = "$ " + command + "\n";
    for (unsigned char c : r.out) {
        char hex[5];
        std::snprintf(hex, sizeof hex, "\\x%02x", c);
        shown += (c == '\n' || (c >= 0x20 && c < 0x7f)) ? std::string(1, static_cast<char>(c)) : hex;
    }
    shown += (r.out.empty() || r.out.ends_with('\n') ? "" : "\\c\n") + ("? " + std::to_string(r.status) + "\n");
    for (const std::string& name : s.files()) {
        auto known = std::find_if(inputs.begin(), inputs.end(), [&](const auto& in) { return in.first == name; });
        if (std::filesystem::is_regular_file(s.path(name)) &&
            (known == inputs.end() || s.size(name) != known->second.size() || s.read(name) != known->second))
            shown += "> " + name + " " + std::to_string(s.size(name)) + "\n";
    }
    return shown;
}

void check_transcript(const std::string& name)
{
    std::filesystem::path file = std::filesystem::path(__FILE__).parent_path().parent_path() / name;
    std::string line, want, got;
    for (std::ifstream in(file); std::getline(in, line); want += line + "\n")
        if (line.starts_with("$ "))
            got += run_case(line.substr(2));
    if (std::getenv("MIVARO_UPDATE_GOLDEN"))
        std::ofstream(file) << got;
    EXPECT_EQ(got, want);
}

TEST(Transcripts, CommandLine) { check_transcript("cli/command_line.txt"); }
TEST(Transcripts, Cue) { check_transcript("modes/cue.txt"); }
TEST(Transcripts, Faults) { check_transcript("faults/faults.txt"); }
TEST(Transcripts, Modes) { check_transcript("modes/modes.txt"); }
TEST(Transcripts, Disc) { check_transcript("modes/disc.txt"); }
TEST(Transcripts, Verify) { check_transcript("modes/verify.txt"); }
TEST(Transcripts, Images) { check_transcript("image/images.txt"); }

TEST(Transcripts, FaultsNeedingRoot)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root: a small tmpfs filled up, one loop device as input and output";
    check_transcript("faults/root.txt");
}

}  // namespace
