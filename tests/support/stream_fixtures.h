// What the single-file conversions print, and the stream engine run
// in-process on bytes in memory.
#pragma once

#include <functional>
#include <string>

#include "fixtures.h"
#include "harness.h"

namespace expect {

inline const std::string searching = "\xfe                 -> searching \r";
inline const std::string writing = "\xfe                 -> writing...\r";
inline const std::string scan0 = "\xfe 0%\r";              // a scanner call below 1 MiB
inline const std::string copy0 = "\xfe 0% [00:00:00] \r";  // a copy below 1 MiB
inline std::string completed(const std::string& out) { return "\n\xfe completed. " + out + " written.\n"; }
inline std::string corrections(unsigned n)
{
    return "\xfe " + std::to_string(n) + " MPEG block correction(s) applied.\n\n";
}
inline std::string open_failed(const std::string& in)
{
    return in + " could not be opened.\nFile could be missing.\n\n";
}
// The three header lines of a single-file mode ("-raw2mpg" ... "-mpg2dat";
// -cif2mpg and -mpg2mpg print raw2mpg's), the option summary and the blank
// line closing it.
std::string header(const std::string& mode, const std::string& input, const std::string& output,
                   const std::string& summary = "");

}  // namespace expect

// Replaces every "[hh:mm:ss]" estimate by a fixed text: estimates made
// after the first MiB depend on the clock.
std::string mask_clock(std::string text);

// What a piece of the program did in-process: its standard output, the
// status it ended the run with (0 when it returned), the output file.
struct InProcess {
    std::string out;
    int status = 0;
    Bytes written;
};
// Runs `body` on a fresh run state with `input` as the input (read from
// memory) and an output file open.
InProcess in_process(const Bytes& input, const std::function<void()>& body);
