#include "stream_fixtures.h"

#include <cctype>

#include "state/run_state.h"

std::string expect::header(const std::string& mode, const std::string& input, const std::string& output,
                           const std::string& summary)
{
    std::string name = mode.substr(1);
    std::string source = name == "dat2mpg"   ? "VCD DAT source --> "
                         : name == "mpg2dat" ? "MPEG file source --> "
                                             : "RAW track image source --> ";
    std::string method = name == "mpg2dat" ? "Conversion method --> mpg2dat\n"
                                           : "Extraction method --> " +
                                                 (name.ends_with("dat") || name == "dat2mpg" ? name : "raw2mpg") + "\n";
    std::string destination = name.ends_with("dat") ? "VCD DAT destination --> " : "MPEG destination --> ";
    return source + input + "\n" + destination + output + "\n" + method + summary + "\n";
}

std::string mask_clock(std::string text)
{
    auto digit = [&](std::size_t i) { return std::isdigit(static_cast<unsigned char>(text[i])) != 0; };
    for (std::size_t i = 0; i + 10 <= text.size(); ++i) {
        if (text[i] == '[' && text[i + 9] == ']' && text[i + 3] == ':' && text[i + 6] == ':' && digit(i + 1) &&
            digit(i + 2) && digit(i + 4) && digit(i + 5) && digit(i + 7) && digit(i + 8))
            text.replace(i, 10, "[hh:mm:ss]");
    }
    return text;
}

InProcess in_process(const Bytes& input, const std::function<void()>& body)
{
    Scratch s;
    reset_run_state();
    io.input_file.open_memory(input, "in");
    io.output_file.open(s.path("out").string());
    InProcess r;
    testing::internal::CaptureStdout();
    try {
        body();
    } catch (const RunEnd& end) {
        r.status = end.status;
    }
    io.output_file.abandon();
    flush_stdout();
    r.out = testing::internal::GetCapturedStdout();
    r.written = s.exists("out") ? s.read("out") : Bytes{};
    reset_run_state();
    return r;
}
