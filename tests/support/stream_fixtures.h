// Expected output of the single-file conversions and of the stream engine:
// the lines mivaro prints and the sectors it builds.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "fixtures.h"
#include "harness.h"

namespace expect {

inline const std::string searching = "\xfe                 -> searching \r";
inline const std::string writing = "\xfe                 -> writing...\r";
inline const std::string scan0 = "\xfe 0%\r";              // a scanner call below 1 MiB
inline const std::string copy0 = "\xfe 0% [00:00:00] \r";  // a copy below 1 MiB
inline const std::string prescan = "\r\xfe pre-scanning\r";
inline const std::string sequence_applied = "\xfe initital sequence correction applied.\n";
inline const std::string fix_line = "- Fix broken MPEG blocks enabled.\n";
inline const std::string bumper_line = "- Remove CD-i bumper from file.\n";

inline std::string completed(const std::string& out) { return "\n\xfe completed. " + out + " written.\n"; }
inline std::string corrections(unsigned n)
{
    return "\xfe " + std::to_string(n) + " MPEG block correction(s) applied.\n\n";
}
inline std::string open_failed(const std::string& in)
{
    return in + " could not be opened.\nFile could be missing.\n\n";
}
// The summary lines of -r and -w; a size of 0 leaves its line out.
std::string sizes(int read, int write);
// The three header lines of a single-file mode ("-raw2mpg" ... "-mpg2dat";
// -cif2mpg and -mpg2mpg print raw2mpg's), the option summary and the blank
// line closing it.
std::string header(const std::string& mode, const std::string& input, const std::string& output,
                   const std::string& summary = "");
// Header, one scan, then what the copy prints and the completion line.
std::string converted(const std::string& mode, const std::string& input, const std::string& output,
                      const std::string& summary = "", const std::string& copy = copy0);

}  // namespace expect

// Runs mivaro in a fresh folder holding `input` under the name `in`, then
// checks the exit status, everything printed after the banner, and the file
// `out`: its bytes, or that it does not exist when `want` is empty.
void check_run(const std::vector<std::string>& args, const std::string& in, const Bytes& input, int status,
               const std::string& after_banner, const std::string& out, const std::optional<Bytes>& want);

// Replaces every "[hh:mm:ss]" estimate by a fixed text: estimates made
// after the first MiB depend on the clock.
std::string mask_clock(std::string text);

// Padded blocks serial, serial+1, ... concatenated.
Bytes padded_stream(std::size_t blocks, unsigned first_serial = 0);
// A copy of b with values written at `at`.
Bytes with_bytes(Bytes b, std::size_t at, std::initializer_list<std::uint8_t> values);

// The whole .dat file that mpg2dat makes of these 2324-byte blocks.
Bytes dat_from_blocks(const Bytes& user_data);
